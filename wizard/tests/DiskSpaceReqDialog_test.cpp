// The disk-space page driven like a user would: the drive and both numbers
// in its description, its results, and Try again measuring the drive again
// (scripted measurements for freeing space, the real drive of the prefix
// and a drive that does not exist).
#include "wizard/DiskSpaceReqDialog.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/SystemInfo.h"
#include "platform/tests/PlatformLogCapture.h"
#include "settings/LarkProperties.h"
#include "wizard/tests/WizardTestSupport.h"

using namespace wizardtest;

namespace {

const int kTryAgain = DiskSpaceReqDialog::kTryAgainId;

std::wstring EnglishDescription(const std::wstring& drive, const std::wstring& available,
                                const std::wstring& required) {
  return L"Setup has detected that your computer's " + drive + L" has " + available +
         L" MB of free space. You need at least " + required +
         L" MB to install the product. Free some disk space and try again.";
}

// The page measuring from a script of free-space answers (the last one
// repeats); it records the drives it was asked about.
class ScriptedDiskPage : public DiskSpaceReqDialog {
 public:
  explicit ScriptedDiskPage(std::vector<unsigned long long> answers) : m_answers(answers) {}
  std::vector<std::wstring> asked;

 protected:
  unsigned long long FreeMegabytes(const std::wstring& drive) override {
    asked.push_back(drive);
    const size_t i = asked.size() - 1;
    return m_answers[i < m_answers.size() ? i : m_answers.size() - 1];
  }

 private:
  std::vector<unsigned long long> m_answers;
};

class DiskSpaceReqDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PrepareWizard();
    LarkProperties::Instance()->SetLanguage(L"en");
  }
  void TearDown() override { LarkProperties::Instance()->SetLanguage(L"en"); }

  static void Fill(DiskSpaceReqDialog& page, const wchar_t* drive, unsigned required, unsigned available) {
    page.SetDrive(drive);
    page.SetRequired(required);
    page.SetAvailable(available);
  }

  int Show(DiskSpaceReqDialog& page, std::function<void(HWND)> act) {
    DialogDriver driver(act);
    return page.DoModal();
  }
};

TEST_F(DiskSpaceReqDialogTest, ShowsTheDriveAndBothNumbers) {
  ScriptedDiskPage page({0});
  Fill(page, L"C:\\", 300, 120);
  std::wstring caption, title, description, tryAgain, close;
  EXPECT_EQ(IDCANCEL, Show(page, [&](HWND d) {
              caption = WindowText(d);
              title = ItemText(d, DiskSpaceReqDialog::kTitleId);
              description = ItemText(d, DiskSpaceReqDialog::kDescriptionId);
              tryAgain = ItemText(d, kTryAgain);
              close = ItemText(d, IDCANCEL);
              Click(d, IDCANCEL);
            }));
  EXPECT_EQ(L"System Requirements", caption);
  EXPECT_EQ(L"Insufficient disk space", title);
  EXPECT_EQ(EnglishDescription(L"C:\\", L"120", L"300"), description);
  EXPECT_EQ(L"&Try again", tryAgain);
  EXPECT_EQ(L"&Close", close);
  EXPECT_TRUE(page.asked.empty());
}

// Counts above 2^31 MB stay unsigned; every language fills all three
// placeholders.
TEST_F(DiskSpaceReqDialogTest, EveryLanguageFillsItsPlaceholders) {
  DiskSpaceReqDialog page;
  Fill(page, L"D:\\", 3000000000u, 4294967294u);
  LarkProperties* store = LarkProperties::Instance();
  EXPECT_EQ(EnglishDescription(L"D:\\", L"4294967294", L"3000000000"), page.FormatDescription());
  for (const auto& language : store->GetLocalizedTexts()) {
    store->SetLanguage(language.first);
    const std::wstring text = page.FormatDescription();
    EXPECT_EQ(std::wstring::npos, text.find(L'%')) << language.first.c_str();
    EXPECT_NE(std::wstring::npos, text.find(L"D:\\")) << language.first.c_str();
    EXPECT_NE(std::wstring::npos, text.find(L"4294967294")) << language.first.c_str();
    EXPECT_NE(std::wstring::npos, text.find(L"3000000000")) << language.first.c_str();
  }
}

TEST_F(DiskSpaceReqDialogTest, EveryWayOutButEnoughSpaceReturnsTwo) {
  struct Case {
    const char* name;
    std::function<void(HWND)> action;
  } cases[] = {
      {"close", [](HWND d) { Click(d, IDCANCEL); }},
      {"caption close button", [](HWND d) { Click(d, 8); }},
      {"escape", [](HWND d) { PressKey(d, IDCANCEL, VK_ESCAPE); }},
      {"enter on the default button", [](HWND d) { PressKey(d, IDCANCEL, VK_RETURN); }},
      {"system close", [](HWND d) { PostMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0); }},
  };
  for (const Case& c : cases) {
    std::vector<std::wstring> lines;
    {
      PlatformLogCapture log;
      ScriptedDiskPage page({0});
      Fill(page, L"C:\\", 300, 120);
      EXPECT_EQ(IDCANCEL, Show(page, c.action)) << c.name;
      EXPECT_TRUE(page.asked.empty()) << c.name;
      lines = log.Texts();
    }
    bool logged = false;
    for (const std::wstring& line : lines) {
      logged |= line == L" I|DiskSpaceReqDialog::OnCancel: User clicked Close. Aborting the installation";
    }
    EXPECT_TRUE(logged) << c.name;
  }
}

