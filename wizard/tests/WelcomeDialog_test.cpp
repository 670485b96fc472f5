// The welcome page driven like a user would: its results, the language
// list and the immediate switch of every text, the fitted title that moves
// the instructions, the note for non-administrators on the oldest systems
// and the UAC shield on Install.
#include "wizard/WelcomeDialog.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "settings/LarkProperties.h"
#include "testsupport/TestEnv.h"

#ifndef BCM_SETSHIELD
#define BCM_SETSHIELD (BCM_FIRST + 0x000C)
#endif
#include "wizard/tests/WizardTestSupport.h"

using namespace wizardtest;

namespace {

const int kInstall = WelcomeDialog::kResultInstall;

// What the page shows, read back from its controls.
struct Shown {
  std::wstring caption, title, instructions, prompt, install, cancel, note;
  std::vector<std::wstring> items;
  int selection = -1;
  RECT titleRect = {}, instructionsRect = {};
  std::wstring storeLanguage;
};

Shown Read(HWND dialog) {
  Shown s;
  s.caption = WindowText(dialog);
  s.title = ItemText(dialog, WelcomeDialog::kTitleId);
  s.instructions = ItemText(dialog, WelcomeDialog::kInstructionsId);
  s.prompt = ItemText(dialog, WelcomeDialog::kLanguagePromptId);
  s.install = ItemText(dialog, kInstall);
  s.cancel = ItemText(dialog, IDCANCEL);
  s.note = ItemText(dialog, WelcomeDialog::kElevationNoteId);
  HWND combo = GetDlgItem(dialog, WelcomeDialog::kLanguageComboId);
  const int count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    wchar_t text[128] = {};
    SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    s.items.push_back(text);
  }
  s.selection = static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0));
  s.titleRect = ItemRect(dialog, WelcomeDialog::kTitleId);
  s.instructionsRect = ItemRect(dialog, WelcomeDialog::kInstructionsId);
  s.storeLanguage = LarkProperties::Instance()->GetLanguage();
  return s;
}

// Picks item i of the language list as a user does: the selection moves,
// then the combo box notifies its page.
void ChooseLanguage(HWND dialog, int item) {
  HWND combo = GetDlgItem(dialog, WelcomeDialog::kLanguageComboId);
  SendMessageW(combo, CB_SETCURSEL, item, 0);
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(WelcomeDialog::kLanguageComboId, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(combo));
}

LRESULT CALLBACK RecordShield(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                              DWORD_PTR data) {
  if (message == BCM_SETSHIELD && lParam == TRUE) *reinterpret_cast<bool*>(data) = true;
  if (message == WM_NCDESTROY) RemoveWindowSubclass(window, RecordShield, id);
  return DefSubclassProc(window, message, wParam, lParam);
}

// The page with a chosen system and user, and a record of the shield
// request and of where the focus went after the page's own start-up code.
class TestWelcome : public WelcomeDialog {
 public:
  TestWelcome(int osCode, bool admin) : m_os(osCode), m_admin(admin) {}
  INT_PTR OnInitDialog() override {
    SetWindowSubclass(GetDlgItem(m_window, kResultInstall), RecordShield, 1,
                      reinterpret_cast<DWORD_PTR>(&shieldRequested));
    INT_PTR result = WelcomeDialog::OnInitDialog();
    focusAfterInit = GetDlgCtrlID(GetFocus());
    return result;
  }
  bool shieldRequested = false;
  int focusAfterInit = 0;

 protected:
  int CurrentOS() override { return m_os; }
  bool CurrentUserIsAdmin() override { return m_admin; }

 private:
  int m_os;
  bool m_admin;
};

class WelcomeDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PrepareWizard();
    Store()->SetLanguage(L"en");
    Store()->GenerateSelectableLanguages(1252);
  }
  void TearDown() override {
    Store()->SetLanguage(L"en");
    Store()->GenerateSelectableLanguages(1252);
  }
  static LarkProperties* Store() { return LarkProperties::Instance(); }

  // Shows the page; the driver runs act and then finish on it.
  int Show(WelcomeDialog& page, std::function<void(HWND)> act, std::function<void(HWND)> finish) {
    DialogDriver driver([&](HWND dialog) {
      act(dialog);
      finish(dialog);
    });
    return page.DoModal();
  }

  // Every text that the page must show in the store's current language.
  static void ExpectTextsOf(const std::wstring& language, const Shown& s) {
    LarkProperties* store = Store();
    const std::wstring previous = store->GetLanguage();
    store->SetLanguage(language);
    EXPECT_EQ(store->GetSetting(L"Title"), s.caption) << language.c_str();
    EXPECT_EQ(store->GetSetting(L"WelcomeTitle"), s.title) << language.c_str();
    EXPECT_EQ(store->GetSetting(L"WelcomeInstructions"), s.instructions) << language.c_str();
    EXPECT_EQ(store->GetLocalizedString(L"SelectLanguage"), s.prompt) << language.c_str();
    EXPECT_EQ(store->GetLocalizedString(L"Install"), s.install) << language.c_str();
    EXPECT_EQ(store->GetLocalizedString(L"Cancel"), s.cancel) << language.c_str();
    EXPECT_FALSE(s.caption.empty()) << language.c_str();
    EXPECT_EQ(std::wstring::npos, s.prompt.find(L'#')) << language.c_str();
    store->SetLanguage(previous);
  }
};

