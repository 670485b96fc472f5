// The silent road end to end: the built larkstubinst (a copy whose operator
// settings point at the loopback test server) runs as a real process,
// starts its elevated copy from the secure folder, fetches the stub
// configuration and the packages from the server and installs real signed
// test packages. Each case checks the exit code, and where it matters the
// requests the server saw and the properties the package received.
// Serial: it installs packages, writes the agent's registry key and the
// shared log files, and takes the instance mutexes.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "installer/ExitCodes.h"
#include "installer/tests/StubCopy.h"
#include "platform/NamedObjects.h"
#include "platform/RegKey.h"
#include "testsupport/MutexHolder.h"
#include "testsupport/TestEnv.h"
#include "testsupport/httpserver/TestHttpServer.h"
#include "testsupport/packages/TestPackages.h"

using namespace larktest;

namespace {

const wchar_t kAgentKey[] = L"SOFTWARE\\K-Harbor\\Lark Client";
const wchar_t kOperatorId[] = L"4711";

std::wstring CommonAppData() {
  wchar_t path[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

void DeleteKeyTree(HKEY root, const wchar_t* subkey) {
  CRegKey key;
  key.Attach(root);
  key.DeleteTree(subkey);
  key.Detach();
}

std::wstring DownloadFolder() { return CommonAppData() + L"\\K-Harbor\\Lark\\Downloads"; }

// The installation folder that the program chooses ("InstallDirUnderProgramFiles"
// is "K-Harbor"). The test packages install their files elsewhere and
// expect it to exist, as an agent's own package would create it.
std::wstring TargetFolder() {
  wchar_t path[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, path);
  return std::wstring(path) + L"\\K-Harbor";
}

using Outcome = CapturedRun;

// Runs a program with its standard output in a file and waits for it.
Outcome RunStub(const std::wstring& exe, const std::wstring& arguments) {
  const Outcome outcome = RunCaptured(L"\"" + exe + L"\" " + arguments, 60000);
  EXPECT_TRUE(outcome.started && !outcome.timedOut) << Narrow(exe) << " did not start or end in time";
  return outcome;
}

void Uninstall(const std::wstring& package) { RunProcess(L"msiexec /x \"" + package + L"\" /qn", L"", 60000); }

// A value that an installed test package recorded ("|" + value), with
// present telling whether the property reached it at all.
std::wstring Recorded(const std::wstring& variant, const wchar_t* name, bool& present) {
  present = false;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, TestPackageRecordKey(variant).c_str(), 0, KEY_READ | KEY_WOW64_32KEY,
                    &key) != ERROR_SUCCESS)
    return L"";
  wchar_t value[2048] = {};
  DWORD size = sizeof(value) - sizeof(wchar_t);
  DWORD type = 0;
  const LONG rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || type != REG_SZ || value[0] != L'|') return L"";
  present = true;
  return value + 1;
}

// GET request targets of the server's whole log, oldest first, that
// contain the given text (the download library may ask with HEAD first).
std::vector<std::string> ServedTargets(const std::string& containing) {
  std::string body;
  TestHttpServer::Request("GET", "/_ctl/log", "", &body);
  std::vector<std::string> targets;
  std::istringstream lines(body);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string method, target;
    std::getline(fields, method, '\t');
    std::getline(fields, target, '\t');
    if (method == "GET" && target.find(containing) != std::string::npos) targets.push_back(target);
  }
  return targets;
}

class SilentInstall : public ::testing::Test {
 protected:
  SilentInstall() : scratch(L"silent install") {}

  void SetUp() override {
    if (TestHttpServer::Port() == 0) GTEST_SKIP() << "the test HTTP server is not running";
    RemoveTree(DownloadFolder());
    MakeTargetFolder();
    prefix = Narrow(UniqueName(L"e2e")) + "-";
    stubconfName = prefix + "stubconf.xml";
    exe = scratch.file(L"larkstubinst.exe");
    ASSERT_TRUE(stubrun::MakeStubCopy(BuiltExe(L"larkstubinst"), exe, OperatorLines()));
  }

  void TearDown() override {
    for (const std::wstring& package : installed) Uninstall(package);
    RemoveTree(DownloadFolder());
    if (createdTarget) RemoveTree(TargetFolder());
    // Downloads record the packages' origins under the agent's key; the
    // test packages install no agent, so unless an agent (with its version)
    // is there, the key holds only those.
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAgentKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
      const bool agent = RegQueryValueExW(key, L"Version", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
      RegCloseKey(key);
      if (!agent) DeleteKeyTree(HKEY_LOCAL_MACHINE, kAgentKey);
    }
  }

