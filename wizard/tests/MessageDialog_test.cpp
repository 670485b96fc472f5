// The message page driven like a user would: its three layouts, the
// results of every way to end it, and texts that the store lacks.
#include "wizard/MessageDialog.h"

#include <gtest/gtest.h>

#include "settings/LarkProperties.h"
#include "wizard/tests/WizardTestSupport.h"

using namespace wizardtest;

namespace {

struct Layout {
  std::wstring title, text, ok, yes, no;
  bool okVisible = false, yesVisible = false, noVisible = false;
  RECT dialogClient = {}, okRect = {}, yesRect = {}, noRect = {};
  RECT templateNo = {}, templateYes = {};
};

Layout ReadLayout(HWND dialog) {
  Layout l;
  l.title = WindowText(dialog);
  l.text = ItemText(dialog, 1010);
  l.ok = ItemText(dialog, IDOK);
  l.yes = ItemText(dialog, IDYES);
  l.no = ItemText(dialog, IDNO);
  l.okVisible = ItemVisible(dialog, IDOK);
  l.yesVisible = ItemVisible(dialog, IDYES);
  l.noVisible = ItemVisible(dialog, IDNO);
  GetClientRect(dialog, &l.dialogClient);
  l.okRect = ItemRect(dialog, IDOK);
  l.yesRect = ItemRect(dialog, IDYES);
  l.noRect = ItemRect(dialog, IDNO);
  l.templateNo = DialogUnits(dialog, 160, 96, 60, 13);
  l.templateYes = DialogUnits(dialog, 96, 96, 60, 13);
  return l;
}

int Width(const RECT& r) { return r.right - r.left; }

class MessageDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PrepareWizard();
    LarkProperties::Instance()->SetLanguage(L"en");
  }

  // Shows the page; the driver reads its layout and then runs finish.
  int Show(int flags, bool restart, std::function<void(HWND)> finish, Layout* layout = nullptr) {
    Layout seen;
    int result;
    {
      DialogDriver driver([&](HWND dialog) {
        seen = ReadLayout(dialog);
        finish(dialog);
      });
      result = ShowMessageDialog(L"Question title", L"Message text", nullptr, flags, restart);
    }
    if (layout) *layout = seen;
    return result;
  }
};

TEST_F(MessageDialogTest, OkPageShowsOneCentredButtonForEveryNonQuestionFlag) {
  for (int flags : {0, 16, 48}) {
    Layout l;
    int result = Show(flags, false, [](HWND d) { Click(d, IDOK); }, &l);
    EXPECT_EQ(1, result) << flags;
    EXPECT_EQ(L"Question title", l.title);
    EXPECT_EQ(L"Message text", l.text);
    EXPECT_EQ(L"OK", l.ok);
    EXPECT_TRUE(l.okVisible);
    EXPECT_FALSE(l.yesVisible);
    EXPECT_FALSE(l.noVisible);
    EXPECT_EQ(Width(l.dialogClient) / 2 - Width(l.okRect) / 2, l.okRect.left) << flags;
  }
}

TEST_F(MessageDialogTest, YesNoPageKeepsTemplatePlacesAndReturnsTheChoice) {
  struct Case {
    const char* name;
    int button;
    int expected;
  } cases[] = {{"yes", IDYES, 6}, {"no", IDNO, 7}};
  for (const Case& c : cases) {
    Layout l;
    int result = Show(MB_YESNO, false, [&](HWND d) { Click(d, c.button); }, &l);
    EXPECT_EQ(c.expected, result) << c.name;
    EXPECT_EQ(L"&Yes", l.yes);
    EXPECT_EQ(L"&No", l.no);
    EXPECT_TRUE(l.yesVisible);
    EXPECT_TRUE(l.noVisible);
    EXPECT_FALSE(l.okVisible);
    EXPECT_EQ(l.templateYes.left, l.yesRect.left);
    EXPECT_EQ(l.templateNo.left, l.noRect.left);
    EXPECT_EQ(Width(l.templateNo), Width(l.noRect));
  }
}