TEST_F(WelcomeDialogTest, InstallReturnsItsIdAndEveryOtherWayOutTwo) {
  struct Case {
    const char* name;
    std::function<void(HWND)> action;
    int expected;
  } cases[] = {
      {"install", [](HWND d) { Click(d, kInstall); }, kInstall},
      {"enter", [](HWND d) { PressKey(d, kInstall, VK_RETURN); }, kInstall},
      {"cancel", [](HWND d) { Click(d, IDCANCEL); }, IDCANCEL},
      {"caption close button", [](HWND d) { Click(d, 8); }, IDCANCEL},
      {"escape", [](HWND d) { PressKey(d, kInstall, VK_ESCAPE); }, IDCANCEL},
      {"system close", [](HWND d) { PostMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0); }, IDCANCEL},
  };
  for (const Case& c : cases) {
    TestWelcome page(30, true);
    EXPECT_EQ(c.expected, Show(page, [](HWND) {}, c.action)) << c.name;
  }
}

TEST_F(WelcomeDialogTest, ShowsTheLanguagesInTheStoresOrderWithTheCurrentOneSelected) {
  Store()->SetLanguage(L"de");
  TestWelcome page(30, true);
  Shown s;
  EXPECT_EQ(kInstall, Show(page, [&](HWND d) { s = Read(d); }, [](HWND d) { Click(d, kInstall); }));
  const std::vector<std::wstring> languages = Store()->GetSelectableLanguages();
  ASSERT_GT(languages.size(), 5u);
  EXPECT_EQ(languages, page.GetLanguages());
  ASSERT_EQ(languages.size(), s.items.size());
  int german = -1;
  for (size_t i = 0; i < languages.size(); ++i) {
    EXPECT_EQ(Store()->GetLanguageName(languages[i]), s.items[i]) << i;
    if (languages[i] == L"de") german = static_cast<int>(i);
  }
  EXPECT_EQ(german, s.selection);
  EXPECT_EQ(L"Deutsch", s.items[german]);
  ExpectTextsOf(L"de", s);
  EXPECT_EQ(L"de", Store()->GetLanguage());
  EXPECT_TRUE(page.shieldRequested);
  EXPECT_EQ(kInstall, page.focusAfterInit);
}

// Every selectable language of every code page: choosing it re-texts the
// caption and every control at once and makes it the store's language.
TEST_F(WelcomeDialogTest, ChoosingALanguageRetextsEverythingAtOnce) {
  for (UINT codePage : {1252u, 1250u, 1251u, 1253u, 1254u, 1257u, 1258u, 932u, 936u, 950u}) {
    Store()->SetLanguage(L"en");
    Store()->GenerateSelectableLanguages(codePage);
    const std::vector<std::wstring> languages = Store()->GetSelectableLanguages();
    ASSERT_GE(languages.size(), 2u) << codePage;
    std::vector<Shown> seen;
    TestWelcome page(30, true);
    const int result = Show(
        page,
        [&](HWND d) {
          for (size_t i = 0; i < languages.size(); ++i) {
            ChooseLanguage(d, static_cast<int>(i));
            seen.push_back(Read(d));
          }
        },
        [](HWND d) { Click(d, kInstall); });
    EXPECT_EQ(kInstall, result) << codePage;
    ASSERT_EQ(languages.size(), seen.size()) << codePage;
    for (size_t i = 0; i < languages.size(); ++i) {
      EXPECT_EQ(languages[i], seen[i].storeLanguage) << codePage;
      EXPECT_EQ(static_cast<int>(i), seen[i].selection) << codePage;
      ExpectTextsOf(languages[i], seen[i]);
      // The instructions always start one pixel under the title.
      EXPECT_EQ(seen[i].titleRect.bottom + 1, seen[i].instructionsRect.top) << languages[i].c_str();
    }
    // The last choice stays the installation language.
    EXPECT_EQ(languages.back(), Store()->GetLanguage()) << codePage;
  }
}

