// Post-installation programs and package-origin records against the real
// registry of the test prefix (the installed agent's key, so the test runs
// serially) and the agent's stand-in programs.
#include <gtest/gtest.h>
#include <shlwapi.h>

#include <algorithm>
#include <cwchar>
#include <map>
#include <regex>

#include "installer/PostInstall.h"
#include "installer/StubProgram.h"
#include "platform/tests/PlatformLogCapture.h"
#include "settings/LarkProperties.h"
#include "testsupport/TestEnv.h"
#include "testsupport/agent/AgentFixtures.h"

using namespace larktest;

namespace {

const wchar_t kKey[] = L"SOFTWARE\\K-Harbor\\Lark Client";

class PostInstallTest : public ::testing::Test {
 protected:
  void SetUp() override { SHDeleteKeyW(HKEY_LOCAL_MACHINE, kKey); }
  void TearDown() override { SHDeleteKeyW(HKEY_LOCAL_MACHINE, kKey); }
  void SetInstallPath(const std::wstring& path) {
    ASSERT_EQ(SHSetValueW(HKEY_LOCAL_MACHINE, kKey, L"InstallPath", REG_SZ, path.c_str(),
                          static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t))),
              static_cast<DWORD>(ERROR_SUCCESS));
  }
  // Value names and REG_SZ data of the agent key.
  std::map<std::wstring, std::wstring> AgentValues() {
    std::map<std::wstring, std::wstring> values;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return values;
    for (DWORD i = 0;; ++i) {
      wchar_t name[256];
      DWORD nameLength = 256, type = 0;
      BYTE data[2048];
      DWORD size = sizeof(data);
      if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
      EXPECT_EQ(type, static_cast<DWORD>(REG_SZ)) << Narrow(name);
      // The terminating zero belongs to the data.
      EXPECT_TRUE(size >= 2 && size % 2 == 0 && data[size - 1] == 0 && data[size - 2] == 0) << Narrow(name);
      values[name] = std::wstring(reinterpret_cast<const wchar_t*>(data), size / 2 - 1);
    }
    RegCloseKey(key);
    return values;
  }
};

TEST_F(PostInstallTest, PackageOriginsAreTwelveValuesWithOneTimeStamp) {
  ASSERT_TRUE(RecordPackageOrigins(L"http://h/c.zip", L"C:\\d\\langcust.zip", L"http://h/l.zip",
                                   L"C:\\d\\localization.zip", L"http://h/h.zip", L"C:\\d\\help.zip", L"",
                                   L"C:\\d\\settings.zip"));
  std::map<std::wstring, std::wstring> values = AgentValues();
  ASSERT_EQ(values.size(), 12u);
  const std::wstring packages[] = {L"customizations", L"localizations", L"help", L"settings"};
  const std::wstring urls[] = {L"http://h/c.zip", L"http://h/l.zip", L"http://h/h.zip", L""};
  const std::wstring files[] = {L"C:\\d\\langcust.zip", L"C:\\d\\localization.zip", L"C:\\d\\help.zip",
                                L"C:\\d\\settings.zip"};
  std::wstring stamp = values[L"Stub_customizations_timestamp"];
  EXPECT_TRUE(std::regex_match(Narrow(stamp), std::regex("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d")))
      << Narrow(stamp);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(values[L"Stub_" + packages[i] + L"_url"], urls[i]);
    EXPECT_EQ(values[L"Stub_" + packages[i] + L"_file"], files[i]);
    EXPECT_EQ(values[L"Stub_" + packages[i] + L"_timestamp"], stamp);
  }
}

// Makes the registry write of one value name fail, as a full or locked
// hive would; every other write goes through.
const wchar_t* g_failingValueName = nullptr;

LONG WINAPI SetValueFailingOne(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size) {
  if (g_failingValueName && name && wcscmp(name, g_failingValueName) == 0) return ERROR_ACCESS_DENIED;
  return RegSetValueExW(key, name, reserved, type, data, size);
}