  void MakeTargetFolder() {
    if (GetFileAttributesW(TargetFolder().c_str()) == INVALID_FILE_ATTRIBUTES)
      createdTarget = CreateDirectoryW(TargetFolder().c_str(), nullptr) != FALSE;
  }

  std::wstring Url(const std::string& name) { return TestHttpServer::Url(Widen(prefix + name)); }

  std::wstring OperatorLines() {
    return L"PartnerID=" + std::wstring(kOperatorId) + L"\r\nLanguages=en\r\nDefaultLanguage=en\r\n" +
           L"StubConfigurationAddress=" + TestHttpServer::Url(Widen(stubconfName)) + L"?x=";
  }

  // Publishes the stub configuration, an installer package variant and the
  // four customization packages; `omit` leaves one package name off the
  // server, `extra` adds elements to the stub configuration.
  void Publish(const std::wstring& variant, const std::string& omit = "", const std::string& extra = "",
               bool withSettingsUrl = true) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<response>\n";
    xml += "<LarkInstallerDownloadURL>" + Narrow(Url("installer.msi")) + "</LarkInstallerDownloadURL>\n";
    if (withSettingsUrl) xml += "<BCXBasicSettingsUrl>" + Narrow(Url("settings.zip")) + "</BCXBasicSettingsUrl>\n";
    xml += "<stubCustomizations><stubCustomization><language>en</language>";
    xml += "<EULTUrl>" + Narrow(Url("eula.rtf")) + "</EULTUrl>";
    xml += "<BCXBasicCustomizationUrl>" + Narrow(Url("langcust.zip")) + "</BCXBasicCustomizationUrl>";
    xml += "<BCXBasicLocalizationUrl>" + Narrow(Url("localization.zip")) + "</BCXBasicLocalizationUrl>";
    xml += "<BCXBasicHelpUrl>" + Narrow(Url("help.zip")) + "</BCXBasicHelpUrl>";
    xml += "</stubCustomization></stubCustomizations>\n" + extra + "</response>\n";
    ASSERT_TRUE(TestHttpServer::PutFile(Widen(stubconfName), xml));
    if (omit != "installer.msi") {
      std::string package;
      ASSERT_TRUE(ReadFileBytes(TestPackagePath(variant + L".msi"), package));
      ASSERT_TRUE(TestHttpServer::PutFile(Widen(prefix + "installer.msi"), package));
      if (variant == L"good") installed.push_back(TestPackagePath(variant + L".msi"));
    }
    for (const char* name : {"langcust.zip", "localization.zip", "help.zip", "settings.zip"}) {
      if (omit == name) continue;
      ASSERT_TRUE(TestHttpServer::PutFile(Widen(prefix + name), TestBytes(3000, name[0])));
    }
  }

  // The package requests of this test, by file name, in order.
  std::vector<std::string> PackageRequests() {
    std::vector<std::string> names;
    for (const std::string& target : ServedTargets("/f/" + prefix)) {
      std::string name = target.substr(target.find(prefix) + prefix.size());
      name = name.substr(0, name.find('?'));
      if (name != "stubconf.xml") names.push_back(name);
    }
    return names;
  }

  ScratchDir scratch;
  std::string prefix;        // of the package names on the server
  std::string stubconfName;  // fixed for the copy, whose settings name it
  std::wstring exe;
  std::vector<std::wstring> installed;
  bool createdTarget = false;
};