TEST_F(WelcomeDialogTest, TwoLineTitleMovesTheInstructionsDownAndBack) {
  LarkProperties* store = Store();
  const std::wstring original = store->GetSetting(L"WelcomeTitle");
  store->SetLanguage(L"de");
  const std::wstring germanTitle = store->GetSetting(L"WelcomeTitle");
  store->StoreProperty(L"de:WelcomeTitle",
                       L"Willkommen bei der Installation von K-Harbor, dem Schutz Ihres Computers und Ihrer Familie",
                       LarkProperties::CustomizedSettings);
  store->SetLanguage(L"en");
  const std::vector<std::wstring> languages = store->GetSelectableLanguages();
  int german = -1, english = -1;
  for (size_t i = 0; i < languages.size(); ++i) {
    if (languages[i] == L"de") german = static_cast<int>(i);
    if (languages[i] == L"en") english = static_cast<int>(i);
  }
  ASSERT_GE(german, 0);
  ASSERT_GE(english, 0);

  Shown first, twoLines, back;
  RECT templateTitle = {};
  TestWelcome page(30, true);
  Show(
      page,
      [&](HWND d) {
        templateTitle = DialogUnits(d, 64, 32, 287, 17);
        first = Read(d);
        ChooseLanguage(d, german);
        twoLines = Read(d);
        ChooseLanguage(d, english);
        back = Read(d);
      },
      [](HWND d) { Click(d, IDCANCEL); });
  store->StoreProperty(L"de:WelcomeTitle", germanTitle, LarkProperties::CustomizedSettings);
  store->SetLanguage(L"en");

  const int oneLine = first.titleRect.bottom - first.titleRect.top;
  const int twoLine = twoLines.titleRect.bottom - twoLines.titleRect.top;
  EXPECT_EQ(original, first.title);
  EXPECT_GT(oneLine, 0);
  EXPECT_GE(twoLine, oneLine * 2 - 2);
  EXPECT_LE(twoLine, oneLine * 2 + 2);
  EXPECT_EQ(templateTitle.top, twoLines.titleRect.top);
  EXPECT_EQ(twoLines.titleRect.bottom + 1, twoLines.instructionsRect.top);
  EXPECT_GT(twoLines.instructionsRect.top, first.instructionsRect.top);
  EXPECT_EQ(first.titleRect.bottom, back.titleRect.bottom);
  EXPECT_EQ(first.instructionsRect.top, back.instructionsRect.top);
  EXPECT_EQ(first.instructionsRect.bottom - first.instructionsRect.top,
            twoLines.instructionsRect.bottom - twoLines.instructionsRect.top);
}

TEST_F(WelcomeDialogTest, CurrentLanguageNotSelectableShowsTheFirstItemAndKeepsTheStore) {
  Store()->SetLanguage(L"ja");  // not selectable under code page 1252
  TestWelcome page(30, true);
  Shown s;
  Show(page, [&](HWND d) { s = Read(d); }, [](HWND d) { Click(d, IDCANCEL); });
  EXPECT_EQ(0, s.selection);
  ASSERT_FALSE(s.items.empty());
  EXPECT_EQ(Store()->GetLanguageName(Store()->GetSelectableLanguages().front()), s.items[0]);
  EXPECT_EQ(L"ja", s.storeLanguage);
  EXPECT_EQ(L"ja", Store()->GetLanguage());
  ExpectTextsOf(L"ja", s);
}

TEST_F(WelcomeDialogTest, ElevationNoteOnlyForNonAdministratorsBelowVista) {
  const std::wstring englishNote = Store()->GetLocalizedString(L"XPElevationNeeded");
  ASSERT_EQ(std::wstring::npos, englishNote.find(L'#'));
  struct Case {
    int os;
    bool admin;
    bool note;
  } cases[] = {
      {3, false, true},  {2, false, true},   {0, false, true},   {-1, false, true}, {3, true, false},
      {10, false, false}, {11, false, false}, {40, false, false}, {60, false, false}, {10, true, false},
  };
  for (const Case& c : cases) {
    Store()->SetLanguage(L"en");
    TestWelcome page(c.os, c.admin);
    std::wstring note, germanNote;
    Show(
        page,
        [&](HWND d) {
          note = ItemText(d, WelcomeDialog::kElevationNoteId);
          const std::vector<std::wstring>& languages = page.GetLanguages();
          for (size_t i = 0; i < languages.size(); ++i) {
            if (languages[i] == L"de") ChooseLanguage(d, static_cast<int>(i));
          }
          germanNote = ItemText(d, WelcomeDialog::kElevationNoteId);
        },
        [](HWND d) { Click(d, IDCANCEL); });
    if (c.note) {
      EXPECT_EQ(englishNote, note) << c.os << " " << c.admin;
      Store()->SetLanguage(L"de");
      EXPECT_EQ(Store()->GetLocalizedString(L"XPElevationNeeded"), germanNote) << c.os;
      EXPECT_NE(englishNote, germanNote);
    } else {
      EXPECT_EQ(L"", note) << c.os << " " << c.admin;
      EXPECT_EQ(L"", germanNote) << c.os << " " << c.admin;
    }
  }
}

