// The installation page with its real worker: real signed packages from
// testsupport/packages installed in the test prefix, the message for each
// worker code, the cancel question with and without a worker, local
// package folders and the handshake's timing. Downloads run against the
// loopback test server (see InstallDialogDownload_test.cpp).
#include "wizard/InstallDialog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/WinShutdown.h"
#include "settings/LarkProperties.h"
#include "testsupport/TestEnv.h"
#include "testsupport/packages/TestPackages.h"
#include "wizard/tests/InstallPageTestSupport.h"
#include "wizard/tests/WizardTestSupport.h"

using namespace larktest;
using namespace wizardtest;

namespace {

std::atomic<int> g_restarts{0};
std::atomic<UINT> g_restartFlags{0};

BOOL WINAPI RecordingExitWindowsEx(UINT flags, DWORD) {
  ++g_restarts;
  g_restartFlags = flags;
  return TRUE;
}

void Uninstall(const std::wstring& package) { RunProcess(L"msiexec /x \"" + package + L"\" /qn", L"", 60000); }

class InstallDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PrepareInstallPage(m_scratch.path());
    m_savedApi = CurrentShutdownApi();
    CurrentShutdownApi().exitWindowsEx = &RecordingExitWindowsEx;
    g_restarts = 0;
  }
  void TearDown() override { CurrentShutdownApi() = m_savedApi; }

  // A target folder that exists, as the engine's would.
  std::wstring Target(const wchar_t* name) {
    const std::wstring path = m_scratch.file(name);
    CreateDirectoryW(path.c_str(), nullptr);
    return path;
  }

  ScratchDir m_scratch{L"install-page"};
  ShutdownApi m_savedApi;
};

// A worker code posted to a page without a worker: the message it shows
// and the page result.
TEST_F(InstallDialogTest, EachWorkerCodeShowsItsMessageAndGivesItsResult) {
  struct Case {
    int code;
    std::wstring message;  // empty: no message
    int result;
  } cases[] = {
      {0, L"", 0},
      {2, L"Failed to connect to . Check your network connection and try again.", 3},
      {3, L"Installer integrity check failed.", 4},
      {4, L"You are using an old installer version. Please go to the vendor\u2019s web site to download a new "
          L"installer.",
       5},
      {5, L"Installation failed.", 3},
      {6, L"Another installation is already in progress. Complete that installation before installing K-Harbor.", 3},
      {7, L"", 3},
      {99, L"", 3},
  };
  for (const Case& c : cases) {
    PageRun run(PageOptions().NoWorker());
    run.OnPage([&](PageRun& r, HWND page) {
      PostMessageW(page, WM_COMMAND, MAKEWPARAM(InstallDialog::kWorkerDoneId, c.code), 0);
      if (!c.message.empty()) r.Answer(IDOK);
    });
    EXPECT_EQ(c.result, run.Result()) << "code " << c.code;
    std::vector<std::wstring> expected;
    if (!c.message.empty()) expected.push_back(c.message);
    EXPECT_EQ(expected, run.Messages()) << "code " << c.code;
    if (!c.message.empty()) {
      EXPECT_EQ(L"K-Harbor setup", run.MessageCaptions().at(0)) << "code " << c.code;
    }
  }
}

TEST_F(InstallDialogTest, RestartQuestionRestartsOnlyOnYes) {
  for (int answer : {IDYES, IDNO}) {
    g_restarts = 0;
    PageRun run(PageOptions().NoWorker());
    run.OnPage([&](PageRun& r, HWND page) {
      PostMessageW(page, WM_COMMAND, MAKEWPARAM(InstallDialog::kWorkerDoneId, 1), 0);
      r.Answer(answer);
    });
    EXPECT_EQ(1, run.Result());
    ASSERT_EQ(1u, run.Messages().size());
    EXPECT_EQ(LarkProperties::Instance()->GetLocalizedString(L"Reboot"), run.Messages()[0]);
    EXPECT_EQ(L"&Restart now", run.MessageButtons().at(0));
    EXPECT_EQ(answer == IDYES ? 1 : 0, g_restarts.load());
    if (answer == IDYES) {
      EXPECT_EQ(static_cast<UINT>(EWX_REBOOT), g_restartFlags.load());
    }
  }
}