class FailingValueWrite {
 public:
  explicit FailingValueWrite(const wchar_t* name) {
    g_failingValueName = name;
    g_setRegistryValue = &SetValueFailingOne;
  }
  ~FailingValueWrite() {
    g_setRegistryValue = &RegSetValueExW;
    g_failingValueName = nullptr;
  }
};

TEST_F(PostInstallTest, AFailedAddressEndsItsPackageButTheLaterPackagesAreStillWritten) {
  // Values of an earlier run that the failed package keeps.
  ASSERT_TRUE(StoreValue(L"old file", L"Lark Client", L"Stub_help_file", HKEY_LOCAL_MACHINE));
  ASSERT_TRUE(StoreValue(L"old stamp", L"Lark Client", L"Stub_help_timestamp", HKEY_LOCAL_MACHINE));
  PlatformLogCapture log;
  {
    FailingValueWrite failing(L"Stub_help_url");
    EXPECT_TRUE(RecordPackageOrigins(L"http://h/c.zip", L"C:\\d\\c.zip", L"http://h/l.zip", L"C:\\d\\l.zip",
                                     L"http://h/h.zip", L"C:\\d\\h.zip", L"http://h/s.zip", L"C:\\d\\s.zip"));
  }
  std::map<std::wstring, std::wstring> values = AgentValues();
  EXPECT_EQ(values.count(L"Stub_help_url"), 0u);
  EXPECT_EQ(values[L"Stub_help_file"], L"old file");
  EXPECT_EQ(values[L"Stub_help_timestamp"], L"old stamp");
  const std::wstring stamp = values[L"Stub_customizations_timestamp"];
  EXPECT_FALSE(stamp.empty());
  const struct {
    const wchar_t* package;
    const wchar_t* url;
    const wchar_t* file;
  } kWritten[] = {{L"customizations", L"http://h/c.zip", L"C:\\d\\c.zip"},
                  {L"localizations", L"http://h/l.zip", L"C:\\d\\l.zip"},
                  {L"settings", L"http://h/s.zip", L"C:\\d\\s.zip"}};
  for (const auto& p : kWritten) {
    const std::wstring prefix = std::wstring(L"Stub_") + p.package;
    EXPECT_EQ(values[prefix + L"_url"], p.url) << Narrow(p.package);
    EXPECT_EQ(values[prefix + L"_file"], p.file) << Narrow(p.package);
    EXPECT_EQ(values[prefix + L"_timestamp"], stamp) << Narrow(p.package);
  }
  EXPECT_EQ(values.size(), 11u);  // nine new values and the two old ones
  bool failureLogged = false;
  for (const std::wstring& line : log.Texts())
    failureLogged = failureLogged || line.find(L"StoreValue: Failed Stub_help_url:[5] ") != std::wstring::npos;
  EXPECT_TRUE(failureLogged);
}

TEST_F(PostInstallTest, StoreValueLogsEachWriteAndTimeStampIsLocalTime) {
  PlatformLogCapture log;
  EXPECT_TRUE(StorePackageOrigin(L"help", L"u", L"f", L"2012-09-12T10:04:32"));
  std::vector<std::wstring> lines = log.Texts();
  for (const wchar_t* name : {L"Stub_help_url", L"Stub_help_file", L"Stub_help_timestamp"})
    EXPECT_NE(std::find(lines.begin(), lines.end(), std::wstring(L" I|StoreValue: OK ") + name), lines.end())
        << Narrow(name);
  EXPECT_EQ(AgentValues()[L"Stub_help_timestamp"], L"2012-09-12T10:04:32");

  SYSTEMTIME before, after;
  GetLocalTime(&before);
  std::wstring stamp = GetLocalTimeStamp();
  GetLocalTime(&after);
  wchar_t a[32], b[32];
  wsprintfW(a, L"%04d-%02d-%02dT%02d:%02d:%02d", before.wYear, before.wMonth, before.wDay, before.wHour,
            before.wMinute, before.wSecond);
  wsprintfW(b, L"%04d-%02d-%02dT%02d:%02d:%02d", after.wYear, after.wMonth, after.wDay, after.wHour,
            after.wMinute, after.wSecond);
  EXPECT_TRUE(stamp >= a && stamp <= b) << Narrow(stamp);
}