TEST_F(SilentInstall, DownloadsInOrderAndInstallsWithTheDownloadedPackages) {
  Publish(L"good");
  const Outcome outcome = RunStub(exe, L"--silent");
  EXPECT_EQ(outcome.exitCode, 0u) << outcome.output;

  const std::vector<std::string> stubconf = ServedTargets("/f/" + stubconfName);
  ASSERT_EQ(stubconf.size(), 1u);
  EXPECT_EQ(stubconf[0].substr(stubconf[0].find('?')),
            "?x=/packaging/services/spi/stubconfiguration?operatorId=4711&version=55");
  EXPECT_EQ(PackageRequests(), (std::vector<std::string>{"installer.msi", "langcust.zip", "localization.zip",
                                                         "help.zip", "settings.zip"}));

  const std::wstring downloads = DownloadFolder();
  const struct {
    const wchar_t* property;
    std::wstring value;
  } expected[] = {
      {L"PartnerID", kOperatorId},
      {L"LATEBOUND_CUSTOMIZATION", downloads + L"\\langcust.zip"},
      {L"LATEBOUND_LOCALIZATION", downloads + L"\\localization.zip"},
      {L"LATEBOUND_HELP", downloads + L"\\help.zip"},
      {L"LATEBOUND_SETTINGS", downloads + L"\\settings.zip"},
      {L"LATEBOUND_TARGETDIR", CommonAppData() + L"\\K-Harbor\\latebound\\100\\4711\\"},
  };
  for (const auto& e : expected) {
    bool present = false;
    EXPECT_EQ(Narrow(Recorded(L"good", e.property, present)), Narrow(e.value)) << Narrow(e.property);
  }
  // A successful installation leaves no download folder behind.
  EXPECT_EQ(GetFileAttributesW(downloads.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(SilentInstall, ExitCodesOfPackagesAndSettings) {
  struct Case {
    const wchar_t* variant;
    const char* omit;
    const char* extra;
    bool withSettingsUrl;
    DWORD code;
    std::vector<std::string> requested;  // empty: not checked
  } cases[] = {
      {L"reboot", "", "", true, ExitCode::RebootRequired, {}},
      {L"fail", "", "", true, ExitCode::InstallationFailed, {}},
      {L"othersigner", "", "", true, ExitCode::BadSignature, {}},
      {L"version3", "", "", true, ExitCode::Incompatible, {}},
      {L"good", "", "<diskSpace>4000000000</diskSpace>\n", true, ExitCode::RequirementsNotMet, {}},
      {L"good", "", "", false, ExitCode::Failure, {}},
      {L"good", "installer.msi", "", true, ExitCode::DownloadFailed, {"installer.msi"}},
      {L"good", "langcust.zip", "", true, ExitCode::DownloadFailed, {"installer.msi", "langcust.zip"}},
      {L"good", "localization.zip", "", true, ExitCode::DownloadFailed,
       {"installer.msi", "langcust.zip", "localization.zip"}},
      {L"good", "help.zip", "", true, ExitCode::DownloadFailed,
       {"installer.msi", "langcust.zip", "localization.zip", "help.zip"}},
      {L"good", "settings.zip", "", true, ExitCode::DownloadFailed,
       {"installer.msi", "langcust.zip", "localization.zip", "help.zip", "settings.zip"}},
  };
  for (const Case& c : cases) {
    prefix = Narrow(UniqueName(L"e2e")) + "-";
    Publish(c.variant, c.omit, c.extra, c.withSettingsUrl);
    const std::string label = Narrow(c.variant) + " omit=" + c.omit + " " + c.extra;
    const Outcome outcome = RunStub(exe, L"--silent");
    EXPECT_EQ(outcome.exitCode, c.code) << label << outcome.output;
    if (!c.requested.empty()) {
      EXPECT_EQ(PackageRequests(), c.requested) << label;
    }
    if (c.code == static_cast<DWORD>(ExitCode::RebootRequired) ||
        c.code == static_cast<DWORD>(ExitCode::InstallationFailed)) {
      // The download folder stays after a failure so a later run can resume.
      EXPECT_NE(GetFileAttributesW(DownloadFolder().c_str()), INVALID_FILE_ATTRIBUTES) << label;
    }
    if (c.code == static_cast<DWORD>(ExitCode::RebootRequired)) Uninstall(TestPackagePath(L"reboot.msi"));
    RemoveTree(DownloadFolder());
  }
}

TEST_F(SilentInstall, ProvisioningGroupReachesTheStubConfigurationRequest) {
  Publish(L"good", "installer.msi");
  const Outcome outcome = RunStub(exe, L"--silent --provisioning-group east7");
  EXPECT_EQ(outcome.exitCode, static_cast<DWORD>(ExitCode::DownloadFailed));
  const std::vector<std::string> stubconf = ServedTargets("/f/" + stubconfName);
  ASSERT_EQ(stubconf.size(), 1u);
  EXPECT_EQ(stubconf[0].substr(stubconf[0].find('?')),
            "?x=/packaging/services/spi/stubconfiguration?operatorId=4711&version=55&provisioningGroup=east7");
}

TEST_F(SilentInstall, SecondInstanceEndsWith11ButTheSettingsDumpStillRuns) {
  MutexHolder other(kInstanceMutexName);
  EXPECT_EQ(RunStub(exe, L"--silent").exitCode, static_cast<DWORD>(ExitCode::AnotherInstance));
  const Outcome dump = RunStub(exe, L"--show-settings");
  EXPECT_EQ(dump.exitCode, 0u);
  EXPECT_NE(dump.output.find("\nSettings dump:\n\n"), std::string::npos) << dump.output;
  EXPECT_NE(dump.output.find("partnerid=4711\n"), std::string::npos) << dump.output;
  EXPECT_TRUE(ServedTargets("/f/" + prefix).empty());
}

TEST_F(SilentInstall, WithoutAdministratorRightsBothProcessesEndWith4) {
  const std::wstring nonAdmin = scratch.file(L"nonadmin.exe");
  ASSERT_TRUE(stubrun::MakeStubCopy(BuiltExe(L"larkstubinst_nonadmin"), nonAdmin, OperatorLines()));
  EXPECT_EQ(RunStub(nonAdmin, L"--silent").exitCode, static_cast<DWORD>(ExitCode::NoAdminRights));
  EXPECT_EQ(RunStub(nonAdmin, L"--silent --elevated").exitCode, static_cast<DWORD>(ExitCode::NoAdminRights));
  EXPECT_TRUE(ServedTargets("/f/" + prefix).empty());
}

TEST_F(SilentInstall, OperatingSystemBelowTheMinimumEndsWith3) {
  // Only this program's name sees the old version.
  const std::wstring appKey = L"Software\\Wine\\AppDefaults\\larkstubinst.exe";
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, appKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  const wchar_t version[] = L"win2k";
  RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version), sizeof(version));
  RegCloseKey(key);
  Publish(L"good");
  const Outcome outcome = RunStub(exe, L"--silent");
  DeleteKeyTree(HKEY_CURRENT_USER, appKey.c_str());
  EXPECT_EQ(outcome.exitCode, static_cast<DWORD>(ExitCode::RequirementsNotMet)) << outcome.output;
  EXPECT_TRUE(PackageRequests().empty());
}

TEST_F(SilentInstall, ConflictingOperatorEndsWith7BeforeAnyDownload) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAgentKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
    const bool agent = RegQueryValueExW(key, L"Version", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(key);
    if (agent) GTEST_SKIP() << "an agent is installed in this prefix";
  }
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kAgentKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  for (const wchar_t* value : {L"Version", L"PartnerID"}) {
    const std::wstring data = value == std::wstring(L"Version") ? L"21.3.4" : L"999";
    RegSetValueExW(key, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  }
  RegCloseKey(key);
  Publish(L"good");
  const Outcome outcome = RunStub(exe, L"--silent");
  DeleteKeyTree(HKEY_LOCAL_MACHINE, kAgentKey);
  EXPECT_EQ(outcome.exitCode, static_cast<DWORD>(ExitCode::Failure));
  EXPECT_TRUE(ServedTargets("/f/" + prefix).empty());
}

// Local installations need no server; the copy's settings carry every
// mandatory value so that nothing is fetched.
class LocalSilentInstall : public SilentInstall {
 protected:
  void SetUp() override {
    RemoveTree(DownloadFolder());
    MakeTargetFolder();
    prefix = "local-";
    stubconfName = "local-stubconf.xml";
    exe = scratch.file(L"larkstubinst.exe");
    const std::wstring lines =
        L"PartnerID=4711\r\nLanguages=en\r\nDefaultLanguage=en\r\n"
        L"LarkInstallerDownloadURL=http://127.0.0.1:9/none\r\nBCXBasicSettingsUrl=http://127.0.0.1:9/none\r\n"
        L"en:EULTUrl=http://127.0.0.1:9/none\r\nen:BCXBasicLocalizationUrl=http://127.0.0.1:9/none\r\n"
        L"en:BCXBasicCustomizationUrl=http://127.0.0.1:9/none\r\nen:BCXBasicHelpUrl=http://127.0.0.1:9/none";
    ASSERT_TRUE(stubrun::MakeStubCopy(BuiltExe(L"larkstubinst"), exe, lines));
    installed.push_back(TestPackagePath(L"good.msi"));
  }
};

TEST_F(LocalSilentInstall, InstallerAloneLeavesAllFourPackagePathsEmpty) {
  const Outcome outcome = RunStub(exe, L"--silent --installer \"" + TestPackagePath(L"good.msi") + L"\"");
  EXPECT_EQ(outcome.exitCode, 0u) << outcome.output;
  // The package records every property it knows, empty when not given.
  bool present = false;
  EXPECT_EQ(Narrow(Recorded(L"good", L"PartnerID", present)), "4711");
  for (const wchar_t* name :
       {L"LATEBOUND_CUSTOMIZATION", L"LATEBOUND_LOCALIZATION", L"LATEBOUND_HELP", L"LATEBOUND_SETTINGS"}) {
    EXPECT_EQ(Narrow(Recorded(L"good", name, present)), "") << Narrow(name);
    EXPECT_TRUE(present) << Narrow(name);
  }
}

TEST_F(LocalSilentInstall, PackageFoldersGiveTheLanguagesFilesAndAMissingOneStaysEmpty) {
  const std::wstring dir = scratch.file(L"packages dir");
  CreateDirectoryW(dir.c_str(), nullptr);
  for (const wchar_t* name : {L"en_langcust.zip", L"en_help.zip", L"settings.zip", L"de_localization.zip"})
    ASSERT_TRUE(WriteFileBytes(dir + L"\\" + name, std::string("zip")));
  const Outcome outcome =
      RunStub(exe, L"--silent --installer \"" + TestPackagePath(L"good.msi") + L"\" -c \"" + dir +
                   L"\" --loc-directory \"" + dir + L"\" --help-directory \"" + dir + L"\" --settings-directory \"" +
                   dir + L"\"");
  EXPECT_EQ(outcome.exitCode, 0u) << outcome.output;
  bool present = false;
  EXPECT_EQ(Narrow(Recorded(L"good", L"LATEBOUND_CUSTOMIZATION", present)), Narrow(dir + L"\\en_langcust.zip"));
  EXPECT_EQ(Narrow(Recorded(L"good", L"LATEBOUND_HELP", present)), Narrow(dir + L"\\en_help.zip"));
  EXPECT_EQ(Narrow(Recorded(L"good", L"LATEBOUND_SETTINGS", present)), Narrow(dir + L"\\settings.zip"));
  EXPECT_EQ(Narrow(Recorded(L"good", L"LATEBOUND_LOCALIZATION", present)), "");
  EXPECT_TRUE(present);
}

}  // namespace