TEST_F(InstallDialogTest, CancelQuestionWithoutWorker) {
  // No: the page stays; a later code ends it normally.
  {
    PageRun run(PageOptions().NoWorker());
    run.OnPage([&](PageRun& r, HWND page) {
      Click(page, InstallDialog::kCancelId);
      r.Answer(IDNO);
      Sleep(100);
      r.state = r.page->GetState();
      PostMessageW(page, WM_COMMAND, MAKEWPARAM(InstallDialog::kWorkerDoneId, 0), 0);
    });
    EXPECT_EQ(0, run.Result());
    EXPECT_EQ(InstallDialog::kRunning, run.state);
    ASSERT_EQ(1u, run.Messages().size());
    EXPECT_EQ(L"Are you sure you want to cancel the installation?", run.Messages()[0]);
  }
  // Yes, by every way to ask: the page ends at once with 2.
  struct Way {
    const char* name;
    std::function<void(HWND)> ask;
  } ways[] = {
      {"cancel", [](HWND d) { Click(d, InstallDialog::kCancelId); }},
      {"caption close", [](HWND d) { PostMessageW(d, WM_COMMAND, MAKEWPARAM(8, BN_CLICKED), 0); }},
      {"escape", [](HWND d) { PostMessageW(d, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0); }},
  };
  for (const Way& way : ways) {
    PageRun run(PageOptions().NoWorker());
    run.OnPage([&](PageRun& r, HWND page) {
      way.ask(page);
      r.Answer(IDYES);
    });
    EXPECT_EQ(2, run.Result()) << way.name;
    EXPECT_EQ(1u, run.Messages().size()) << way.name;
  }
}

TEST_F(InstallDialogTest, PageShowsItsTextsAndSpinner) {
  PageRun run(PageOptions().NoWorker());
  std::wstring caption, title, text, cancel;
  bool animating = false;
  RECT percent = {}, page = {};
  run.OnPage([&](PageRun& r, HWND dialog) {
    caption = WindowText(dialog);
    title = ItemText(dialog, 1003);
    text = ItemText(dialog, 1004);
    cancel = ItemText(dialog, 1001);
    animating = r.page->GetProgress().IsAnimating();
    GetClientRect(dialog, &page);
    percent = ItemRect(dialog, 1012);
    Click(dialog, InstallDialog::kCancelId);
    r.Answer(IDYES);
  });
  EXPECT_EQ(2, run.Result());
  EXPECT_EQ(L"K-Harbor setup", caption);
  EXPECT_EQ(L"Preparing for installation...", title);
  EXPECT_EQ(L"Downloading files, please wait...", text);
  EXPECT_EQ(L"&Cancel", cancel);
  EXPECT_TRUE(animating);
  EXPECT_NEAR(page.right / 2, (percent.left + percent.right) / 2, 2);
}

// Local installations of the real test packages: the message, the page
// result, and what the page looked like when the outcome arrived.
TEST_F(InstallDialogTest, LocalInstallationOfRealPackages) {
  struct Case {
    const wchar_t* variant;
    int answer;  // 0: no message expected
    std::wstring message;
    int result;
  } cases[] = {
      {L"othersigner", IDOK, L"Installer integrity check failed.", 4},
      {L"version3", IDOK,
       L"You are using an old installer version. Please go to the vendor\u2019s web site to download a new installer.",
       5},
      {L"fail", IDOK, L"Installation failed.", 3},
      {L"reboot", IDNO, LarkProperties::Instance()->GetLocalizedString(L"Reboot"), 1},
  };
  for (const Case& c : cases) {
    const std::wstring package = TestPackagePath(std::wstring(c.variant) + L".msi");
    Uninstall(package);
    PageRun run(PageOptions().Local().Package(package).Target(Target(c.variant)));
    bool cancelEnabled = true, closeEnabled = true;
    std::wstring header;
    int position = -1;
    run.OnPage([&](PageRun& r, HWND page) {
      r.WaitForMessage();
      cancelEnabled = IsWindowEnabled(GetDlgItem(page, InstallDialog::kCancelId)) != FALSE;
      closeEnabled = IsWindowEnabled(GetDlgItem(page, InstallDialog::kCaptionCloseId)) != FALSE;
      header = ItemText(page, 1004);
      position = r.page->GetProgress().GetPos();
      r.Answer(c.answer);
    });
    EXPECT_EQ(c.result, run.Result()) << Narrow(c.variant);
    ASSERT_EQ(1u, run.Messages().size()) << Narrow(c.variant);
    EXPECT_EQ(c.message, run.Messages()[0]) << Narrow(c.variant);
    EXPECT_FALSE(cancelEnabled) << Narrow(c.variant);
    EXPECT_FALSE(closeEnabled) << Narrow(c.variant);
    EXPECT_EQ(L"Installing K-Harbor...", header) << Narrow(c.variant);
    EXPECT_EQ(100, position) << Narrow(c.variant);
    EXPECT_EQ(0, g_restarts.load());
    Uninstall(package);
  }
}