TEST_F(PostInstallTest, InstallPathAndItsLogLines) {
  {
    PlatformLogCapture log;
    EXPECT_EQ(GetInstallPath(), L"");
    std::vector<std::wstring> lines = log.Texts();
    EXPECT_NE(std::find(lines.begin(), lines.end(), L" D|GetInstallPath: Lark installation path not found."),
              lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), L" D|GetInstallPath: Lark installation path is empty."),
              lines.end());
  }
  SetInstallPath(L"C:\\Program Files\\K-Harbor\\");
  PlatformLogCapture log;
  EXPECT_EQ(GetInstallPath(), L"C:\\Program Files\\K-Harbor\\");
  std::vector<std::wstring> lines = log.Texts();
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      L" D|GetInstallPath: Lark installation path found 'C:\\Program Files\\K-Harbor\\'."),
            lines.end());
}

TEST_F(PostInstallTest, InstalledOperatorsAreTheValueNames) {
  std::vector<std::wstring> operators = {L"untouched"};
  EXPECT_FALSE(GetInstalledOperators(operators));
  EXPECT_EQ(operators, std::vector<std::wstring>{L"untouched"});

  std::wstring sub = std::wstring(kKey) + L"\\Operators";
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  EXPECT_TRUE(GetInstalledOperators(operators));
  EXPECT_TRUE(operators.empty());
  RegSetValueExW(key, L"4711", 0, REG_SZ, reinterpret_cast<const BYTE*>(L""), 2);
  RegSetValueExW(key, L"666", 0, REG_DWORD, reinterpret_cast<const BYTE*>("\1\0\0\0"), 4);
  RegCloseKey(key);
  EXPECT_TRUE(GetInstalledOperators(operators));
  std::sort(operators.begin(), operators.end());
  EXPECT_EQ(operators, (std::vector<std::wstring>{L"4711", L"666"}));
}

TEST_F(PostInstallTest, PostRunnerStartsWithTheOperatorIdWhateverTheFinalBackslash) {
  ScratchDir dir(L"postrunner");
  ASSERT_TRUE(CopyAgentStandIns(dir.path()));
  LarkProperties::Instance()->StoreProperty(L"PartnerID", L"4711", LarkProperties::CustomizedSettings);
  for (const std::wstring& path : {dir.path(), dir.path() + L"\\"}) {
    AgentStartLog starts(L"postrunner");
    SetInstallPath(path);
    PlatformLogCapture log;
    LoadInstallerPostRunner();
    ASSERT_TRUE(starts.WaitFor(1, 10000));
    std::vector<AgentStart> started = starts.Read();
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].program, L"kh_installer_runner.exe");
    EXPECT_EQ(started[0].commandLine, L"\"" + dir.file(L"kh_installer_runner.exe") + L"\" --operator-id 4711");
    std::vector<std::wstring> lines = log.Texts();
    std::wstring expected = L" D|LoadInstallerPostRunner: Starting kh_installer_runner '" +
                            dir.file(L"kh_installer_runner.exe") + L"' with parameters '--operator-id 4711'.";
    EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end());
  }
}

TEST_F(PostInstallTest, UIHostersStartFromTheInstallFolder) {
  ScratchDir dir(L"hosters");
  ASSERT_TRUE(CopyAgentStandIns(dir.path()));
  SetInstallPath(dir.path());
  AgentStartLog starts(L"hosters");
  EXPECT_TRUE(RunUIHosters());
  ASSERT_TRUE(starts.WaitFor(1, 10000));
  std::vector<AgentStart> started = starts.Read();
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(started[0].program, L"khhoster32.exe");
  EXPECT_EQ(started[0].commandLine, L"\"" + dir.file(L"khhoster32.exe") + L"\" -startuihosters");
}

