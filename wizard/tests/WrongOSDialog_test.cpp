// The wrong operating-system page: every way out returns 8, its texts come
// from the store and its caption stays "System Requirements".
#include "wizard/WrongOSDialog.h"

#include <gtest/gtest.h>

#include "settings/LarkProperties.h"
#include "wizard/tests/WizardTestSupport.h"

using namespace wizardtest;

namespace {

struct Seen {
  std::wstring caption, title, description, close;
  bool closeFocused = false;
};

class WrongOSDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PrepareWizard();
    LarkProperties::Instance()->SetLanguage(L"en");
  }

  int Show(std::function<void(HWND)> finish, Seen* seen = nullptr) {
    Seen s;
    int result;
    {
      DialogDriver driver([&](HWND dialog) {
        s.caption = WindowText(dialog);
        s.title = ItemText(dialog, 1003);
        s.description = ItemText(dialog, 1004);
        s.close = ItemText(dialog, IDCANCEL);
        GUITHREADINFO info = {};
        info.cbSize = sizeof(info);
        GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info);
        s.closeFocused = info.hwndFocus == GetDlgItem(dialog, IDCANCEL);
        finish(dialog);
      });
      WrongOSDialog page;
      result = page.DoModal();
    }
    if (seen) *seen = s;
    return result;
  }
};

TEST_F(WrongOSDialogTest, EveryWayOutEndsWithEight) {
  struct Case {
    const char* name;
    std::function<void(HWND)> action;
  } cases[] = {
      {"close button", [](HWND d) { Click(d, IDCANCEL); }},
      {"caption close button", [](HWND d) { Click(d, 8); }},
      {"escape", [](HWND d) { PressKey(d, IDCANCEL, VK_ESCAPE); }},
      {"system close", [](HWND d) { PostMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0); }},
  };
  for (const Case& c : cases) EXPECT_EQ(WrongOSDialog::kResultAbort, Show(c.action)) << c.name;
}

TEST_F(WrongOSDialogTest, ShowsLocalizedTextsAndFocusesClose) {
  Seen s;
  Show([](HWND d) { Click(d, IDCANCEL); }, &s);
  LarkProperties* store = LarkProperties::Instance();
  EXPECT_EQ(L"System Requirements", s.caption);
  EXPECT_EQ(store->GetLocalizedString(L"WrongOSTitle"), s.title);
  EXPECT_EQ(L"Unsupported operating system", s.title);
  EXPECT_EQ(store->GetLocalizedString(L"WrongOSDescription"), s.description);
  EXPECT_EQ(L"&Close", s.close);
  EXPECT_TRUE(s.closeFocused);
}

TEST_F(WrongOSDialogTest, MissingTextsShowHashAndKeyUnderTheTemplateCaption) {
  LarkProperties::Instance()->SetLanguage(L"no-such-language");
  Seen s;
  Show([](HWND d) { Click(d, IDCANCEL); }, &s);
  LarkProperties::Instance()->SetLanguage(L"en");
  EXPECT_EQ(L"System Requirements", s.caption);
  EXPECT_EQ(L"#WrongOSTitle", s.title);
  EXPECT_EQ(L"#WrongOSDescription", s.description);
  EXPECT_EQ(L"#Close", s.close);
}

TEST_F(WrongOSDialogTest, CloseSitsAtThePanelsRightEdgeBelowIt) {
  RECT panel = {}, close = {}, client = {};
  Show([&](HWND d) {
    panel = ItemRect(d, 1006);
    close = ItemRect(d, IDCANCEL);
    GetClientRect(d, &client);
    Click(d, IDCANCEL);
  });
  EXPECT_EQ(panel.right, close.right);
  const int band = client.bottom - panel.bottom;
  const int height = close.bottom - close.top;
  EXPECT_EQ(panel.bottom + (band - height) / 2, close.top);
}

}  // namespace