// Success waits for the first process's answer on the AllowedToOperate
// event, then one more second, before the page ends with 0.
TEST_F(InstallDialogTest, SuccessfulInstallationWaitsForTheHandshake) {
  const std::wstring package = TestPackagePath(L"good.msi");
  Uninstall(package);
  HANDLE allowed = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  ASSERT_NE(nullptr, allowed);
  std::atomic<bool> signalled{false};
  std::chrono::steady_clock::time_point answeredAt;
  std::thread firstProcess([&] {
    if (WaitForSingleObject(allowed, 60000) != WAIT_OBJECT_0) return;
    signalled = true;
    Sleep(300);
    answeredAt = std::chrono::steady_clock::now();
    SetEvent(allowed);
  });
  PageRun run(PageOptions().Local().Package(package).Target(Target(L"good")).Allowed(allowed));
  run.OnPage([](PageRun&, HWND) {});
  const int result = run.Result();
  const auto ended = std::chrono::steady_clock::now();
  firstProcess.join();
  CloseHandle(allowed);
  EXPECT_EQ(0, result);
  EXPECT_TRUE(signalled.load());
  EXPECT_TRUE(run.Messages().empty());
  EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(ended - answeredAt).count(), 950);
  Uninstall(package);
}

TEST_F(InstallDialogTest, LocalPackagesAreLookedUpPerLanguage) {
  LarkProperties* store = LarkProperties::Instance();
  ScratchDir folders(L"local-packages");
  for (const wchar_t* name : {L"custom", L"loc", L"help", L"set"}) CreateDirectoryW(folders.file(name).c_str(), nullptr);
  WriteFileBytes(folders.file(L"custom\\en_langcust.zip"), "c");
  WriteFileBytes(folders.file(L"loc\\en_localization.zip"), "l");
  WriteFileBytes(folders.file(L"help\\de_help.zip"), "h");  // another language only
  WriteFileBytes(folders.file(L"set\\settings.zip"), "s");
  store->SetCustomizationDirectory(folders.file(L"custom"));
  store->SetLocalizationDirectory(folders.file(L"loc"));
  store->SetHelpDirectory(folders.file(L"help"));
  store->SetSettingsDirectory(folders.file(L"set"));
  // version3 stops before Windows Installer runs.
  {
    PageRun run(PageOptions().Local().Package(TestPackagePath(L"version3.msi")).Target(Target(L"t")));
    run.OnPage([](PageRun& r, HWND) { r.Answer(IDOK); });
    EXPECT_EQ(5, run.Result());
  }
  EXPECT_EQ(folders.file(L"custom\\en_langcust.zip"), store->GetLateboundCustomizationPath());
  EXPECT_EQ(folders.file(L"loc\\en_localization.zip"), store->GetLateboundLocalizationPath());
  EXPECT_EQ(L"", store->GetLateboundHelpPath());
  EXPECT_EQ(folders.file(L"set\\settings.zip"), store->GetLateboundSettingsPath());

  // Without a customization folder no package is looked up at all.
  store->SetCustomizationDirectory(L"");
  {
    PageRun run(PageOptions().Local().Package(TestPackagePath(L"version3.msi")).Target(Target(L"t")));
    run.OnPage([](PageRun& r, HWND) { r.Answer(IDOK); });
    EXPECT_EQ(5, run.Result());
    // No download band was ever set, only the installation's.
    for (const std::pair<int, int>& range : run.Ranges()) EXPECT_TRUE(range.first == 0 || range.first == 70);
    EXPECT_EQ(std::make_pair(70, 100), run.Ranges().back());
  }
  EXPECT_EQ(L"", store->GetLateboundCustomizationPath());
  EXPECT_EQ(L"", store->GetLateboundLocalizationPath());
  EXPECT_EQ(L"", store->GetLateboundSettingsPath());
  store->SetLocalizationDirectory(L"");
  store->SetHelpDirectory(L"");
  store->SetSettingsDirectory(L"");
}

TEST_F(InstallDialogTest, MissingMandatorySettingEndsWithInstallationFailed) {
  LarkProperties* store = LarkProperties::Instance();
  const std::wstring saved = store->GetSetting(L"LarkInstallerDownloadURL");
  store->StoreProperty(L"LarkInstallerDownloadURL", L"", LarkProperties::CustomizedSettings);
  PageRun run(PageOptions().Local().Package(TestPackagePath(L"good.msi")).Target(Target(L"t")));
  run.OnPage([](PageRun& r, HWND) { r.Answer(IDOK); });
  store->StoreProperty(L"LarkInstallerDownloadURL", saved, LarkProperties::CustomizedSettings);
  EXPECT_EQ(3, run.Result());
  ASSERT_EQ(1u, run.Messages().size());
  EXPECT_EQ(L"Installation failed.", run.Messages()[0]);
}

}  // namespace