TEST_F(PostInstallTest, AnInstallFolderTooLongForTheHosterPathIsAFailedStartNotAnException) {
  // A real folder whose path leaves no room for a backslash and the
  // hoster's file name within MAX_PATH (260 characters, terminator included).
  ScratchDir dir(L"long");
  std::wstring folder = dir.path() + L"\\";
  ASSERT_LT(folder.size(), 200u);
  folder += std::wstring(246 - folder.size(), L'd');
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr)) << GetLastError();
  SetInstallPath(folder);
  PlatformLogCapture log;
  bool started = true;
  EXPECT_NO_THROW(started = RunUIHosters());
  EXPECT_FALSE(started);
  std::vector<std::wstring> lines = log.Texts();
  EXPECT_NE(std::find(lines.begin(), lines.end(), L"*E|RunUIHosters: Failed to start UI hosters"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      L"*E|RunUIHosters: No program path in the installation folder: _wmakepath_s failed"),
            lines.end());
  // The runner's path is composed without that limit; nothing throws there.
  EXPECT_NO_THROW(LoadInstallerPostRunner());
  RemoveDirectoryW(folder.c_str());
}

bool HasLineWith(const std::vector<std::wstring>& lines, const std::wstring& part) {
  for (const std::wstring& line : lines)
    if (line.find(part) != std::wstring::npos) return true;
  return false;
}

TEST_F(PostInstallTest, NoAgentKeyStartsNoRunnerAndNoHosterFromTheCurrentFolder) {
  // The elevated copy's current folder is wherever the user started it;
  // stand-ins planted there show any start by a bare name.
  ScratchDir dir(L"planted");
  ASSERT_TRUE(CopyAgentStandIns(dir.path()));
  CurrentFolder current(dir.path());
  ASSERT_TRUE(current.changed());
  AgentStartLog starts(L"norunner");
  LoadInstallerPostRunner();
  PlatformLogCapture log;
  EXPECT_FALSE(RunUIHosters());
  std::vector<std::wstring> lines = log.Texts();
  EXPECT_NE(std::find(lines.begin(), lines.end(), L"*E|RunUIHosters: Failed to start UI hosters"), lines.end());
  EXPECT_FALSE(HasLineWith(lines, L"Launching:"));
  Sleep(500);
  EXPECT_TRUE(starts.Read().empty()) << "a planted program was started";
}

TEST_F(PostInstallTest, LaunchProcessRefusesAProgramWithoutItsFullPath) {
  ScratchDir dir(L"relative");
  ASSERT_TRUE(CopyAgentStandIns(dir.path()));
  ASSERT_TRUE(CopyAgentStandIns(dir.file(L"sub")));
  CurrentFolder current(dir.path());
  ASSERT_TRUE(current.changed());
  // Each of these would find a stand-in through the current folder.
  const std::wstring withoutDrive = dir.path().substr(2) + L"\\khhoster32.exe";
  const std::wstring driveRelative = dir.path().substr(0, 2) + L"khhoster32.exe";
  const std::wstring names[] = {L"khhoster32.exe", L"sub\\khhoster32.exe", L".\\khhoster32.exe", withoutDrive,
                                driveRelative};
  AgentStartLog starts(L"relative");
  for (const std::wstring& name : names) {
    PlatformLogCapture log;
    EXPECT_EQ(StubProgram::LaunchProcess(name, L"-startuihosters"), 0u) << Narrow(name);
    EXPECT_TRUE(HasLineWith(log.Texts(), L"StubProgram::LaunchProcess: Not launching '" + name + L"'"))
        << Narrow(name);
  }
  Sleep(500);
  EXPECT_TRUE(starts.Read().empty()) << "a program was started by a relative name";
}

}  // namespace
