// The conflicting-product page driven like a user would: its results, its
// texts for Windows XP and later systems, and the link that starts the
// system's Programs and Features. The link tests give the page a folder of
// their own as the system folder, holding a recording stand-in for
// rundll32.exe; copies of the same stand-in beside the test program and in
// the current folder must never be the one started. The real panel is
// never opened.
#include "wizard/ConflictDialog.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/SystemFolder.h"
#include "platform/tests/PlatformLogCapture.h"
#include "settings/LarkProperties.h"
#include "testsupport/TestEnv.h"
#include "wizard/tests/WizardTestSupport.h"

using namespace wizardtest;

namespace {

const wchar_t kProduct[] = L"Other Operator Secure Client";

struct Shown {
  std::wstring caption, title, description1, description2, software, description3, tryAgain, close;
  LONG titleFontHeight = 0, softwareFontWeight = 0, descriptionFontWeight = 0;
};

LOGFONTW FontOf(HWND dialog, int id) {
  LOGFONTW font = {};
  HFONT handle = reinterpret_cast<HFONT>(SendMessageW(GetDlgItem(dialog, id), WM_GETFONT, 0, 0));
  if (handle) GetObjectW(handle, sizeof(font), &font);
  return font;
}

Shown Read(HWND dialog) {
  Shown s;
  s.caption = WindowText(dialog);
  s.title = ItemText(dialog, ConflictDialog::kTitleId);
  s.description1 = ItemText(dialog, ConflictDialog::kDescription1Id);
  s.description2 = ItemText(dialog, ConflictDialog::kDescription2Id);
  s.software = ItemText(dialog, ConflictDialog::kSoftwareNameId);
  s.description3 = ItemText(dialog, ConflictDialog::kDescription3Id);
  s.tryAgain = ItemText(dialog, ConflictDialog::kTryAgainId);
  s.close = ItemText(dialog, IDCANCEL);
  s.titleFontHeight = FontOf(dialog, ConflictDialog::kTitleId).lfHeight;
  s.softwareFontWeight = FontOf(dialog, ConflictDialog::kSoftwareNameId).lfWeight;
  s.descriptionFontWeight = FontOf(dialog, ConflictDialog::kDescription3Id).lfWeight;
  return s;
}

// The page on a chosen system; it also records which cursor the page set
// for the link's cursor event.
class TestConflict : public ConflictDialog {
 public:
  explicit TestConflict(int osCode) : ConflictDialog(kProduct), m_os(osCode) {}
  void OnLinkNotify(int event) override {
    ConflictDialog::OnLinkNotify(event);
    if (event == StaticLink::kSetCursor) cursorSet = GetCursor();
  }
  HCURSOR cursorSet = nullptr;

 protected:
  int CurrentOS() override { return m_os; }

 private:
  int m_os;
};

std::vector<std::string> ReadLines(const std::wstring& path) {
  std::string bytes;
  std::vector<std::string> lines;
  if (!larktest::ReadFileBytes(path, bytes)) return lines;
  size_t start = 0;
  for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(bytes.substr(start, end - start));
  }
  return lines;
}

// The lines of the stand-in's record once it holds at least `count` (the
// page does not wait for the process it starts), or after five seconds.
std::vector<std::string> WaitForRecord(const std::wstring& path, size_t count) {
  std::vector<std::string> lines;
  for (int i = 0; i < 100; ++i) {
    lines = ReadLines(path);
    if (lines.size() >= count) break;
    Sleep(50);
  }
  return lines;
}

class ConflictDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PrepareWizard();
    LarkProperties::Instance()->SetLanguage(L"en");
  }

  int Show(ConflictDialog& page, std::function<void(HWND)> act) {
    DialogDriver driver(act);
    return page.DoModal();
  }
};

TEST_F(ConflictDialogTest, TryAgainReturnsFourAndEveryOtherWayOutTwo) {
  struct Case {
    const char* name;
    std::function<void(HWND)> action;
    int expected;
  } cases[] = {
      {"try again", [](HWND d) { Click(d, ConflictDialog::kTryAgainId); }, ConflictDialog::kResultTryAgain},
      {"close", [](HWND d) { Click(d, IDCANCEL); }, IDCANCEL},
      {"caption close button", [](HWND d) { Click(d, 8); }, IDCANCEL},
      {"escape", [](HWND d) { PressKey(d, IDCANCEL, VK_ESCAPE); }, IDCANCEL},
      {"enter on the default button", [](HWND d) { PressKey(d, IDCANCEL, VK_RETURN); }, IDCANCEL},
      {"system close", [](HWND d) { PostMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0); }, IDCANCEL},
  };
  for (const Case& c : cases) {
    TestConflict page(30);
    EXPECT_EQ(c.expected, Show(page, c.action)) << c.name;
  }
}

