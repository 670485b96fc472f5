// The installation page's downloads from the loopback test server: the
// progress bands, package-origin records, the three download failure texts,
// and the cancel question during a download and at the decision point.
#include "wizard/InstallDialog.h"

#include <gtest/gtest.h>

#include "settings/LarkProperties.h"
#include "testsupport/TestEnv.h"
#include "testsupport/httpserver/TestHttpServer.h"
#include "testsupport/packages/TestPackages.h"
#include "wizard/tests/InstallPageTestSupport.h"
#include "wizard/tests/WizardTestSupport.h"

using namespace larktest;
using namespace wizardtest;

namespace {

typedef std::vector<std::pair<int, int>> Ranges;

// GET requests the server saw for a file.
size_t Gets(const std::wstring& name) {
  size_t count = 0;
  for (const HttpLogEntry& entry : TestHttpServer::Log(name)) count += entry.method == "GET";
  return count;
}

// The ranges the worker set, without the widget's initial one.
Ranges WorkerRanges(const PageRun& run) {
  Ranges ranges = run.Ranges();
  if (!ranges.empty() && ranges.front() == std::make_pair(0, 100)) ranges.erase(ranges.begin());
  return ranges;
}

class InstallDialogDownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(0, TestHttpServer::Port()) << "the test server is not running";
    PrepareInstallPage(m_scratch.path());
    m_prefix = UniqueName(L"page") + L"-";
    std::string package;
    ASSERT_TRUE(ReadFileBytes(TestPackagePath(L"version3.msi"), package));
    for (const wchar_t* name : {L"langcust.zip", L"localization.zip", L"help.zip", L"settings.zip"})
      ASSERT_TRUE(TestHttpServer::PutFile(m_prefix + name, TestBytes(200000, 7)));
    // An installer package that stops at its version check: nothing is
    // installed, and the page shows StubVersion.
    ASSERT_TRUE(TestHttpServer::PutFile(m_prefix + L"installer.msi", package));
    ServePackagesAs(TestHttpServer::Url(m_prefix));
  }
  std::wstring Name(const wchar_t* file) const { return m_prefix + file; }
  // Holds the first request for file for `seconds` before any answer.
  void Delay(const wchar_t* file, int seconds) {
    ASSERT_TRUE(TestHttpServer::AddFault(Name(file), "kind=delay&seconds=" + std::to_string(seconds)));
  }

  ScratchDir m_scratch{L"install-download"};
  std::wstring m_prefix;
};

const wchar_t kStubVersion[] =
    L"You are using an old installer version. Please go to the vendor\u2019s web site to download a new installer.";

TEST_F(InstallDialogDownloadTest, DownloadsInBandsCustomizationPackagesFirst) {
  for (const wchar_t* file : {L"langcust.zip", L"localization.zip", L"help.zip", L"settings.zip", L"installer.msi"})
    ASSERT_TRUE(TestHttpServer::AddFault(Name(file), "kind=delay&seconds=0.3"));
  PageRun run{PageOptions()};
  run.OnPage([](PageRun& r, HWND) { r.Answer(IDOK); });
  EXPECT_EQ(5, run.Result());
  EXPECT_EQ(std::vector<std::wstring>{kStubVersion}, run.Messages());
  EXPECT_EQ((Ranges{{2, 4}, {4, 6}, {6, 8}, {8, 10}, {10, 70}, {70, 100}}), WorkerRanges(run));
  EXPECT_EQ(
      (std::vector<std::wstring>{L"Downloading files, please wait...", L"Installing K-Harbor..."}),
      run.Headers());
  LarkProperties* store = LarkProperties::Instance();
  EXPECT_EQ(m_scratch.file(L"installer.msi"), store->GetInstallerPath());
  EXPECT_EQ(m_scratch.file(L"langcust.zip"), store->GetLateboundCustomizationPath());
  EXPECT_EQ(m_scratch.file(L"localization.zip"), store->GetLateboundLocalizationPath());
  EXPECT_EQ(m_scratch.file(L"help.zip"), store->GetLateboundHelpPath());
  EXPECT_EQ(m_scratch.file(L"settings.zip"), store->GetLateboundSettingsPath());
  std::string bytes;
  ASSERT_TRUE(ReadFileBytes(m_scratch.file(L"help.zip"), bytes));
  EXPECT_EQ(TestBytes(200000, 7), bytes);
}

// Operator-only: the four packages, no installer package, and the range
// jumps from 10-70 to 70-100. Without an engine the new operator cannot be
// added, so the page reports a failed installation.
TEST_F(InstallDialogDownloadTest, OperatorOnlyDownloadsNoInstallerPackage) {
  PageRun run(PageOptions().OperatorOnly());
  run.OnPage([](PageRun& r, HWND) { r.Answer(IDOK); });
  EXPECT_EQ(3, run.Result());
  EXPECT_EQ(std::vector<std::wstring>{L"Installation failed."}, run.Messages());
  EXPECT_EQ((Ranges{{2, 4}, {4, 6}, {6, 8}, {8, 10}, {10, 70}, {70, 100}}), WorkerRanges(run));
  EXPECT_TRUE(TestHttpServer::Log(Name(L"installer.msi")).empty());
  EXPECT_EQ(1u, Gets(Name(L"settings.zip")));
}