namespace {

// Points the system's hosts folder at a folder of the test while it lives.
class HostsFolder {
 public:
  explicit HostsFolder(const std::wstring& folder) {
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, kParameters, 0, KEY_ALL_ACCESS, &m_key);
    m_saved = m_key && RegQueryValueExW(m_key, L"DataBasePath", nullptr, &m_type, m_old, &m_size) == ERROR_SUCCESS;
    if (m_key)
      RegSetValueExW(m_key, L"DataBasePath", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                     static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
  }
  ~HostsFolder() {
    if (!m_key) return;
    if (m_saved) {
      RegSetValueExW(m_key, L"DataBasePath", 0, m_type, m_old, m_size);
    } else {
      RegDeleteValueW(m_key, L"DataBasePath");
    }
    RegCloseKey(m_key);
  }
  bool ok() const { return m_key != nullptr; }

 private:
  static constexpr const wchar_t* kParameters = L"System\\CurrentControlSet\\Services\\Tcpip\\Parameters";
  HKEY m_key = nullptr;
  bool m_saved = false;
  DWORD m_type = 0;
  BYTE m_old[2048] = {};
  DWORD m_size = sizeof(m_old);
};

TEST_F(SilentInstall, HostsFileThatCannotBeRepairedEndsWith5BeforeAnyDownload) {
  // Every mandatory setting is built in, so the skipped stub configuration
  // does not end the run first.
  const std::wstring lines = OperatorLines() + L"\r\nLarkInstallerDownloadURL=" + Url("installer.msi") +
                             L"\r\nBCXBasicSettingsUrl=" + Url("settings.zip") + L"\r\nen:EULTUrl=" +
                             Url("eula.rtf") + L"\r\nen:BCXBasicLocalizationUrl=" + Url("localization.zip") +
                             L"\r\nen:BCXBasicCustomizationUrl=" + Url("langcust.zip") +
                             L"\r\nen:BCXBasicHelpUrl=" + Url("help.zip");
  ASSERT_TRUE(stubrun::MakeStubCopy(BuiltExe(L"larkstubinst"), exe, lines));
  Publish(L"good");

  const std::wstring folder = scratch.file(L"etc");
  CreateDirectoryW(folder.c_str(), nullptr);
  ASSERT_TRUE(WriteFileBytes(folder + L"\\hosts", std::string("127.0.0.1 localhost\r\n10.1.1.1 update.k-harbor.com\r\n")));
  HostsFolder hosts(folder);
  ASSERT_TRUE(hosts.ok());
  // Open for reading while nobody may write: the repair cannot rewrite it.
  HANDLE held = CreateFileW((folder + L"\\hosts").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const Outcome outcome = RunStub(exe, L"--silent");
  CloseHandle(held);

  EXPECT_EQ(outcome.exitCode, static_cast<DWORD>(ExitCode::DownloadFailed)) << outcome.output;
  EXPECT_TRUE(ServedTargets("/f/" + prefix).empty());
  std::string content;
  ASSERT_TRUE(ReadFileBytes(folder + L"\\hosts", content));
  EXPECT_NE(content.find("update.k-harbor.com"), std::string::npos);
}

}  // namespace
