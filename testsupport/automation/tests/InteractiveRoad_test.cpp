// The interactive road end to end: the real larkstubinst.exe (a copy whose
// operator settings point at the loopback test server) is driven by
// lark_drive from outside, as a person would: welcome page, licence page,
// installation page, message pages, in both processes. Each case checks the
// exit code and what the installation left behind: the agent's keys and
// programs, the package-origin records, what the package received and which
// agent programs started.
//
// CTest runs the short cases and the long ones (stalled servers, every
// answer to every question) as two entries; the wall-time figures run only
// when LARK_E2E_FIGURES is set, as scripts/e2e-interactive.sh does.
// LARK_E2E_SHOTS names a folder that receives each case's screenshots.
// Serial: installs the agent, uses its keys, the shared logs and the
// instance mutexes.
#include "testsupport/automation/tests/InteractiveRoadFixture.h"

using namespace larktest;

namespace {

TEST_F(InteractiveRoad, InstallsWithBothProcessesAndTheHandshake) {
  ASSERT_TRUE(ServeAgentLayout(L"good"));
  for (const wchar_t* file : {L"langcust.zip", L"localization.zip", L"help.zip", L"settings.zip"})
    TestHttpServer::AddFault(file, "kind=delay&seconds=0.4");
  AgentStartLog starts(L"interactive");
  const Drive drive = Run("install", ToInstallPage("04-install-downloading") +
                                         "progress 05-install\n"
                                         "exit 0\n");
  EXPECT_EQ(0u, drive.exitCode) << drive.output;
  ASSERT_EQ(0u, drive.exitCode);

  // The welcome page in the first process, the licence and installation
  // pages in the elevated copy.
  const std::vector<unsigned long> pages = drive.PageProcesses();
  ASSERT_GE(pages.size(), 4u) << drive.output;
  EXPECT_NE(pages.front(), pages.back()) << drive.output;
  // The percentage passed through the download bands to the end.
  EXPECT_NE(std::string::npos, drive.output.find("percentages:")) << drive.output;
  EXPECT_NE(std::string::npos, drive.output.find(" 100")) << drive.output;

  // The agent as the package installed it, with the licence's hash.
  EXPECT_TRUE(AgentInstalled());
  std::string licence;
  ASSERT_TRUE(ReadFileBytes(AgentFixturePath(L"license.txt"), licence));
  EXPECT_EQ(Widen(Sha1Hex(licence)), RecordedAgentProperty(L"EULAHASH"));
  EXPECT_EQ(L"4711", RecordedAgentProperty(L"PARTNERID"));
  EXPECT_EQ(L"en", RecordedAgentProperty(L"LANGUAGE"));
  EXPECT_EQ(DownloadFolder() + L"\\help.zip", RecordedAgentProperty(L"LATEBOUND_HELP"));

  // Where each package came from, with one time stamp for all four.
  const std::wstring stamp = AgentValue(L"Stub_customizations_timestamp");
  EXPECT_EQ(19u, stamp.size()) << Narrow(stamp);
  const std::pair<const wchar_t*, const wchar_t*> packages[] = {{L"customizations", L"langcust.zip"},
                                                                {L"localizations", L"localization.zip"},
                                                                {L"help", L"help.zip"},
                                                                {L"settings", L"settings.zip"}};
  for (const auto& p : packages) {
    const std::wstring name = std::wstring(L"Stub_") + p.first;
    EXPECT_EQ(TestServerBase() + L"/f/" + p.second, AgentValue((name + L"_url").c_str()));
    EXPECT_EQ(DownloadFolder() + L"\\" + p.second, AgentValue((name + L"_file").c_str()));
    EXPECT_EQ(stamp, AgentValue((name + L"_timestamp").c_str()));
  }

  // The copy started the hosters and the runner, the first process the
  // agent's trigger with the empty page.
  ASSERT_TRUE(starts.WaitFor(3, 10000));
  std::map<std::wstring, std::wstring> started;
  for (const AgentStart& s : starts.Read()) started[s.program] = s.commandLine;
  EXPECT_NE(std::wstring::npos, started[L"khhoster32.exe"].find(L"-startuihosters"));
  EXPECT_NE(std::wstring::npos, started[L"kh_installer_runner.exe"].find(L"--operator-id 4711"));
  EXPECT_NE(std::wstring::npos, started[L"trigger.exe"].find(L"--open-agent  -n 60 --operator-id 4711"));
  const std::wstring log = StubLog();
  EXPECT_NE(std::wstring::npos, log.find(L"trigger.exe launched")) << Narrow(log);

  const double install = drive.StepTime("click 1021"), done = drive.DoneTime();
  printf("[ figures ] welcome Install to exit: %.1f s\n", done - install);
}

// The installer started from a folder where other files land unasked (a
// browser's downloads folder), holding libraries named like the system
// libraries it uses, with that folder as the current folder and Wine told
// to prefer native copies of those names, as Windows does outside its known
// set: the silent road and the wizard's road install as they do without
// them, and neither process, the first or the elevated copy, loads one.
TEST_F(InteractiveRoad, LibrariesPlantedBesideTheProgramAreNeverLoaded) {
  ASSERT_TRUE(PlantMarkers(m_scratch.path(), PlantedSystemLibraryNames()));
  PreferNativeLibraries native(L"larkstubinst.exe", PlantedSystemLibraryNames());
  ASSERT_TRUE(native.IsSet());

  ASSERT_TRUE(ServeAgentLayout(L"good"));
  const ProcessResult silent = RunProcess(L"\"" + m_exe + L"\" --silent", m_scratch.path(), 120000);
  ASSERT_TRUE(silent.started);
  EXPECT_EQ(0u, silent.exitCode);
  EXPECT_TRUE(AgentInstalled());
  EXPECT_EQ("", MarkerLoads(m_scratch.path())) << "the silent road loaded a planted library";
  RemoveInstalledAgent();
  RemoveTree(DownloadFolder());

  ASSERT_TRUE(ServeAgentLayout(L"good"));
  Drive drive;
  {
    CurrentFolder current(m_scratch.path());
    ASSERT_TRUE(current.changed());
    drive = Run("planted", ToInstallPage() + "progress 05-planted\nexit 0\n");
  }
  EXPECT_EQ(0u, drive.exitCode) << drive.output;
  EXPECT_TRUE(AgentInstalled());
  EXPECT_GE(drive.PageProcesses().size(), 4u) << drive.output;
  EXPECT_EQ("", MarkerLoads(m_scratch.path())) << "the wizard's road loaded a planted library";
}

TEST_F(InteractiveRoad, CancelDuringADownloadAnsweredYesInstallsNothing) {
  ASSERT_TRUE(ServeAgentLayout(L"good"));
  ASSERT_TRUE(TestHttpServer::AddFault(L"localization.zip", "kind=delay&seconds=30"));
  AgentStartLog starts(L"cancel");
  const Drive drive = Run("cancel-yes", ToInstallPage("04-install") +
                                            "click 1001\n"
                                            "answer yes 05-cancel-question\n"
                                            "message Are you sure you want to cancel the installation?\n"
                                            "gone install 20\n"
                                            "exit 1\n");
  TestHttpServer::ClearFaults(L"localization.zip");
  EXPECT_EQ(0u, drive.exitCode) << drive.output;
  EXPECT_FALSE(AgentInstalled());
  EXPECT_TRUE(starts.Read().empty());
}

// The stub configuration service takes the elevated copy's request and
// never answers: Cancel on the licence page still gets its question at
// once, and Yes ends the installer with 1 without waiting for the service.
TEST_F(InteractiveRoad, CancelWhileTheStubConfigurationHangsAsksAtOnceAndEndsWith1) {
  ASSERT_TRUE(ServeAgentLayout(L"good"));
  const std::string fault = std::string("/_ctl/fault?path=") + kStubConfigurationPath + "&kind=delay&seconds=30";
  ASSERT_EQ(200, TestHttpServer::Request("POST", fault, "", nullptr));
  const size_t asked = TestHttpServer::LogOfPath(kStubConfigurationPath).size();
  const Drive drive = Run("licence-stalled-configuration",
                          "page welcome\n"
                          "click 1021\n"
                          "page licence\n"
                          "sleep 500\n"
                          "click 1001\n"
                          "answer yes 02-cancel-question 2\n"
                          "message Are you sure you want to cancel the installation?\n"
                          "exit 1 5\n");
  TestHttpServer::Request("POST", std::string("/_ctl/clear?path=") + kStubConfigurationPath, "", nullptr);
  EXPECT_EQ(0u, drive.exitCode) << drive.output;
  EXPECT_LT(asked, TestHttpServer::LogOfPath(kStubConfigurationPath).size()) << "the configuration was never asked for";
  EXPECT_FALSE(AgentInstalled());
}

TEST_F(InteractiveRoad, WrongSignerShowsSignatureAndEndsWith8) {
  ASSERT_TRUE(ServeAgentLayout(L"othersigner"));
  const Drive drive = Run("othersigner", ToInstallPage() +
                                             "answer ok 05-signature\n"
                                             "message Installer integrity check failed.\n"
                                             "exit 8\n");
  EXPECT_EQ(0u, drive.exitCode) << drive.output;
  EXPECT_FALSE(AgentInstalled());
}

TEST_F(InteractiveRoad, RestartQuestionRestartsThroughTheStandInAndEndsWith2) {
  ASSERT_TRUE(ServeAgentLayout(L"reboot"));
  ReplaceWineboot();
  AgentStartLog starts(L"reboot");
  const Drive drive = Run("reboot", ToInstallPage() +
                                        "answer yes 05-restart-question\n"
                                        "exit 2\n");
  EXPECT_EQ(0u, drive.exitCode) << drive.output;
  EXPECT_NE(std::string::npos, drive.output.find("You need to restart your computer")) << drive.output;
  // One restart was asked for (no "--shutdown": a restart, not a power-off).
  const std::string restart = RestartLog();
  EXPECT_NE(std::string::npos, restart.find("wineboot.exe --end-session")) << restart;
  EXPECT_EQ(std::string::npos, restart.find("--shutdown")) << restart;
  // No post-installation program of the first process.
  for (const AgentStart& s : starts.Read()) EXPECT_NE(L"trigger.exe", s.program);
}

TEST_F(InteractiveRoad, LanguageChosenAfterBackIsTheInstallationLanguage) {
  // A local installation whose folders hold the packages and licence texts
  // of both languages: what the package receives names the language files.
  const std::wstring folder = m_scratch.file(L"local packages");
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  std::string bytes;
  for (const wchar_t* language : {L"en", L"de"}) {
    for (const wchar_t* name : {L"langcust.zip", L"localization.zip", L"help.zip"}) {
      ASSERT_TRUE(ReadFileBytes(AgentFixturePath(name), bytes));
      ASSERT_TRUE(WriteFileBytes(folder + L"\\" + language + L"_" + name, bytes));
    }
  }
  ASSERT_TRUE(ReadFileBytes(AgentFixturePath(L"settings.zip"), bytes));
  ASSERT_TRUE(WriteFileBytes(folder + L"\\settings.zip", bytes));
  const std::string english = "English test licence terms.\r\n", german = "Deutsche Test-Lizenzbedingungen.\r\n";
  ASSERT_TRUE(WriteFileBytes(folder + L"\\en_license.txt", english));
  ASSERT_TRUE(WriteFileBytes(folder + L"\\de_license.txt", german));
  // Nothing is fetched: the build offers the two languages and carries the
  // addresses that the settings check asks for.
  const std::wstring none = L"http://127.0.0.1:9/none";
  std::map<std::wstring, std::wstring> settings = {{L"PartnerID", kOperatorId},
                                                   {L"Languages", L"en,de"},
                                                   {L"DefaultLanguage", L"en"},
                                                   {L"LarkInstallerDownloadURL", none},
                                                   {L"BCXBasicSettingsUrl", none}};
  for (const wchar_t* language : {L"en", L"de"}) {
    for (const wchar_t* key :
         {L"EULTUrl", L"BCXBasicCustomizationUrl", L"BCXBasicLocalizationUrl", L"BCXBasicHelpUrl"})
      settings[std::wstring(language) + L":" + key] = none;
  }
  m_exe = m_scratch.file(L"larkstubinst-local.exe");
  ASSERT_TRUE(MakeOperatorBuild(BuiltExe(L"larkstubinst"), m_exe, settings));
  const std::wstring quoted = L"\"" + folder + L"\"";
  const Drive drive = Run("language-after-back",
                          "page welcome\n"
                          "select 1002 English\n"
                          "click 1021\n"
                          "page licence\n"
                          "wait-enabled 1000\n"
                          "click 1013\n"
                          "page welcome\n"
                          "select 1002 Deutsch\n"
                          "expect 1003 Willkommen bei der Installation von K-Harbor\n"
                          "click 1021\n"
                          "page licence\n"
                          "wait-enabled 1000\n"
                          "click 1000\n"
                          "page install\n"
                          "exit 0 60\n",
                          L"--installer \"" + AgentPackagePath(L"good") + L"\" -c " + quoted + L" --loc-directory " +
                              quoted + L" --help-directory " + quoted + L" --settings-directory " + quoted +
                              L" --eula-directory " + quoted);
  EXPECT_EQ(0u, drive.exitCode) << drive.output;
  ASSERT_TRUE(AgentInstalled()) << drive.output;
  EXPECT_EQ(Widen(Sha1Hex(german)), RecordedAgentProperty(L"EULAHASH"));
  EXPECT_EQ(L"de", RecordedAgentProperty(L"LANGUAGE"));
  EXPECT_EQ(Narrow(folder + L"\\de_langcust.zip"), Narrow(RecordedAgentProperty(L"LATEBOUND_CUSTOMIZATION")));
  EXPECT_EQ(Narrow(folder + L"\\de_localization.zip"), Narrow(RecordedAgentProperty(L"LATEBOUND_LOCALIZATION")));
  EXPECT_EQ(Narrow(folder + L"\\de_help.zip"), Narrow(RecordedAgentProperty(L"LATEBOUND_HELP")));
  EXPECT_EQ(Narrow(folder + L"\\settings.zip"), Narrow(RecordedAgentProperty(L"LATEBOUND_SETTINGS")));
}

// --- long cases (their own CTest entry) --------------------------------------

class InteractiveRoadLong : public InteractiveRoad {
 protected:
  // Replaces the address of one package in the served stub configuration.
  void ServeWithPackageAddress(const std::string& file, const std::string& address) {
    std::string xml = StubConfiguration(TestServerBase(), L"installer-good.msi");
    const std::string old = Narrow(TestServerBase()) + "/f/" + file;
    for (size_t at = xml.find(old); at != std::string::npos; at = xml.find(old, at + address.size()))
      xml.replace(at, old.size(), address);
    ASSERT_TRUE(TestHttpServer::PutFile(L"stubconfiguration-4711.xml", xml));
  }
};

TEST_F(InteractiveRoadLong, CancelDuringADownloadAnsweredNoCompletes) {
  ASSERT_TRUE(ServeAgentLayout(L"good"));
  ASSERT_TRUE(TestHttpServer::AddFault(L"localization.zip", "kind=delay&seconds=2"));
  const Drive drive = Run("cancel-no", ToInstallPage() +
                                           "click 1001\n"
                                           "answer no\n"
                                           "exit 0\n");
  EXPECT_EQ(0u, drive.exitCode) << drive.output;
  EXPECT_TRUE(AgentInstalled());
}

TEST_F(InteractiveRoadLong, CancelAtTheDecisionPointPausesUntilTheAnswer) {
  for (const char* answer : {"yes", "no"}) {
    RemoveInstalledAgent();
    ASSERT_TRUE(ServeAgentLayout(L"good"));
    ASSERT_TRUE(TestHttpServer::AddFault(L"settings.zip", "kind=delay&seconds=2"));
    const std::string name = std::string("decision-") + answer;
    const Drive drive = Run(name, ToInstallPage() +
                                      "click 1001\n"
                                      "wait-text 1004 Paused...\n"
                                      "sleep 300\n"
                                      "shot 05-paused\n"
                                      "answer " + answer + "\n" +
                                      (answer[0] == 'y' ? "exit 1\n" : "wait-text 1004 Installing K-Harbor...\nexit 0\n"));
    EXPECT_EQ(0u, drive.exitCode) << answer << drive.output;
    EXPECT_EQ(answer[0] == 'n', AgentInstalled()) << answer;
  }
}

TEST_F(InteractiveRoadLong, FailedDownloadsNameTheServer) {
  struct Case {
    const char* name;
    std::string file, address, fault, message;
    int seconds;  // how long the failure may take to show
  } cases[] = {
      {"error11", "help.zip", "http://127.0.0.1:9/f/help.zip", "",
       "Failed to connect to 127.0.0.1. Check your network connection and try again.", 60},
      // The server takes the request and never answers: the download
      // library's time-outs and retries decide how long this takes.
      {"error12", "help.zip", "", "kind=delay&seconds=900&count=0",
       "No answer to download request from 127.0.0.1. Please try again later.", 600},
      {"error13", "help.zip", "", "kind=reset&after=20&count=0",
       "Download from 127.0.0.1 failed. Please try again later.", 60},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(ServeAgentLayout(L"good"));
    if (!c.address.empty()) ServeWithPackageAddress(c.file, c.address);
    if (!c.fault.empty()) {
      ASSERT_TRUE(TestHttpServer::AddFault(Widen(c.file), c.fault));
    }
    const Drive drive = Run(c.name, ToInstallPage() +
                                        "answer ok 05-" + std::string(c.name) + " " + std::to_string(c.seconds) +
                                        "\n"
                                        "message " + c.message + "\n"
                                        "exit 7 30\n");
    TestHttpServer::ClearFaults(Widen(c.file));
    EXPECT_EQ(0u, drive.exitCode) << c.name << drive.output;
    EXPECT_FALSE(AgentInstalled()) << c.name;
  }
}

TEST_F(InteractiveRoadLong, NewerInterfaceVersionShowsStubVersionAndEndsWith9) {
  ASSERT_TRUE(ServeAgentLayout(L"version3"));
  const Drive drive = Run("version3", ToInstallPage() +
                                          "answer ok 05-stubversion\n"
                                          "message You are using an old installer version. Please go to the "
                                          "vendor\xE2\x80\x99s web site to download a new installer.\n"
                                          "exit 9\n");
  EXPECT_EQ(0u, drive.exitCode) << drive.output;
}

TEST_F(InteractiveRoadLong, BackPrivacyAndDeclineOnTheLicencePage) {
  ASSERT_TRUE(ServeAgentLayout(L"good"));
  const Drive drive = Run("licence-ways",
                          "page welcome\n"
                          "click 1021\n"
                          "page licence\n"
                          "wait-enabled 1000\n"
                          "click 1013\n"
                          "page welcome\n"
                          "shot 01-welcome-again\n"
                          "click 1021\n"
                          "page licence\n"
                          "wait-enabled 1000\n"
                          "link 1025\n"
                          "page privacy\n"
                          "shot 02-privacy\n"
                          "click 1013\n"
                          "page licence\n"
                          "wait-enabled 1001\n"
                          "click 1001\n"
                          "answer yes 03-decline-question\n"
                          "exit 1\n");
  EXPECT_EQ(0u, drive.exitCode) << drive.output;
  EXPECT_FALSE(AgentInstalled());
}

}  // namespace