// Each failure names the server as far as the transfer got.
TEST_F(InstallDialogDownloadTest, FailedDownloadsSayHowFarTheyGot) {
  struct Case {
    const char* name;
    std::function<void()> arrange;
    std::wstring message;
  } cases[] = {
      {"no server",
       [&] {
         LarkProperties::Instance()->StoreProperty(L"en:BCXBasicHelpUrl", L"http://127.0.0.1:9/help.zip",
                                                   LarkProperties::CustomizedSettings);
       },
       L"Failed to connect to 127.0.0.1. Check your network connection and try again."},
      {"cut mid-transfer",
       [&] { TestHttpServer::AddFault(Name(L"help.zip"), "kind=reset&after=50000&count=0"); },
       L"Download from 127.0.0.1 failed. Please try again later."},
      // An error status carries no file data: connected, nothing started.
      {"not found",
       [&] { TestHttpServer::AddFault(Name(L"help.zip"), "kind=status&status=404&count=0"); },
       L"No answer to download request from 127.0.0.1. Please try again later."},
  };
  for (const Case& c : cases) {
    ServePackagesAs(TestHttpServer::Url(m_prefix));
    TestHttpServer::ClearFaults(Name(L"help.zip"));
    c.arrange();
    PageRun run{PageOptions()};
    run.OnPage([](PageRun& r, HWND) { r.Answer(IDOK); });
    TestHttpServer::ClearFaults(Name(L"help.zip"));
    EXPECT_EQ(3, run.Result()) << c.name;
    EXPECT_EQ(std::vector<std::wstring>{c.message}, run.Messages()) << c.name;
    // Nothing after the failed package was fetched.
    EXPECT_TRUE(TestHttpServer::Log(Name(L"installer.msi")).empty()) << c.name;
  }
}

TEST_F(InstallDialogDownloadTest, CancelDuringADownload) {
  // Yes: the download ends, no message, page result 2, nothing further.
  {
    Delay(L"localization.zip", 20);
    PageRun run{PageOptions()};
    run.OnPage([](PageRun& r, HWND page) {
      Sleep(300);
      Click(page, InstallDialog::kCancelId);
      r.Answer(IDYES);
    });
    EXPECT_EQ(2, run.Result());
    EXPECT_EQ(std::vector<std::wstring>{L"Are you sure you want to cancel the installation?"}, run.Messages());
    EXPECT_EQ(0, run.Unanswered());
    EXPECT_TRUE(TestHttpServer::Log(Name(L"help.zip")).empty());
    TestHttpServer::ClearFaults(Name(L"localization.zip"));
  }
  // No: the downloads go on and the page never pauses.
  {
    Delay(L"localization.zip", 2);
    PageRun run{PageOptions()};
    run.OnPage([](PageRun& r, HWND page) {
      Sleep(300);
      Click(page, InstallDialog::kCancelId);
      r.Answer(IDNO);
      r.Answer(IDOK);
    });
    EXPECT_EQ(5, run.Result());
    EXPECT_EQ((std::vector<std::wstring>{L"Are you sure you want to cancel the installation?", kStubVersion}),
              run.Messages());
    for (const std::wstring& header : run.Headers()) EXPECT_NE(L"Paused...", header);
  }
}

// The question is still open when the worker reaches the decision point:
// it pauses there until the answer.
TEST_F(InstallDialogDownloadTest, CancelQuestionOpenAtTheDecisionPoint) {
  for (int answer : {IDYES, IDNO}) {
    // Every request for the last package waits, so that the question is
    // open before the worker gets there.
    ASSERT_TRUE(TestHttpServer::AddFault(Name(L"settings.zip"), "kind=delay&seconds=2&count=0&method=*"));
    PageRun run{PageOptions()};
    bool paused = false;
    int stateWhilePaused = -1;
    run.OnPage([&](PageRun& r, HWND page) {
      Sleep(200);
      Click(page, InstallDialog::kCancelId);
      r.WaitForMessage();
      paused = r.WaitForHeader(L"Paused...");
      Sleep(300);
      stateWhilePaused = r.page->GetState();
      r.Answer(answer);
      if (answer == IDNO) r.Answer(IDOK);
    });
    TestHttpServer::ClearFaults(Name(L"settings.zip"));
    EXPECT_TRUE(paused) << answer;
    EXPECT_EQ(InstallDialog::kDeciding, stateWhilePaused) << answer;
    if (answer == IDYES) {
      EXPECT_EQ(2, run.Result());
      EXPECT_EQ(1u, run.Messages().size());
      EXPECT_NE(std::make_pair(70, 100), run.Ranges().back());
    } else {
      EXPECT_EQ(5, run.Result());
      EXPECT_EQ(kStubVersion, run.Messages().back());
      EXPECT_EQ(std::make_pair(70, 100), run.Ranges().back());
      EXPECT_EQ(L"Installing K-Harbor...", run.Headers().back());
    }
  }
}

// A download that fails while the question is open is held until the
// answer: Yes turns it into a quiet cancel, No shows the failure.
TEST_F(InstallDialogDownloadTest, FailureWhileAskingWaitsForTheAnswer) {
  for (int answer : {IDYES, IDNO}) {
    ServePackagesAs(TestHttpServer::Url(m_prefix));
    LarkProperties::Instance()->StoreProperty(L"en:BCXBasicCustomizationUrl",
                                              TestHttpServer::Url(Name(L"langcust.zip")) + L"?status=404&delay=1",
                                              LarkProperties::CustomizedSettings);
    PageRun run{PageOptions()};
    run.OnPage([&](PageRun& r, HWND page) {
      Click(page, InstallDialog::kCancelId);
      r.WaitForMessage();
      Sleep(2500);  // the download has failed meanwhile
      r.Answer(answer);
      if (answer == IDNO) r.Answer(IDOK);
    });
    if (answer == IDYES) {
      EXPECT_EQ(2, run.Result());
      EXPECT_EQ(1u, run.Messages().size());
    } else {
      EXPECT_EQ(3, run.Result());
      ASSERT_EQ(2u, run.Messages().size());
      EXPECT_EQ(L"No answer to download request from 127.0.0.1. Please try again later.", run.Messages()[1]);
    }
  }
}

}  // namespace
