// The privacy-policy page: the downloaded text, Back focused once it is
// there, the offline text with Retry, the local folder, and cancelling
// through the question.
#include "wizard/EultDialog.h"

#include "wizard/tests/ContentPageTest.h"

using namespace contenttest;
using namespace wizardtest;
using larktest::TestHttpServer;

namespace {

typedef Probed<PrivacyPolicyDialog> PrivacyPage;
const int kTextBox = PrivacyPolicyDialog::kRichEditId;

bool Shown(HWND d) { return !RichEditText(GetDlgItem(d, kTextBox)).empty(); }

class PrivacyPolicyDialogTest : public ContentPageTest {};

TEST_F(PrivacyPolicyDialogTest, ShowsTheDownloadedTextAndBackReturns) {
  std::wstring name;
  const Document document = Serve(L"privacyPolicyUrl", &name);
  PrivacyPage page;
  std::wstring caption, title, instructions, back, text;
  bool hasLink = true, hasAccept = true, hasDecline = true, retryShown = true;
  Sample sample;
  const int result = Run(page, [&](HWND d) {
    WaitUntil([&] { return Shown(d); }, 10000);
    Sleep(100);
    sample = page.Probe(d);
    caption = WindowText(d);
    title = ItemText(d, 1003);
    instructions = ItemText(d, 1004);
    back = ItemText(d, PrivacyPolicyDialog::kBackId);
    text = RichEditText(GetDlgItem(d, kTextBox));
    hasLink = GetDlgItem(d, 1025) != nullptr;
    hasAccept = GetDlgItem(d, PrivacyPolicyDialog::kAcceptId) != nullptr;
    hasDecline = GetDlgItem(d, PrivacyPolicyDialog::kDeclineId) != nullptr;
    retryShown = ItemVisible(d, PrivacyPolicyDialog::kRetryId);
    Click(d, PrivacyPolicyDialog::kBackId);
  });
  EXPECT_EQ(PrivacyPolicyDialog::kResultBack, result);
  EXPECT_EQ(document.shown, text);
  EXPECT_EQ(m_store->GetSetting(L"Title"), caption);
  EXPECT_EQ(L"Privacy policy", title);
  EXPECT_EQ(m_store->GetLocalizedString(L"PrivacyPolicyInstructions"), instructions);
  EXPECT_EQ(L"< &Back", back);
  EXPECT_FALSE(hasLink);
  EXPECT_FALSE(hasAccept);
  EXPECT_FALSE(hasDecline);
  EXPECT_FALSE(retryShown);
  if (sample.active) {
    EXPECT_EQ(PrivacyPolicyDialog::kBackId, sample.focusId);
  }
  EXPECT_EQ(1u, Requests(name));
}

TEST_F(PrivacyPolicyDialogTest, FailedDownloadShowsTheOfflineTextAndRetryFetchesAgain) {
  std::wstring name;
  const Document document = Serve(L"privacyPolicyUrl", &name);
  ASSERT_TRUE(TestHttpServer::AddFault(name, "kind=status&status=404"));
  PrivacyPage page;
  std::wstring offline, text, retryLabel;
  bool offlineShown = false;
  RECT retry = {}, back = {};
  const int result = Run(page, [&](HWND d) {
    offlineShown = WaitUntil([&] { return ItemVisible(d, PrivacyPolicyDialog::kRetryId); }, 10000);
    offline = RichEditText(GetDlgItem(d, kTextBox));
    retryLabel = ItemText(d, PrivacyPolicyDialog::kRetryId);
    retry = ItemRect(d, PrivacyPolicyDialog::kRetryId);
    back = ItemRect(d, PrivacyPolicyDialog::kBackId);
    Click(d, PrivacyPolicyDialog::kRetryId);
    WaitUntil([&] { return RichEditText(GetDlgItem(d, kTextBox)) == document.shown; }, 10000);
    text = RichEditText(GetDlgItem(d, kTextBox));
    Click(d, PrivacyPolicyDialog::kBackId);
  });
  ASSERT_TRUE(offlineShown);
  const std::wstring expected = m_store->GetLocalizedString(L"Error12");
  EXPECT_EQ(0u, offline.find(expected.substr(0, expected.find(L"%SERVER%")))) << larktest::Narrow(offline);
  EXPECT_EQ(L"&Retry", retryLabel);
  EXPECT_EQ(back.left - 8, retry.right);
  EXPECT_EQ(back.top, retry.top);
  EXPECT_EQ(document.shown, text);
  EXPECT_EQ(PrivacyPolicyDialog::kResultBack, result);
  EXPECT_EQ(2u, Requests(name));
}

TEST_F(PrivacyPolicyDialogTest, LocalFolderShowsTheLanguagesFile) {
  std::wstring name;
  Serve(L"privacyPolicyUrl", &name);
  m_store->SetLocalSources(true);
  m_store->SetLanguage(L"de");
  larktest::ScratchDir folder(L"privacy-folder");
  m_store->SetPrivacyDirectory(folder.path());
  const Document document = MakeDocument(L"Datenschutz");
  ASSERT_TRUE(larktest::WriteFileBytes(folder.file(L"de_privacypolicy.txt"), document.bytes));
  PrivacyPolicyDialog page;
  std::wstring text, title;
  Run(page, [&](HWND d) {
    WaitUntil([&] { return Shown(d); }, 10000);
    text = RichEditText(GetDlgItem(d, kTextBox));
    title = ItemText(d, 1003);
    Click(d, PrivacyPolicyDialog::kBackId);
  });
  m_store->SetLanguage(L"en");
  EXPECT_EQ(document.shown, text);
  EXPECT_EQ(L"Datenschutzerkl\u00e4rung", title);
  EXPECT_EQ(folder.file(L"de_privacypolicy.txt"), page.GetContentPath());
  EXPECT_EQ(0u, Requests(name));
}

TEST_F(PrivacyPolicyDialogTest, CancelAsksAndOnlyYesCancels) {
  Serve(L"privacyPolicyUrl");
  struct Case {
    const char* name;
    std::function<void(HWND)> leave;
  } cases[] = {
      {"escape", [](HWND d) { PressKey(d, PrivacyPolicyDialog::kBackId, VK_ESCAPE); }},
      {"caption close button", [](HWND d) { Click(d, 8); }},
      {"system close", [](HWND d) { PostMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PrivacyPolicyDialog page;
    std::wstring question;
    bool stayedAfterNo = false;
    const int result = Run(page, [&](HWND d) {
      WaitUntil([&] { return Shown(d); }, 10000);
      c.leave(d);
      HWND asked = WaitForQuestion(d, 5000);
      question = ItemText(asked, 1010);
      PostMessageW(GetDlgItem(asked, IDNO), BM_CLICK, 0, 0);
      WaitUntil([&] { return !IsWindow(asked); }, 5000);
      Sleep(200);
      stayedAfterNo = IsWindowVisible(d) != FALSE;
      c.leave(d);
      AnswerQuestion(d, IDYES);
    });
    EXPECT_EQ(m_store->GetLocalizedString(L"Sure"), question);
    EXPECT_TRUE(stayedAfterNo);
    EXPECT_EQ(PrivacyPolicyDialog::kResultCancel, result);
  }
}

TEST_F(PrivacyPolicyDialogTest, CancelDuringAStalledDownloadEndsThePageAtOnce) {
  std::wstring name;
  Serve(L"privacyPolicyUrl", &name);
  ASSERT_TRUE(TestHttpServer::AddFault(name, "kind=stall&after=0&seconds=20"));
  PrivacyPolicyDialog page;
  DWORD answered = 0;
  const int result = Run(page, [&](HWND d) {
    Sleep(300);
    Click(d, 8);
    HWND asked = WaitForQuestion(d, 5000);
    answered = GetTickCount();
    PostMessageW(GetDlgItem(asked, IDYES), BM_CLICK, 0, 0);
  });
  EXPECT_EQ(PrivacyPolicyDialog::kResultCancel, result);
  EXPECT_LT(GetTickCount() - answered, 3000u);
  TestHttpServer::ClearFaults(name);
}

}  // namespace