// Codes below Vista (XP, and the unsupported and unreadable ones) speak of
// Add or Remove Programs; Vista and later of Programs and Features.
TEST_F(ConflictDialogTest, NamesTheProductAndThePanelOfTheSystem) {
  LarkProperties* store = LarkProperties::Instance();
  for (int os : {-1, 0, 2, 3, 10, 11, 20, 21, 30, 40, 50, 60}) {
    const bool xp = os < 10;
    TestConflict page(os);
    Shown s;
    EXPECT_EQ(IDCANCEL, Show(page, [&](HWND d) {
                s = Read(d);
                Click(d, IDCANCEL);
              }));
    EXPECT_EQ(L"K-Harbor setup", s.caption) << os;
    EXPECT_EQ(L"Installation stopped", s.title) << os;
    EXPECT_EQ(store->GetLocalizedString(L"ConflictDescription1"), s.description1) << os;
    EXPECT_EQ(store->GetLocalizedString(L"ConflictDescription2"), s.description2) << os;
    EXPECT_EQ(kProduct, s.software) << os;
    EXPECT_EQ(xp ? L"You must uninstall the conflicting product via Add or Remove Programs before you can continue "
                   L"with the installation."
                 : L"You must uninstall the conflicting product via Programs and Features before you can continue "
                   L"with the installation.",
              s.description3)
        << os;
    EXPECT_EQ(L"&Try again", s.tryAgain) << os;
    EXPECT_EQ(L"&Close", s.close) << os;
    EXPECT_EQ(FW_BOLD, s.softwareFontWeight) << os;
    EXPECT_EQ(FW_NORMAL, s.descriptionFontWeight) << os;
    EXPECT_LT(s.titleFontHeight, -15) << os;  // 14 points
    EXPECT_EQ(xp ? L"Open Add or Remove Programs" : L"Open Programs and Features", page.GetLinkText()) << os;
  }
}

// The real system of the test prefix is Windows 7.
TEST_F(ConflictDialogTest, RealSystemOfThePrefixSpeaksOfProgramsAndFeatures) {
  ConflictDialog page(kProduct);
  std::wstring text;
  Show(page, [&](HWND d) {
    text = ItemText(d, ConflictDialog::kDescription3Id);
    Click(d, IDCANCEL);
  });
  EXPECT_EQ(LarkProperties::Instance()->GetLocalizedString(L"ConflictDescription3"), text);
}

// The folder that the page is given as the system folder.
std::wstring g_systemFolder;

UINT WINAPI TestSystemDirectory(LPWSTR buffer, UINT size) {
  if (g_systemFolder.size() >= size) return static_cast<UINT>(g_systemFolder.size() + 1);
  wcscpy(buffer, g_systemFolder.c_str());
  return static_cast<UINT>(g_systemFolder.size());
}

UINT WINAPI UnreadableSystemDirectory(LPWSTR, UINT) {
  SetLastError(ERROR_ACCESS_DENIED);
  return 0;
}

std::wstring ProgramFolder() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring folder(self);
  folder.resize(folder.rfind(L'\\'));
  return folder;
}

// One start of a stand-in: which copy ran, and its command line.
struct Started {
  std::wstring program;
  std::string command;
};

Started Parse(const std::string& line) {
  const size_t tab = line.find('\t');
  if (tab == std::string::npos) return Started{L"", line};
  return Started{larktest::Widen(line.substr(0, tab)), line.substr(tab + 1)};
}

bool SamePath(const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) == 0; }