// The page asks the real system when nobody stands in: the test prefix is
// a Windows 7 with an administrator, so no note.
TEST_F(WelcomeDialogTest, RealSystemOfThePrefixShowsNoNote) {
  WelcomeDialog page;
  std::wstring note = L"unread";
  EXPECT_EQ(kInstall, Show(page, [&](HWND d) { note = ItemText(d, WelcomeDialog::kElevationNoteId); },
                           [](HWND d) { Click(d, kInstall); }));
  EXPECT_EQ(L"", note);
}

TEST_F(WelcomeDialogTest, InstallSitsLeftOfCancelAtThePanelsRightEdge) {
  RECT panel = {}, install = {}, cancel = {}, client = {};
  TestWelcome page(30, true);
  Show(
      page,
      [&](HWND d) {
        panel = ItemRect(d, 1006);
        install = ItemRect(d, kInstall);
        cancel = ItemRect(d, IDCANCEL);
        GetClientRect(d, &client);
      },
      [](HWND d) { Click(d, IDCANCEL); });
  EXPECT_EQ(panel.right, cancel.right);
  EXPECT_EQ(panel.bottom + (client.bottom - panel.bottom - (cancel.bottom - cancel.top)) / 2, cancel.top);
  EXPECT_EQ(cancel.top, install.top);
  EXPECT_EQ(cancel.left - 8, install.right);
}

// The height that text needs in a label of the page, wrapped at the
// label's width in the label's font, the way the label draws it.
int NeededHeight(HWND label, const std::wstring& text, UINT align) {
  RECT box = {};
  GetClientRect(label, &box);
  HDC dc = GetDC(label);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)));
  DrawTextW(dc, text.c_str(), -1, &box, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | align);
  SelectObject(dc, old);
  ReleaseDC(label, dc);
  return box.bottom - box.top;
}

// Every language's prompt, instructions and note fit their labels, and its
// title needs at most two lines.
TEST_F(WelcomeDialogTest, EveryLanguagesTextsFitTheirLabels) {
  LarkProperties* store = Store();
  std::vector<std::wstring> problems;
  int languages = 0;
  TestWelcome page(3, false);
  Show(
      page,
      [&](HWND d) {
        for (const auto& language : store->GetLocalizedTexts()) {
          ++languages;
          store->SetLanguage(language.first);
          struct Label {
            int id;
            std::wstring text;
            UINT align;
            int lines;  // 0: the label's own height
          } labels[] = {
              {WelcomeDialog::kLanguagePromptId, store->GetLocalizedString(L"SelectLanguage"), DT_RIGHT, 0},
              {WelcomeDialog::kInstructionsId, store->GetSetting(L"WelcomeInstructions"), DT_LEFT, 0},
              {WelcomeDialog::kElevationNoteId, store->GetLocalizedString(L"XPElevationNeeded"), DT_LEFT, 0},
              {WelcomeDialog::kTitleId, store->GetSetting(L"WelcomeTitle"), DT_LEFT, 2},
          };
          for (const Label& label : labels) {
            HWND control = GetDlgItem(d, label.id);
            RECT client = {};
            GetClientRect(control, &client);
            int room = client.bottom;
            if (label.lines) room = NeededHeight(control, L"X", DT_LEFT) * label.lines;
            const int needed = NeededHeight(control, label.text, label.align);
            if (needed > room) {
              problems.push_back(language.first + L" " + std::to_wstring(label.id) + L": " +
                                 std::to_wstring(needed) + L" > " + std::to_wstring(room));
            }
          }
        }
        store->SetLanguage(L"en");
      },
      [](HWND d) { Click(d, IDCANCEL); });
  EXPECT_EQ(29, languages);
  store->SetLanguage(L"de");
  EXPECT_EQ(L"Sprache ausw\u00e4hlen:", store->GetLocalizedString(L"SelectLanguage"));
  store->SetLanguage(L"en");
  std::wstring all;
  for (const std::wstring& p : problems) all += p + L"\n";
  EXPECT_TRUE(problems.empty()) << larktest::Narrow(all);
}

}  // namespace