// Each Try again measures the page's drive again and shows the new number;
// freeing space up to exactly the requirement ends the page with 1.
TEST_F(DiskSpaceReqDialogTest, TryAgainMeasuresAgainUntilTheRequirementIsMet) {
  ScriptedDiskPage page({150, 299, 300});
  Fill(page, L"C:\\", 300, 120);
  std::vector<std::wstring> descriptions;
  std::vector<std::wstring> lines;
  int result;
  {
    PlatformLogCapture log;
    result = Show(page, [&](HWND d) {
      for (int i = 0; i < 2; ++i) {
        SendMessageW(d, WM_COMMAND, MAKEWPARAM(kTryAgain, BN_CLICKED), 0);
        descriptions.push_back(ItemText(d, DiskSpaceReqDialog::kDescriptionId));
      }
      Click(d, kTryAgain);
    });
    lines = log.Texts();
  }
  EXPECT_EQ(DiskSpaceReqDialog::kResultEnoughSpace, result);
  EXPECT_EQ((std::vector<std::wstring>{L"C:\\", L"C:\\", L"C:\\"}), page.asked);
  ASSERT_EQ(2u, descriptions.size());
  EXPECT_EQ(EnglishDescription(L"C:\\", L"150", L"300"), descriptions[0]);
  EXPECT_EQ(EnglishDescription(L"C:\\", L"299", L"300"), descriptions[1]);
  EXPECT_EQ(300u, page.GetAvailable());
  auto count = [&](const std::wstring& text) {
    int n = 0;
    for (const std::wstring& line : lines) n += line == text;
    return n;
  };
  EXPECT_EQ(3, count(L" I|DiskSpaceReqDialog::OnRetry: Retrying to check available disk space again.."));
  EXPECT_EQ(1, count(L"*F|DiskSpaceReqDialog::OnRetry: Still don't have enough disk space in C:\\. Required is 300, "
                     L"available is 150"));
  EXPECT_EQ(1, count(L"*F|DiskSpaceReqDialog::OnRetry: Still don't have enough disk space in C:\\. Required is 300, "
                     L"available is 299"));
  EXPECT_EQ(1, count(L" I|DiskSpaceReqDialog::OnRetry: There is now enough disk space in C:\\ to install relay kit."));
}

// The real measurement of the prefix's C: drive: a requirement above any
// real disk keeps the page and shows what the system reports; a met one
// ends it.
TEST_F(DiskSpaceReqDialogTest, RealDriveOfThePrefix) {
  const unsigned long long free = SystemInfo().GetFreeDiskSpace(L"C:\\");
  ASSERT_LT(free, 0xFFFFFFFEull) << "C: must be measurable and smaller than 4 PiB";
  DiskSpaceReqDialog page;
  Fill(page, L"C:\\", 0xFFFFFFFEu, 0);
  std::wstring description;
  bool stayed = false;
  const int result = Show(page, [&](HWND d) {
    SendMessageW(d, WM_COMMAND, MAKEWPARAM(kTryAgain, BN_CLICKED), 0);
    stayed = IsWindowVisible(d) != FALSE;
    description = ItemText(d, DiskSpaceReqDialog::kDescriptionId);
    page.SetRequired(0);
    Click(d, kTryAgain);
  });
  EXPECT_TRUE(stayed);
  EXPECT_EQ(DiskSpaceReqDialog::kResultEnoughSpace, result);
  // Other processes write to the same disk meanwhile: allow 2 GB of drift.
  const long long shown = static_cast<long long>(page.GetAvailable());
  EXPECT_NEAR(static_cast<double>(free), static_cast<double>(shown), 2048.0);
  EXPECT_NE(std::wstring::npos, description.find(L"C:\\ has "));
  EXPECT_NE(std::wstring::npos, description.find(L"4294967294 MB to install"));
}

// A drive that cannot be measured counts as enough, like the engine's
// first check, so the page cannot keep a user who has no way out but Close.
TEST_F(DiskSpaceReqDialogTest, UnmeasurableDriveEndsWithEnoughSpace) {
  DiskSpaceReqDialog page;
  Fill(page, L"Q:\\", 4294967295u, 10);
  EXPECT_EQ(DiskSpaceReqDialog::kResultEnoughSpace, Show(page, [](HWND d) { Click(d, kTryAgain); }));
  EXPECT_EQ(4294967295u, page.GetAvailable());
}

TEST_F(DiskSpaceReqDialogTest, CloseSitsAtThePanelsRightEdgeWithTryAgainBesideIt) {
  RECT panel = {}, close = {}, tryAgain = {}, client = {};
  ScriptedDiskPage page({0});
  Fill(page, L"C:\\", 300, 120);
  Show(page, [&](HWND d) {
    panel = ItemRect(d, 1006);
    close = ItemRect(d, IDCANCEL);
    tryAgain = ItemRect(d, kTryAgain);
    GetClientRect(d, &client);
    Click(d, IDCANCEL);
  });
  EXPECT_EQ(panel.right, close.right);
  EXPECT_EQ(panel.bottom + (client.bottom - panel.bottom - (close.bottom - close.top)) / 2, close.top);
  EXPECT_EQ(close.top, tryAgain.top);
  EXPECT_EQ(close.left - 8, tryAgain.right);
}

}  // namespace