namespace {

double Seconds(DWORD from, DWORD to) { return static_cast<double>(to - from) / 1000.0; }

// Wall times of the two roads on the same package, for the figures of
// scripts/e2e-interactive.sh: the silent run from start to exit, the
// interactive one from the welcome page's Install to exit.
class InteractiveRoadFigures : public InteractiveRoad {
 protected:
  void SetUp() override {
    if (GetEnv(L"LARK_E2E_FIGURES").empty()) GTEST_SKIP() << "set LARK_E2E_FIGURES to run";
    InteractiveRoad::SetUp();
  }
};

TEST_F(InteractiveRoadFigures, WallTimeAgainstTheSilentRoad) {
  ASSERT_TRUE(ServeAgentLayout(L"good"));
  const DWORD start = GetTickCount();
  const ProcessResult silent = RunProcess(L"\"" + m_exe + L"\" --silent", L"", 120000);
  const double silentSeconds = Seconds(start, GetTickCount());
  ASSERT_TRUE(silent.started);
  EXPECT_EQ(0u, silent.exitCode);
  RemoveInstalledAgent();
  RemoveTree(DownloadFolder());

  ASSERT_TRUE(ServeAgentLayout(L"good"));
  const Drive drive = Run("timing", ToInstallPage() + "exit 0\n");
  ASSERT_EQ(0u, drive.exitCode) << drive.output;
  const double interactive = drive.DoneTime() - drive.StepTime("click 1021");
  // Waits of lark_drive itself: 0.3 s after each page appears (licence,
  // installation) and its 20 ms polling.
  const double automation = 0.6;
  printf("[ figures ] silent road, start to exit: %.1f s\n", silentSeconds);
  printf("[ figures ] interactive road, welcome Install to exit: %.1f s\n", interactive);
  printf("[ figures ]   of which the handshake's fixed sleep: 1.0 s, lark_drive's settling: %.1f s\n", automation);
  EXPECT_GT(interactive, 1.0);
}

}  // namespace
