// Enter on every page of the wizard presses that page's default button,
// through the dialog manager alone: from the button that has the focus and
// from a control that is no button (the language list, the licence text),
// and the dialog manager still names the template's default button once
// the page is on screen (its shadow attached).
#include <gtest/gtest.h>

#include <functional>

#include "settings/LarkProperties.h"
#include "testsupport/TestEnv.h"
#include "wizard/ConflictDialog.h"
#include "wizard/DiskSpaceReqDialog.h"
#include "wizard/EultDialog.h"
#include "wizard/InstallDialog.h"
#include "wizard/MessageDialog.h"
#include "wizard/WelcomeDialog.h"
#include "wizard/WrongOSDialog.h"
#include "wizard/tests/ContentPageTestSupport.h"
#include "wizard/tests/InstallPageTestSupport.h"
#include "wizard/tests/WizardTestSupport.h"

using namespace wizardtest;

namespace {

// What happened after Enter.
struct Outcome {
  LRESULT defaultId = 0;    // DM_GETDEFID before Enter
  bool byEnter = false;     // the page ended, or asked its question, on Enter alone
  int questions = 0;
};

struct Case {
  const char* name;
  std::function<int(const std::function<void(HWND)>&)> show;  // runs the page with a driver
  int target;         // the control that receives Enter
  int defaultId;      // the page's default button
  bool asks;          // the default button asks "cancel the installation?" (answered Yes)
  int expected;       // the page's result
  std::function<bool(HWND)> ready;  // the page is ready for the keyboard
};

// Shows a page through show, focuses target, presses Enter there and
// answers the question the page may ask with Yes. When nothing happens on
// Enter the page is closed another way so that the test ends.
int PressEnter(const Case& c, Outcome& outcome) {
  return c.show([&](HWND page) {
    if (c.ready) contenttest::WaitUntil([&] { return c.ready(page); }, 10000);
    outcome.defaultId = SendMessageW(page, DM_GETDEFID, 0, 0);
    HWND target = GetDlgItem(page, c.target);
    SendMessageW(page, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(target), TRUE);
    PostMessageW(target, WM_KEYDOWN, VK_RETURN, 0);
    PostMessageW(target, WM_KEYUP, VK_RETURN, 0xC0000000);
    bool closedOtherwise = false;
    for (int waited = 0; IsWindow(page) && waited < 20000; waited += 20) {
      if (HWND question = contenttest::WaitForQuestion(page, 0)) {
        ++outcome.questions;
        if (!closedOtherwise) outcome.byEnter = true;
        PostMessageW(GetDlgItem(question, IDYES), BM_CLICK, 0, 0);
        contenttest::WaitUntil([&] { return !IsWindow(question); }, 5000);
      }
      if (waited == 2000 && IsWindow(page) && outcome.questions == 0) {
        closedOtherwise = true;
        PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
      }
      Sleep(20);
    }
    if (!closedOtherwise && outcome.questions == 0) outcome.byEnter = true;
  });
}

template <class Page>
int ShowPage(Page& page, const std::function<void(HWND)>& action) {
  DialogDriver driver(action);
  return page.DoModal();
}

int ShowMessage(int flags, bool restart, const std::function<void(HWND)>& action) {
  MessageDialog page(nullptr);
  page.SetContent(L"Question", L"Go on?", flags, restart);
  return ShowPage(page, action);
}

class DefaultButtonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PrepareInstallPage(m_scratch.path());
    LarkProperties* store = LarkProperties::Instance();
    store->GenerateSelectableLanguages(1252);
    // The licence and privacy pages read their documents from a local
    // folder: no server needed.
    store->SetLocalSources(true);
    store->SetEulaDirectory(m_scratch.path());
    store->SetPrivacyDirectory(m_scratch.path());
    ASSERT_TRUE(larktest::WriteFileBytes(m_scratch.file(L"en_license.txt"), "Licence terms\r\n"));
    ASSERT_TRUE(larktest::WriteFileBytes(m_scratch.file(L"en_privacypolicy.txt"), "Privacy policy\r\n"));
  }
  void TearDown() override {
    LarkProperties* store = LarkProperties::Instance();
    store->SetLocalSources(false);
    store->SetEulaDirectory(L"");
    store->SetPrivacyDirectory(L"");
  }

  larktest::ScratchDir m_scratch{L"default-button"};
};