class ConflictLinkTest : public ConflictDialogTest {
 protected:
  void SetUp() override {
    ConflictDialogTest::SetUp();
    // The stand-in beside the program is the one a search would find
    // first; it and a copy in the current folder are decoys.
    const std::wstring beside = ProgramFolder() + L"\\rundll32.exe";
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(beside.c_str()));
    ASSERT_TRUE(CopyFileW(beside.c_str(), m_system.file(L"rundll32.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(beside.c_str(), m_current.file(L"rundll32.exe").c_str(), FALSE));
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    m_previousDirectory = current;
    ASSERT_TRUE(SetCurrentDirectoryW(m_current.path().c_str()));
    g_systemFolder = m_system.path();
    SetSystemDirectorySourceForTests(&TestSystemDirectory);
    SetEnvironmentVariableW(L"LARK_RUNDLL32_RECORD", m_scratch.file(L"rundll32.txt").c_str());
  }
  void TearDown() override {
    SetEnvironmentVariableW(L"LARK_RUNDLL32_RECORD", nullptr);
    SetSystemDirectorySourceForTests(nullptr);
    SetCurrentDirectoryW(m_previousDirectory.c_str());
  }
  std::wstring Record() const { return m_scratch.file(L"rundll32.txt"); }
  std::wstring SystemCopy() const { return m_system.file(L"rundll32.exe"); }

  larktest::ScratchDir m_scratch{L"conflict-link"};
  larktest::ScratchDir m_system{L"conflict-system"};
  larktest::ScratchDir m_current{L"conflict-current"};
  std::wstring m_previousDirectory;
};

TEST_F(ConflictLinkTest, SpaceOnTheLinkStartsThePanelCommandAndThePageStays) {
  TestConflict page(30);
  bool openAfterLink = false;
  std::vector<std::string> lines;
  const int result = Show(page, [&](HWND d) {
    HWND link = GetDlgItem(d, ConflictDialog::kLinkId);
    SendMessageW(link, WM_SETFOCUS, 0, 0);
    SendMessageW(link, WM_CHAR, L' ', 0);
    lines = WaitForRecord(Record(), 1);
    openAfterLink = IsWindowVisible(d) != FALSE;
    Click(d, IDCANCEL);
  });
  EXPECT_EQ(IDCANCEL, result);
  EXPECT_TRUE(openAfterLink);
  ASSERT_EQ(1u, lines.size());
  const Started started = Parse(lines[0]);
  EXPECT_EQ("rundll32.exe shell32.dll,Control_RunDLL appwiz.cpl", started.command);
  EXPECT_TRUE(SamePath(SystemCopy(), started.program)) << larktest::Narrow(started.program);
}

// A click counts only on the link text itself: the cursor decides.
TEST_F(ConflictLinkTest, ClickOnTheTextStartsThePanelAndBesideItDoesNothing) {
  TestConflict page(30);
  std::vector<std::string> afterBeside, afterText;
  HCURSOR besideCursor = nullptr, textCursor = nullptr;
  RECT linkRect = {}, area = {};
  Show(page, [&](HWND d) {
    HWND link = GetDlgItem(d, ConflictDialog::kLinkId);
    linkRect = page.GetLink().GetLinkRect();
    area = ItemRect(d, ConflictDialog::kLinkId);
    auto clickAt = [&](int x, int y) {
      POINT p = {x, y};
      ClientToScreen(d, &p);
      SetCursorPos(p.x, p.y);
      SendMessageW(link, WM_SETCURSOR, reinterpret_cast<WPARAM>(link), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
      SendMessageW(d, WM_COMMAND, MAKEWPARAM(ConflictDialog::kLinkId, STN_CLICKED), reinterpret_cast<LPARAM>(link));
    };
    clickAt(area.right - 4, (area.top + area.bottom) / 2);
    besideCursor = page.cursorSet;
    Sleep(500);
    afterBeside = ReadLines(Record());
    clickAt((linkRect.left + linkRect.right) / 2, (linkRect.top + linkRect.bottom) / 2);
    textCursor = page.cursorSet;
    afterText = WaitForRecord(Record(), 1);
    Click(d, IDCANCEL);
  });
  ASSERT_LT(linkRect.right, area.right - 4) << "the link text fills its control";
  EXPECT_TRUE(afterBeside.empty());
  ASSERT_EQ(1u, afterText.size());
  EXPECT_EQ("rundll32.exe shell32.dll,Control_RunDLL appwiz.cpl", Parse(afterText[0]).command);
  EXPECT_TRUE(SamePath(SystemCopy(), Parse(afterText[0]).program));
  EXPECT_EQ(LoadCursorW(nullptr, IDC_ARROW), besideCursor);
  EXPECT_EQ(LoadCursorW(nullptr, IDC_HAND), textCursor);
}

// The panel's program comes from the system folder by full path only: a
// rundll32.exe beside the installer (its Downloads folder) or in the
// current folder never runs, and without a readable system folder nothing
// is started and the page stays.
TEST_F(ConflictLinkTest, OnlyTheSystemFoldersRundll32EverRuns) {
  struct Case {
    const char* name;
    SystemDirectorySource source;
    bool starts;
  } cases[] = {
      {"system folder given", &TestSystemDirectory, true},
      {"system folder unreadable", &UnreadableSystemDirectory, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeleteFileW(Record().c_str());
    SetSystemDirectorySourceForTests(c.source);
    PlatformLogCapture log;
    TestConflict page(30);
    std::vector<std::string> lines;
    bool pageStayed = false;
    Show(page, [&](HWND d) {
      HWND link = GetDlgItem(d, ConflictDialog::kLinkId);
      SendMessageW(link, WM_SETFOCUS, 0, 0);
      SendMessageW(link, WM_CHAR, L' ', 0);
      lines = WaitForRecord(Record(), 1);
      Sleep(500);  // a second start, by another copy, would show by now
      lines = ReadLines(Record());
      pageStayed = IsWindowVisible(d) != FALSE;
      Click(d, IDCANCEL);
    });
    EXPECT_TRUE(pageStayed);
    bool failureLogged = false;
    for (const std::wstring& line : log.Texts()) {
      failureLogged |= line.find(L"ConflictDialog::OnButtonClick: CreateProcess for Programs and features component "
                                 L"launching failed") != std::wstring::npos;
    }
    for (const std::string& line : lines) {
      const Started started = Parse(line);
      EXPECT_TRUE(SamePath(SystemCopy(), started.program)) << "started: " << larktest::Narrow(started.program);
    }
    if (c.starts) {
      EXPECT_EQ(1u, lines.size());
      EXPECT_FALSE(failureLogged);
    } else {
      EXPECT_TRUE(lines.empty());
      EXPECT_TRUE(failureLogged);
    }
  }
}

}  // namespace