TEST_F(MessageDialogTest, RestartQuestionWidensButtonsAndKeepsNoCorner) {
  Layout l;
  int result = Show(MB_YESNO, true, [](HWND d) { Click(d, IDYES); }, &l);
  EXPECT_EQ(6, result);
  EXPECT_EQ(L"&Restart now", l.yes);
  EXPECT_EQ(L"Restart &later", l.no);
  const int expectedWidth = Width(l.templateNo) * 16 / 10;
  EXPECT_EQ(expectedWidth, Width(l.noRect));
  EXPECT_EQ(expectedWidth, Width(l.yesRect));
  EXPECT_EQ(l.templateNo.right, l.noRect.right);
  EXPECT_EQ(l.templateNo.bottom, l.noRect.bottom);
  EXPECT_EQ(l.noRect.left - 8, l.yesRect.right);
  EXPECT_EQ(l.noRect.top, l.yesRect.top);

  EXPECT_EQ(7, Show(MB_YESNO, true, [](HWND d) { Click(d, IDNO); }));
}

TEST_F(MessageDialogTest, EscapeAndSystemCloseReturnTwoOnEveryLayout) {
  for (int flags : {0, 4}) {
    EXPECT_EQ(2, Show(flags, false, [](HWND d) { PressKey(d, 0, VK_ESCAPE); })) << flags;
    EXPECT_EQ(2, Show(flags, false, [](HWND d) { PostMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0); })) << flags;
    EXPECT_EQ(2, Show(flags, false, [](HWND d) { PostMessageW(d, WM_CLOSE, 0, 0); })) << flags;
  }
}

TEST_F(MessageDialogTest, IdsThatAreNoAnswerLeaveThePageOpen) {
  int result = Show(MB_YESNO, false, [](HWND d) {
    PostMessageW(d, WM_COMMAND, MAKEWPARAM(1010, 0), 0);
    PostMessageW(d, WM_COMMAND, MAKEWPARAM(8, 0), 0);
    Sleep(100);
    EXPECT_TRUE(IsWindowVisible(d));
    Click(d, IDNO);
  });
  EXPECT_EQ(7, result);
}

TEST_F(MessageDialogTest, MissingTextsShowHashAndKey) {
  LarkProperties::Instance()->SetLanguage(L"no-such-language");
  Layout plain, restart, ok;
  Show(MB_YESNO, false, [](HWND d) { Click(d, IDNO); }, &plain);
  Show(MB_YESNO, true, [](HWND d) { Click(d, IDNO); }, &restart);
  Show(0, false, [](HWND d) { Click(d, IDOK); }, &ok);
  LarkProperties::Instance()->SetLanguage(L"en");
  EXPECT_EQ(L"#Yes", plain.yes);
  EXPECT_EQ(L"#No", plain.no);
  EXPECT_EQ(L"#RebootNow", restart.yes);
  EXPECT_EQ(L"#RebootLater", restart.no);
  EXPECT_EQ(L"#OK", ok.ok);
}

TEST_F(MessageDialogTest, TextsFollowTheCurrentLanguage) {
  LarkProperties::Instance()->SetLanguage(L"de");
  const std::wstring expectedYes = LarkProperties::Instance()->GetLocalizedString(L"Yes");
  Layout l;
  Show(MB_YESNO, false, [](HWND d) { Click(d, IDYES); }, &l);
  LarkProperties::Instance()->SetLanguage(L"en");
  EXPECT_NE(L"#Yes", expectedYes);
  EXPECT_EQ(expectedYes, l.yes);
}

TEST_F(MessageDialogTest, MissingTemplateReturnsMinusOne) {
  DialogBase page(nullptr, 9999);
  EXPECT_EQ(-1, page.DoModal());
}

}  // namespace