TEST_F(DefaultButtonTest, EnterPressesTheDefaultButtonOfEveryPage) {
  const int install = WelcomeDialog::kResultInstall;
  auto welcome = [](const std::function<void(HWND)>& a) {
    WelcomeDialog page;
    return ShowPage(page, a);
  };
  auto licence = [](const std::function<void(HWND)>& a) {
    EultDialog page(true);
    return ShowPage(page, a);
  };
  auto licenceShown = [](HWND d) { return contenttest::Enabled(d, EultDialog::kAcceptId); };
  auto privacy = [](const std::function<void(HWND)>& a) {
    PrivacyPolicyDialog page;
    return ShowPage(page, a);
  };
  auto conflict = [](const std::function<void(HWND)>& a) {
    ConflictDialog page(L"Other Agent");
    return ShowPage(page, a);
  };
  auto diskSpace = [](const std::function<void(HWND)>& a) {
    DiskSpaceReqDialog page;
    page.SetDrive(L"C:");
    page.SetRequired(500);
    page.SetAvailable(100);
    return ShowPage(page, a);
  };
  auto installation = [](const std::function<void(HWND)>& a) {
    TestInstallDialog page(PageOptions().NoWorker());
    return ShowPage(page, a);
  };
  auto wrongOS = [](const std::function<void(HWND)>& a) {
    WrongOSDialog page;
    return ShowPage(page, a);
  };
  const Case cases[] = {
      {"welcome, on Install", welcome, install, install, false, install, nullptr},
      {"welcome, in the language list", welcome, WelcomeDialog::kLanguageComboId, install, false, install, nullptr},
      {"licence, on Decline", licence, EultDialog::kDeclineId, EultDialog::kDeclineId, true, EultDialog::kResultCancel,
       licenceShown},
      {"licence, in the text", licence, EultDialog::kRichEditId, EultDialog::kDeclineId, true,
       EultDialog::kResultCancel, licenceShown},
      {"privacy, on Back", privacy, PrivacyPolicyDialog::kBackId, PrivacyPolicyDialog::kBackId, false,
       PrivacyPolicyDialog::kResultBack, nullptr},
      {"conflict, on Close", conflict, IDCANCEL, IDCANCEL, false, IDCANCEL, nullptr},
      {"disk space, on Close", diskSpace, IDCANCEL, IDCANCEL, false, IDCANCEL, nullptr},
      {"installation, on Cancel", installation, InstallDialog::kCancelId, InstallDialog::kCancelId, true,
       InstallDialog::kCancelled, nullptr},
      {"wrong system, on Close", wrongOS, IDCANCEL, IDCANCEL, false, WrongOSDialog::kResultAbort, nullptr},
      {"message, on OK", [](const std::function<void(HWND)>& a) { return ShowMessage(MB_ICONERROR, false, a); }, IDOK,
       IDOK, false, IDOK, nullptr},
      {"question, on No", [](const std::function<void(HWND)>& a) { return ShowMessage(MB_YESNO, false, a); }, IDNO,
       IDNO, false, IDNO, nullptr},
      {"restart question, on Later", [](const std::function<void(HWND)>& a) { return ShowMessage(MB_YESNO, true, a); },
       IDNO, IDNO, false, IDNO, nullptr},
  };
  for (const Case& c : cases) {
    Outcome outcome;
    const int result = PressEnter(c, outcome);
    EXPECT_EQ(MAKELONG(c.defaultId, DC_HASDEFID), outcome.defaultId) << c.name;
    EXPECT_TRUE(outcome.byEnter) << c.name;
    EXPECT_EQ(c.expected, result) << c.name;
    EXPECT_EQ(c.asks ? 1 : 0, outcome.questions) << c.name;
  }
}

}  // namespace
