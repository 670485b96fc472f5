// The Windows Installer run: progress parsing and arithmetic on message
// tables, the property list and the settings file, the result codes on
// every kind of package (real signed packages from testsupport/packages,
// real installations in the test prefix), and the statuses that Wine cannot
// produce through a stand-in for the installation step.
#include <gtest/gtest.h>
#include <windows.h>
#include <msi.h>

#include <ctime>
#include <string>
#include <vector>

#include "installer/LarkInstaller.h"
#include "logging/Log.h"
#include "logging/tests/LogTestSupport.h"
#include "settings/LarkProperties.h"
#include "testsupport/TestEnv.h"
#include "testsupport/packages/TestPackages.h"

using namespace larktest;

namespace {

const UINT kActionStart = INSTALLMESSAGE_ACTIONSTART;
const UINT kProgress = INSTALLMESSAGE_PROGRESS;

// Behaves like the wizard's percentage widget and records every call.
class RecordingSink : public ProgressSink {
 public:
  struct Call {
    char kind;  // 'R' SetRange, 'S' SetSubProgress, 'P' SetPos, 'T' StepIt
    int a, b;
  };

  RecordingSink(int minimum = 0, int maximum = 100) : m_min(minimum), m_max(maximum) {}
  void SetRange(int minimum, int maximum) override {
    calls.push_back({'R', minimum, maximum});
    m_min = minimum;
    m_max = maximum;
    Show(minimum);
  }
  void GetRange(int& minimum, int& maximum) override {
    minimum = m_min;
    maximum = m_max;
  }
  void SetSubProgress(int percent) override {
    calls.push_back({'S', percent, 0});
    Show(static_cast<int>(static_cast<unsigned>(m_min) +
                          static_cast<unsigned>(m_max - m_min) * static_cast<unsigned>(percent) / 100u));
  }
  int GetPos() override { return m_pos; }
  void SetPos(int value) override {
    calls.push_back({'P', value, 0});
    Show(value);
  }
  void StepIt() override {
    calls.push_back({'T', 0, 0});
    if (static_cast<unsigned>(m_pos) < 100u) Show(m_pos + 1);
  }

  std::vector<Call> calls;
  std::vector<int> positions;
  int m_min, m_max;
  int m_pos = -1;

 private:
  void Show(int value) {
    m_pos = value;
    positions.push_back(value);
  }
};

// Gives the tests the sink without running an installation.
class TestableInstaller : public LarkInstaller {
 public:
  TestableInstaller(const std::wstring& target, bool reinstall, int osCode = 30)
      : LarkInstaller(L"en", target, L"", L"", reinstall, osCode) {}
  using LarkInstaller::SetProgressSink;
};

// Stands in for Windows Installer with a given status; it builds the
// command line as the real step does, so the settings file exists.
class StatusInstaller : public LarkInstaller {
 public:
  StatusInstaller(const std::wstring& target, UINT status, bool filesInUse = false)
      : LarkInstaller(L"en", target, L"", L"", false, 30), m_status(status), m_filesInUse(filesInUse) {}
  bool CheckSignature(const std::wstring&) override { return true; }
  bool CheckVersion(const std::wstring&) override { return true; }
  UINT InstallFromMSI(const std::wstring&) override {
    std::wstring commandLine;
    BuildCommandLine(commandLine);
    settingsFileDuringInstall = GetSettingsFilePath();
    settingsFileExisted = GetFileAttributesW(settingsFileDuringInstall.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (m_filesInUse) MsiCallback(INSTALLMESSAGE_FILESINUSE, L"app.exe");
    return m_status;
  }
  std::wstring settingsFileDuringInstall;
  bool settingsFileExisted = false;

 private:
  UINT m_status;
  bool m_filesInUse;
};

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring ReadRecorded(const std::wstring& variant, const wchar_t* name, bool& present) {
  present = false;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, TestPackageRecordKey(variant).c_str(), 0,
                    KEY_READ | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS) {
    return L"";
  }
  wchar_t value[2048] = {0};
  DWORD size = sizeof(value) - sizeof(wchar_t);
  DWORD type = 0;
  LONG rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || type != REG_SZ || value[0] != L'|') return L"";
  present = true;
  return value + 1;
}

bool RecordKeyExists(const std::wstring& variant) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, TestPackageRecordKey(variant).c_str(), 0,
                    KEY_READ | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

void Uninstall(const std::wstring& package) {
  RunProcess(L"msiexec /x \"" + package + L"\" /qn", L"", 60000);
}

std::string Utf16Bytes(const std::wstring& text) {
  return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

// Every test starts from the same settings store.
class LarkInstallerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LarkProperties* p = LarkProperties::Instance();
    p->SetLanguage(L"en");
    p->StoreProperty(L"en:AgentName", L"Lark Client", LarkProperties::CustomizedSettings);
    p->StoreProperty(L"StartMenuFolder", L"Lark Menu", LarkProperties::CustomizedSettings);
    p->StoreProperty(L"en:Shortcutname", L"Lark Shortcut", LarkProperties::CustomizedSettings);
    p->StoreProperty(L"DAAS2OperatorSuffix", L"op7", LarkProperties::CustomizedSettings);
    p->StoreProperty(L"PartnerID", L"4711", LarkProperties::CustomizedSettings);
    p->StoreProperty(L"KhDiagShortcutName", L"Lark Diag", LarkProperties::CustomizedSettings);
    p->SetLateboundSettingsPath(L"C:\\pkg\\settings.bcx");
    p->SetLateboundLocalizationPath(L"C:\\pkg\\loc.bcx");
    p->SetLateboundCustomizationPath(L"C:\\pkg\\custom.bcx");
    p->SetLateboundHelpPath(L"C:\\pkg\\help.bcx");
    p->SetUserSid(L"S-1-5-21-11-22-33-1001");
    p->SetLogDirectory(m_logs.path());
  }

  ScratchDir m_logs{L"installer-logs"};
};

// The property list that BuildCommandLine must produce before the settings
// file property, for the store of LarkInstallerTest.
std::wstring ExpectedProperties(const std::wstring& target, bool reinstall) {
  std::wstring s = L" ARPNOREPAIR=\"1\" ARPNOMODIFY=\"1\" REBOOT=\"REALLYSUPPRESS\" TARGETDIR=\"" + target + L"\"";
  if (reinstall) s += L" REINSTALL=\"ALL\" REINSTALLMODE=\"vamus\" MSIENFORCEUPGRADECOMPONENTRULES=\"1\"";
  s += L" LARKPRODNAME=\"Lark Client\" STARTMENUFOLDER=\"Lark Menu\" SHORTCUTNAME=\"Lark Shortcut\""
       L" daas2_operator_suffix=\"op7\" PartnerID=\"4711\" Language=\"en\" KHDIAGSHORTCUTNAME=\"Lark Diag\""
       L" LATEBOUND_SETTINGS=\"C:\\pkg\\settings.bcx\" LATEBOUND_LOCALIZATION=\"C:\\pkg\\loc.bcx\""
       L" LATEBOUND_CUSTOMIZATION=\"C:\\pkg\\custom.bcx\" LATEBOUND_HELP=\"C:\\pkg\\help.bcx\""
       L" LATEBOUND_TARGETDIR=\"C:\\latebound\" EULAHASH=\"0123456789abcdef0123456789abcdef01234567\"";
  return s;
}

void DeleteSettingsFile(const std::wstring& path) {
  if (path.empty()) return;
  DeleteFileW(path.c_str());
  RemoveDirectoryW(path.substr(0, path.find_last_of(L'\\')).c_str());
}

}  // namespace

// --- progress messages -----------------------------------------------------

TEST(MsiProgressParsing, TableOfMessageTexts) {
  struct Case {
    const wchar_t* text;
    bool ok;
    int f1, f2, f3, f4;
  };
  const Case cases[] = {
      {L"1: 0 2: 74430 3: 0 4: 0 ", true, 0, 74430, 0, 0},
      {L"1: 2 2: 24000 3: 0 4: 0 ", true, 2, 24000, 0, 0},  // stops after field 2
      {L"1: 3 2: 512 3: 7", true, 3, 512, 0, 0},
      {L"1: 1 2: 30 3: 1 4: 9", true, 1, 30, 1, 0},         // stops after field 3
      {L"1:0 2:-5 3:1 4:-2", true, 0, -5, 1, -2},
      {L"1: 0", true, 0, 0, 0, 0},
      {L"2: 7", true, 0, 7, 0, 0},
      {L"1: 0 2: 12x", true, 0, 12 * 10 + ('x' - '0'), 0, 0},  // every non-blank counts as a digit
      {L"", false, 0, 0, 0, 0},
      {L"1: a", false, 0, 0, 0, 0},
      {L"1: -1", false, 0, 0, 0, 0},
      {L"5: 3", false, 0, 0, 0, 0},
      {L"Action 8:35:23: InstallFiles.", false, 0, 0, 0, 0},
      {L"1: 0 9: 4", false, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    MsiProgressFields fields;
    EXPECT_EQ(ParseMsiProgressFields(c.text, fields), c.ok) << Narrow(c.text);
    if (!c.ok) continue;
    EXPECT_EQ(fields.field[0], c.f1) << Narrow(c.text);
    EXPECT_EQ(fields.field[1], c.f2) << Narrow(c.text);
    EXPECT_EQ(fields.field[2], c.f3) << Narrow(c.text);
    EXPECT_EQ(fields.field[3], c.f4) << Narrow(c.text);
  }
  MsiProgressFields fields;
  EXPECT_FALSE(ParseMsiProgressFields(nullptr, fields));
  // Overlong numbers wrap instead of crashing.
  EXPECT_TRUE(ParseMsiProgressFields(L"1: 0 2: 999999999999999999999 3: 0 4: 0", fields));
}

TEST(MsiProgressParsing, IntStopsOnTheBlank) {
  const wchar_t* text = L"-42 rest";
  const wchar_t* position = text;
  EXPECT_EQ(ParseMsiProgressInt(position), -42);
  EXPECT_EQ(position, text + 3);
  const wchar_t* end = L"";
  EXPECT_EQ(ParseMsiProgressInt(end), 0);
}

TEST(MsiProgress, ArithmeticOnMessageSequences) {
  struct Step {
    UINT type;
    const wchar_t* text;
  };
  struct Case {
    const char* name;
    std::vector<Step> steps;
    std::vector<int> percents;  // SetSubProgress calls expected, in order
  };
  const Case cases[] = {
      {"reports inside a ranged action",
       {{kActionStart, L"Action 1:00:00: InstallValidate. Validating install"},
        {kProgress, L"1: 0 2: 200 3: 0 4: 0 "},
        {kProgress, L"1: 2 2: 50 3: 0 4: 0 "},
        {kProgress, L"1: 2 2: 150 3: 0 4: 0 "}},
       {25, 100}},
      {"more done than total leaves the sink alone",
       {{kActionStart, L"InstallExecute"},
        {kProgress, L"1: 0 2: 100 3: 0 4: 0 "},
        {kProgress, L"1: 2 2: 90 3: 0 4: 0 "},
        {kProgress, L"1: 2 2: 20 3: 0 4: 0 "}},
       {90}},
      {"a reset starts counting again",
       {{kActionStart, L"InstallExecute"},
        {kProgress, L"1: 0 2: 10 3: 0 4: 0 "},
        {kProgress, L"1: 2 2: 10 3: 0 4: 0 "},
        {kProgress, L"1: 0 2: 40 3: 0 4: 0 "},
        {kProgress, L"1: 2 2: 10 3: 0 4: 0 "}},
       {100, 25}},
      {"total of 0",
       {{kActionStart, L"InstallExecute"},
        {kProgress, L"1: 0 2: 0 3: 0 4: 0 "},
        {kProgress, L"1: 2 2: 5 3: 0 4: 0 "}},
       {}},
      {"no ranged action yet",
       {{kProgress, L"1: 0 2: 100 3: 0 4: 0 "}, {kProgress, L"1: 2 2: 50 3: 0 4: 0 "}},
       {}},
      {"after InstallFinalize",
       {{kActionStart, L"InstallExecute"},
        {kActionStart, L"InstallFinalize"},
        {kProgress, L"1: 0 2: 100 3: 0 4: 0 "},
        {kProgress, L"1: 2 2: 50 3: 0 4: 0 "}},
       {}},
      {"malformed texts and other field-1 values",
       {{kActionStart, L"InstallExecute"},
        {kProgress, L"1: 0 2: 100 3: 0 4: 0 "},
        {kProgress, L"garbage"},
        {kProgress, L""},
        {kProgress, L"1: 1 2: 50 3: 1"},
        {kProgress, L"1: 3 2: 50"},
        {kProgress, L"1: 2 2: 10 3: 0 4: 0 "}},
       {10}},
      {"large tick counts use a 64-bit product",
       {{kActionStart, L"InstallExecute"},
        {kProgress, L"1: 0 2: 2000000000 3: 0 4: 0 "},
        {kProgress, L"1: 2 2: 1000000000 3: 0 4: 0 "}},
       {50}},
  };
  for (const Case& c : cases) {
    TestableInstaller installer(L"C:\\target", false);
    RecordingSink sink;
    installer.SetProgressSink(&sink);
    for (const Step& step : c.steps) EXPECT_EQ(installer.MsiCallback(step.type, step.text), 0) << c.name;
    std::vector<int> percents;
    for (const RecordingSink::Call& call : sink.calls) {
      if (call.kind == 'S') percents.push_back(call.a);
    }
    EXPECT_EQ(percents, c.percents) << c.name;
    for (int pos : sink.positions) {
      EXPECT_GE(pos, 0) << c.name;
      EXPECT_LE(pos, 100) << c.name;
    }
  }
}

TEST(MsiProgress, ActionsSplitTheSinksRange) {
  struct Case {
    int minimum, maximum;
    int validateMax, executeMin, executeMax, finalizePos;
  };
  const Case cases[] = {{0, 100, 30, 30, 90, 99}, {10, 70, 28, 28, 64, 69}, {0, 5, 0, 0, 0, 4}};
  for (const Case& c : cases) {
    TestableInstaller installer(L"C:\\target", false);
    RecordingSink sink(c.minimum, c.maximum);
    installer.SetProgressSink(&sink);
    installer.MsiCallback(kActionStart, L"Action 10:01:02: InstallValidate. Validating install");
    installer.MsiCallback(kActionStart, L"Action 10:01:02: InstallExecute.");
    installer.MsiCallback(kActionStart, L"Action 10:01:03: InstallFiles. Copying new files");
    installer.MsiCallback(kActionStart, L"Action 10:01:04: InstallFinalize.");
    ASSERT_EQ(sink.calls.size(), 3u);
    EXPECT_EQ(sink.calls[0].kind, 'R');
    EXPECT_EQ(sink.calls[0].a, c.minimum);
    EXPECT_EQ(sink.calls[0].b, c.validateMax);
    EXPECT_EQ(sink.calls[1].kind, 'R');
    EXPECT_EQ(sink.calls[1].a, c.executeMin);
    EXPECT_EQ(sink.calls[1].b, c.executeMax);
    EXPECT_EQ(sink.calls[2].kind, 'P');
    EXPECT_EQ(sink.calls[2].a, c.finalizePos);
  }
}

TEST(MsiProgress, WindowsXpStepsPerActionAndNeverReportsPercentages) {
  TestableInstaller installer(L"C:\\target", false, 2);
  RecordingSink sink;
  installer.SetProgressSink(&sink);
  sink.SetPos(97);
  sink.calls.clear();
  installer.MsiCallback(kActionStart, L"InstallValidate");
  installer.MsiCallback(kProgress, L"1: 0 2: 100 3: 0 4: 0 ");
  installer.MsiCallback(kProgress, L"1: 2 2: 50 3: 0 4: 0 ");
  installer.MsiCallback(kActionStart, L"InstallFiles");
  installer.MsiCallback(kActionStart, L"WriteRegistryValues");  // at 99 already: no step
  EXPECT_EQ(sink.GetPos(), 99);
  installer.MsiCallback(kActionStart, L"Action: RollbackCleanup");
  ASSERT_EQ(sink.calls.size(), 3u);
  EXPECT_EQ(sink.calls[0].kind, 'T');
  EXPECT_EQ(sink.calls[1].kind, 'T');
  EXPECT_EQ(sink.calls[2].kind, 'P');
  EXPECT_EQ(sink.calls[2].a, 99);
}

TEST(MsiProgress, MessageKindsWithAndWithoutSink) {
  for (bool withSink : {false, true}) {
    TestableInstaller installer(L"C:\\target", false);
    RecordingSink sink;
    if (withSink) installer.SetProgressSink(&sink);
    EXPECT_EQ(installer.MsiCallback(INSTALLMESSAGE_OUTOFDISKSPACE, L"disk full"), IDABORT);
    EXPECT_EQ(installer.MsiCallback(INSTALLMESSAGE_OUTOFDISKSPACE | 0x00123456u, nullptr), IDABORT);
    EXPECT_EQ(installer.MsiCallback(kActionStart, L"InstallExecute"), 0);
    EXPECT_EQ(installer.MsiCallback(kActionStart, nullptr), 0);
    EXPECT_EQ(installer.MsiCallback(kProgress, L"1: 0 2: 10 3: 0 4: 0 "), 0);
    EXPECT_EQ(installer.MsiCallback(kProgress, L"1: 2 2: 5 3: 0 4: 0 "), 0);
    EXPECT_EQ(installer.MsiCallback(kProgress, nullptr), 0);
    EXPECT_EQ(installer.MsiCallback(INSTALLMESSAGE_ERROR, L"error"), 0);
    EXPECT_EQ(installer.MsiCallback(INSTALLMESSAGE_INFO, L"info"), 0);
    EXPECT_FALSE(installer.IsRebootRequired());
    EXPECT_EQ(installer.MsiCallback(INSTALLMESSAGE_FILESINUSE, L"app.exe"), 0);
    EXPECT_TRUE(installer.IsRebootRequired());
    EXPECT_EQ(sink.calls.size(), withSink ? 2u : 0u);  // SetRange and SetSubProgress(50)
  }
  // The registered handler forwards to its installer, and tolerates none.
  TestableInstaller installer(L"C:\\target", false);
  EXPECT_EQ(MsiExternalUIHandler(&installer, INSTALLMESSAGE_OUTOFDISKSPACE, L""), IDABORT);
  EXPECT_EQ(MsiExternalUIHandler(nullptr, INSTALLMESSAGE_OUTOFDISKSPACE, L""), 0);
}

// --- property list and settings file --------------------------------------

TEST(MsiProperties, AppendSkipsEmptyValuesAndDoesNotEscape) {
  std::wstring line;
  AppendMsiProperty(L"", line, L"EMPTY");
  EXPECT_EQ(line, L"");
  AppendMsiProperty(L"a \"b\" c", line, L"NAME");
  AppendMsiProperty(L"x", line, L"N2");
  EXPECT_EQ(line, L" NAME=\"a \"b\" c\" N2=\"x\"");
}

TEST_F(LarkInstallerTest, CommandLineInOrderForFreshInstallAndReinstall) {
  for (bool reinstall : {false, true}) {
    LarkInstaller installer(L"en", L"C:\\Program Files\\Lark", L"C:\\latebound",
                            L"0123456789abcdef0123456789abcdef01234567", reinstall);
    std::wstring line;
    ASSERT_TRUE(installer.BuildCommandLine(line));
    std::wstring file = installer.GetSettingsFilePath();
    ASSERT_FALSE(file.empty());
    EXPECT_TRUE(Exists(file));
    EXPECT_EQ(line, ExpectedProperties(L"C:\\Program Files\\Lark", reinstall) +
                        L" LARK_STUB_SETTINGS_FILE=\"" + file + L"\"");
    EXPECT_EQ(file.substr(file.size() - 23), L"\\lark_stub.bcx_settings");
    DeleteSettingsFile(file);
  }
}

TEST_F(LarkInstallerTest, CommandLineLeavesOutEmptyValues) {
  LarkProperties* p = LarkProperties::Instance();
  p->SetLanguage(L"xx");  // no per-language settings for xx
  p->SetLateboundHelpPath(L"");
  p->StoreProperty(L"PartnerID", L"", LarkProperties::CustomizedSettings);
  LarkInstaller installer(L"xx", L"C:\\T", L"", L"", false);
  std::wstring line;
  ASSERT_TRUE(installer.BuildCommandLine(line));
  std::wstring file = installer.GetSettingsFilePath();
  EXPECT_EQ(line, L" ARPNOREPAIR=\"1\" ARPNOMODIFY=\"1\" REBOOT=\"REALLYSUPPRESS\" TARGETDIR=\"C:\\T\""
                  L" STARTMENUFOLDER=\"Lark Menu\" daas2_operator_suffix=\"op7\" Language=\"xx\""
                  L" KHDIAGSHORTCUTNAME=\"Lark Diag\" LATEBOUND_SETTINGS=\"C:\\pkg\\settings.bcx\""
                  L" LATEBOUND_LOCALIZATION=\"C:\\pkg\\loc.bcx\" LATEBOUND_CUSTOMIZATION=\"C:\\pkg\\custom.bcx\""
                  L" LARK_STUB_SETTINGS_FILE=\"" + file + L"\"");
  DeleteSettingsFile(file);
}

TEST_F(LarkInstallerTest, SettingsFileBytesWithAndWithoutSid) {
  struct Case {
    const wchar_t* sid;
    const wchar_t* sidLine;
  };
  const Case cases[] = {
      {L"S-1-5-21-1-2-3-1001",
       L"<Add type=\"string\" name=\"ZUP_http_browserproxy_currentuser\" value=\"S-1-5-21-1-2-3-1001\" admin=\"1\" />\n"},
      {L"", nullptr},
      // Markup in a handed-over SID cannot break out of the attribute.
      {L"S-1\" admin=\"0",
       L"<Add type=\"string\" name=\"ZUP_http_browserproxy_currentuser\" value=\"S-1&quot; admin=&quot;0\" admin=\"1\" />\n"},
  };
  for (const Case& c : cases) {
    LarkInstaller installer(L"en", L"C:\\T", L"", L"", false);
    std::wstring path = L"stale";
    __int64 before = _time64(nullptr);
    ASSERT_TRUE(installer.CreateLarkBCXSettingsFile(c.sid, path));
    __int64 after = _time64(nullptr);
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(path, bytes));
    DeleteSettingsFile(path);

    std::string expectedStart = std::string("\xFF\xFE", 2) + Utf16Bytes(L"<Settings>\n");
    if (c.sidLine) expectedStart += Utf16Bytes(c.sidLine);
    ASSERT_GE(bytes.size(), expectedStart.size());
    EXPECT_EQ(bytes.substr(0, expectedStart.size()), expectedStart);
    ASSERT_EQ((bytes.size() - 2) % 2, 0u);
    std::wstring rest(reinterpret_cast<const wchar_t*>(bytes.data() + expectedStart.size()),
                      (bytes.size() - expectedStart.size()) / 2);
    const std::wstring timePrefix = L"<Add type=\"int\" name=\"RK_BCXBasicInstallationTime\" value=\"";
    const std::wstring timeSuffix = L"\" admin=\"1\" />\n</Settings>\n";
    ASSERT_EQ(rest.compare(0, timePrefix.size(), timePrefix), 0) << Narrow(rest);
    ASSERT_GT(rest.size(), timePrefix.size() + timeSuffix.size());
    ASSERT_EQ(rest.compare(rest.size() - timeSuffix.size(), timeSuffix.size(), timeSuffix), 0) << Narrow(rest);
    std::wstring number = rest.substr(timePrefix.size(), rest.size() - timePrefix.size() - timeSuffix.size());
    __int64 seconds = _wtoi64(number.c_str());
    EXPECT_EQ(std::to_wstring(seconds), number);
    EXPECT_GE(seconds, before);
    EXPECT_LE(seconds, after);
  }
}

// --- checks ----------------------------------------------------------------

TEST_F(LarkInstallerTest, VersionCheckOnPackages) {
  ScratchDir dir(L"installer-version");
  ASSERT_TRUE(WriteFileBytes(dir.file(L"text.msi"), std::string("not a package")));
  // A read-only package (a local installation from read-only media).
  ASSERT_TRUE(CopyFileW(TestPackagePath(L"good.msi").c_str(), dir.file(L"readonly.msi").c_str(), FALSE));
  ASSERT_TRUE(SetFileAttributesW(dir.file(L"readonly.msi").c_str(), FILE_ATTRIBUTE_READONLY));
  struct Case {
    std::wstring path;
    bool ok;
  };
  const Case cases[] = {
      {TestPackagePath(L"good.msi"), true},           {TestPackagePath(L"version3.msi"), false},
      {TestPackagePath(L"versionabc.msi"), false},    {TestPackagePath(L"versionmissing.msi"), false},
      {dir.file(L"text.msi"), false},                 {dir.file(L"absent.msi"), false},
      {dir.file(L"readonly.msi"), true},
  };
  for (const Case& c : cases) {
    LarkInstaller installer(L"en", L"C:\\T", L"", L"", false);
    EXPECT_EQ(installer.CheckVersion(c.path), c.ok) << Narrow(c.path);
  }
  std::string before, after;
  ASSERT_TRUE(ReadFileBytes(TestPackagePath(L"good.msi"), before));
  ASSERT_TRUE(ReadFileBytes(dir.file(L"readonly.msi"), after));
  EXPECT_EQ(before, after);
  SetFileAttributesW(dir.file(L"readonly.msi").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(LarkInstallerTest, CodesOfPackagesThatAreNotInstalled) {
  ScratchDir dir(L"installer-refused");
  ASSERT_TRUE(WriteFileBytes(dir.file(L"text.msi"), std::string("This is not a Windows Installer package.\r\n")));
  std::string good;
  ASSERT_TRUE(ReadFileBytes(TestPackagePath(L"good.msi"), good));
  ASSERT_TRUE(WriteFileBytes(dir.file(L"truncated.msi"), good.substr(0, good.size() / 3)));
  ASSERT_TRUE(WriteFileBytes(dir.file(L"empty.msi"), std::string()));
  struct Case {
    std::wstring path;
    int code;
  };
  const Case cases[] = {
      {TestPackagePath(L"unsigned.msi"), LarkInstaller::kSignatureRefused},
      {TestPackagePath(L"othersigner.msi"), LarkInstaller::kSignatureRefused},
      {TestPackagePath(L"signed_kharbor.exe"), LarkInstaller::kSignatureRefused},  // signed, not a package
      {dir.file(L"text.msi"), LarkInstaller::kSignatureRefused},
      {dir.file(L"truncated.msi"), LarkInstaller::kSignatureRefused},
      {dir.file(L"empty.msi"), LarkInstaller::kSignatureRefused},
      {dir.file(L"absent.msi"), LarkInstaller::kSignatureRefused},
      {TestPackagePath(L"version3.msi"), LarkInstaller::kUnsupportedVersion},
      {TestPackagePath(L"versionabc.msi"), LarkInstaller::kUnsupportedVersion},
      {TestPackagePath(L"versionmissing.msi"), LarkInstaller::kUnsupportedVersion},
  };
  for (const Case& c : cases) {
    ScratchDir target(L"installer-target");
    LarkInstaller installer(L"en", target.path(), L"", L"", false);
    RecordingSink sink;
    EXPECT_EQ(installer.CheckAndInstall(c.path, &sink), c.code) << Narrow(c.path);
    EXPECT_TRUE(installer.GetSettingsFilePath().empty()) << Narrow(c.path);
    EXPECT_TRUE(sink.calls.empty()) << Narrow(c.path);
  }
}

TEST_F(LarkInstallerTest, EmptyTargetDirectoryChecksNothing) {
  LarkInstaller installer(L"en", L"", L"", L"", false);
  EXPECT_EQ(installer.CheckAndInstall(L"C:\\does\\not\\matter.msi", nullptr), LarkInstaller::kNoTargetDirectory);
  EXPECT_TRUE(installer.GetSettingsFilePath().empty());
}

TEST_F(LarkInstallerTest, StatusesMapToCodesAndTheSettingsFileIsRemoved) {
  struct Case {
    UINT status;
    bool filesInUse;
    int code;
    bool reboot;
  };
  const Case cases[] = {
      {ERROR_SUCCESS, false, 0, false},        {ERROR_SUCCESS, true, 0, false},
      {3010, false, 0, true},                  {3011, false, 0, true},
      {1618, false, 4, false},                 {1602, false, 3, false},
      {1603, false, 3, false},                 {1627, false, 3, false},
      {2, false, 3, false},                    {1603, true, 3, true},  // the flag stays as the messages left it
  };
  for (const Case& c : cases) {
    StatusInstaller installer(L"C:\\T", c.status, c.filesInUse);
    RecordingSink sink(0, 100);
    EXPECT_EQ(installer.CheckAndInstall(L"C:\\stand-in.msi", &sink), c.code) << c.status;
    EXPECT_EQ(installer.IsRebootRequired(), c.reboot) << c.status;
    EXPECT_TRUE(installer.settingsFileExisted) << c.status;
    EXPECT_FALSE(Exists(installer.settingsFileDuringInstall)) << c.status;
    ASSERT_FALSE(sink.positions.empty());
    EXPECT_EQ(sink.positions.back(), 100) << c.status;
  }
}

TEST_F(LarkInstallerTest, LogLinesNameTheReasons) {
  std::wstring name = UniqueName(L"larkinstaller_log_");
  logtest::LoggingKey key(L"Lark", name);
  key.SetDword(L"LogLevel", 5);
  std::wstring logPath = logtest::FreshLogPath(name);
  LogInit(name.c_str());

  ScratchDir dir(L"installer-log");
  ASSERT_TRUE(WriteFileBytes(dir.file(L"text.msi"), std::string("not a package")));
  {
    LarkInstaller installer(L"en", L"C:\\T", L"", L"", false);
    installer.CheckVersion(TestPackagePath(L"version3.msi"));
    installer.CheckVersion(TestPackagePath(L"versionabc.msi"));
    installer.CheckVersion(TestPackagePath(L"versionmissing.msi"));
    installer.CheckVersion(TestPackagePath(L"good.msi"));
    installer.CheckSignature(dir.file(L"text.msi"));
    installer.CheckSignature(TestPackagePath(L"othersigner.msi"));
  }
  for (UINT status : {3010u, 1618u}) {
    StatusInstaller installer(L"C:\\T", status);
    installer.CheckAndInstall(L"C:\\stand-in.msi", nullptr);
  }
  LogClose();

  std::vector<std::wstring> lines;
  ASSERT_TRUE(logtest::ReadLogLines(logPath, lines));
  std::vector<std::wstring> texts;
  for (const std::wstring& line : lines) {
    logtest::ParsedLine parsed;
    if (logtest::ParseLine(line, parsed)) texts.push_back(parsed.tag + L" " + parsed.text);
  }
  logtest::RemoveLogFiles(logPath);
  auto indexOf = [&texts](const std::wstring& text) {
    for (size_t i = 0; i < texts.size(); ++i) {
      if (texts[i] == text) return static_cast<int>(i);
    }
    return -1;
  };
  const std::wstring expected[] = {
      L".W LarkInstaller::CheckVersion: MSI_INTERFACE_VERSION mismatch! 2 : 3",
      L".W LarkInstaller::CheckVersion: MSI_INTERFACE_VERSION mismatch! 2 : -1",
      L".W LarkInstaller::CheckVersion: " + TestPackagePath(L"versionmissing.msi") +
          L" contains no MSI_INTERFACE_VERSION property: fail stub version check",
      L" D LarkInstaller::CheckVersion: MSI_INTERFACE_VERSION checked : 2",
      L"*F LarkInstaller::CheckSignature: not a valid MSI package: '" + dir.file(L"text.msi") + L"'",
      L" D VerifyEmbeddedSignature: File " + TestPackagePath(L"othersigner.msi") + L": K-Harbor not found",
      L".W LarkInstaller::CheckAndInstall: Return code indicates that reboot is required",
      L".W LarkInstaller::CheckAndInstall: Another install is already running (msiexec is busy)",
      L" I LarkInstaller::CheckAndInstall: lark_stub.bcx_settings file deleted",
      L" I LarkInstaller::CheckAndInstall: Install finished with status: [3010] ",
  };
  for (const std::wstring& text : expected) {
    bool found = indexOf(text) >= 0;
    // The status text is the system's message after the code.
    if (!found && text.back() == L' ') {
      for (const std::wstring& t : texts) found = found || t.compare(0, text.size(), text) == 0;
    }
    EXPECT_TRUE(found) << Narrow(text);
  }
  // A file that is not a package never reaches the signer check.
  int refused = indexOf(expected[4]);
  ASSERT_GE(refused, 0);
  ASSERT_LT(refused + 1, static_cast<int>(texts.size()));
  EXPECT_EQ(texts[refused + 1], L" D LarkInstaller::CheckSignature: ");
}

// --- real installations ------------------------------------------------------

class MsiInstallTest : public LarkInstallerTest {};

TEST_F(MsiInstallTest, FreshInstallAndReinstallReceiveTheProperties) {
  const std::wstring package = TestPackagePath(L"good.msi");
  Uninstall(package);
  const wchar_t* const names[] = {
      L"ARPNOREPAIR", L"ARPNOMODIFY", L"REBOOT", L"TARGETDIR", L"REINSTALL", L"REINSTALLMODE",
      L"MSIENFORCEUPGRADECOMPONENTRULES", L"LARKPRODNAME", L"STARTMENUFOLDER", L"SHORTCUTNAME",
      L"daas2_operator_suffix", L"PartnerID", L"Language", L"KHDIAGSHORTCUTNAME", L"LATEBOUND_SETTINGS",
      L"LATEBOUND_LOCALIZATION", L"LATEBOUND_CUSTOMIZATION", L"LATEBOUND_HELP", L"LATEBOUND_TARGETDIR",
      L"EULAHASH"};
  for (bool reinstall : {false, true}) {
    ScratchDir target(reinstall ? L"install-again" : L"install-fresh");
    LarkInstaller installer(L"en", target.path(), L"C:\\latebound",
                            L"0123456789abcdef0123456789abcdef01234567", reinstall);
    RecordingSink sink;
    ASSERT_EQ(installer.CheckAndInstall(package, &sink), LarkInstaller::kInstalled) << reinstall;
    EXPECT_FALSE(installer.IsRebootRequired());

    const std::wstring values[] = {
        L"1", L"1", L"REALLYSUPPRESS", target.path() + L"\\", reinstall ? L"ALL" : L"",
        reinstall ? L"vamus" : L"", reinstall ? L"1" : L"", L"Lark Client", L"Lark Menu", L"Lark Shortcut",
        L"op7", L"4711", L"en", L"Lark Diag", L"C:\\pkg\\settings.bcx", L"C:\\pkg\\loc.bcx",
        L"C:\\pkg\\custom.bcx", L"C:\\pkg\\help.bcx", L"C:\\latebound",
        L"0123456789abcdef0123456789abcdef01234567"};
    for (size_t i = 0; i < sizeof(names) / sizeof(names[0]); ++i) {
      bool present = false;
      EXPECT_EQ(ReadRecorded(L"good", names[i], present), values[i]) << Narrow(names[i]) << " " << reinstall;
      EXPECT_TRUE(present) << Narrow(names[i]);
    }
    bool present = false;
    std::wstring settingsFile = ReadRecorded(L"good", L"LARK_STUB_SETTINGS_FILE", present);
    EXPECT_EQ(settingsFile, installer.GetSettingsFilePath());
    EXPECT_FALSE(Exists(settingsFile)) << "the settings file must be deleted after the installation";

    // The package saw the settings file; WTS gives no session under Wine,
    // so the SID comes from the store.
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(target.file(kRecordedSettingsFile), bytes));
    std::string start = std::string("\xFF\xFE", 2) + Utf16Bytes(L"<Settings>\n") +
                        Utf16Bytes(L"<Add type=\"string\" name=\"ZUP_http_browserproxy_currentuser\" "
                                   L"value=\"S-1-5-21-11-22-33-1001\" admin=\"1\" />\n");
    EXPECT_EQ(bytes.substr(0, start.size()), start);
    std::string end = Utf16Bytes(L"\" admin=\"1\" />\n</Settings>\n");
    ASSERT_GT(bytes.size(), end.size());
    EXPECT_EQ(bytes.substr(bytes.size() - end.size()), end);

    // The verbose log of the run lands in the log folder.
    std::string log;
    EXPECT_TRUE(ReadFileBytes(m_logs.file(L"lark_install_msi.log"), log));
    EXPECT_FALSE(log.empty());

    // The sink moved only inside its range and ended at its maximum.
    ASSERT_FALSE(sink.positions.empty());
    for (int pos : sink.positions) {
      EXPECT_GE(pos, 0);
      EXPECT_LE(pos, 100);
    }
    EXPECT_EQ(sink.positions.back(), 100);
    for (const RecordingSink::Call& call : sink.calls) {
      if (call.kind == 'S') {
        EXPECT_GE(call.a, 0);
        EXPECT_LE(call.a, 100);
      }
    }
  }
  Uninstall(package);
  EXPECT_FALSE(RecordKeyExists(L"good"));
}

TEST_F(MsiInstallTest, WithoutAnySidTheSettingsFileHasThreeLines) {
  const std::wstring package = TestPackagePath(L"large.msi");
  Uninstall(package);
  LarkProperties::Instance()->SetUserSid(L"");
  ScratchDir target(L"install-nosid");
  LarkInstaller installer(L"en", target.path(), L"", L"", false);
  ASSERT_EQ(installer.CheckAndInstall(package, nullptr), LarkInstaller::kInstalled);
  std::string bytes;
  ASSERT_TRUE(ReadFileBytes(target.file(kRecordedSettingsFile), bytes));
  std::string start = std::string("\xFF\xFE", 2) + Utf16Bytes(L"<Settings>\n<Add type=\"int\" name=\"RK_BCXBasicInstallationTime\" value=\"");
  EXPECT_EQ(bytes.substr(0, start.size()), start);
  EXPECT_EQ(std::string(bytes.begin() + 2, bytes.end()).find(Utf16Bytes(L"ZUP_")), std::string::npos);
  Uninstall(package);
}

TEST_F(MsiInstallTest, PackagePathWithBlanksAndNonAsciiCharacters) {
  ScratchDir dir(L"install-path");
  std::wstring folder = dir.file(L"Lark pakete \u00e4\u00f6\u00fc \u043f\u0430\u043a\u0435\u0442");
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  std::wstring package = folder + L"\\Lark Paket \u00df \u65e5\u672c.msi";
  ASSERT_TRUE(CopyFileW(TestPackagePath(L"large.msi").c_str(), package.c_str(), FALSE));
  Uninstall(package);
  ScratchDir target(L"install-path-target \u00e9");
  LarkInstaller installer(L"en", target.path(), L"", L"", false);
  RecordingSink sink;
  EXPECT_EQ(installer.CheckAndInstall(package, &sink), LarkInstaller::kInstalled);
  bool present = false;
  EXPECT_EQ(ReadRecorded(L"large", L"TARGETDIR", present), target.path() + L"\\");
  EXPECT_TRUE(Exists(target.file(kRecordedSettingsFile)));
  Uninstall(package);
  EXPECT_FALSE(RecordKeyExists(L"large"));
}

TEST_F(MsiInstallTest, RealInstallationMovesTheSinkInsideItsRange) {
  const std::wstring package = TestPackagePath(L"large.msi");
  Uninstall(package);
  ScratchDir target(L"install-progress");
  LarkInstaller installer(L"en", target.path(), L"", L"", false);
  RecordingSink sink(0, 100);
  ASSERT_EQ(installer.CheckAndInstall(package, &sink), LarkInstaller::kInstalled);
  int percentages = 0;
  int lastPercent = -1;
  for (const RecordingSink::Call& call : sink.calls) {
    if (call.kind != 'S') continue;
    ++percentages;
    EXPECT_GE(call.a, 0);
    EXPECT_LE(call.a, 100);
    EXPECT_GE(call.a, lastPercent) << "percentages of one phase only grow";
    lastPercent = call.a;
  }
  EXPECT_GT(percentages, 0) << "the execution phase reported no percentage";
  for (int pos : sink.positions) {
    EXPECT_GE(pos, 0);
    EXPECT_LE(pos, 100);
  }
  EXPECT_EQ(sink.positions.back(), 100);
  Uninstall(package);
}

TEST_F(MsiInstallTest, OutOfDiskSpaceAbortsWithAndWithoutSink) {
  const std::wstring package = TestPackagePath(L"diskfull.msi");
  for (bool withSink : {false, true}) {
    Uninstall(package);
    ScratchDir target(L"install-diskfull");
    LarkInstaller installer(L"en", target.path(), L"", L"", false);
    RecordingSink sink;
    // The package's custom action reports a full disk; the handler's abort
    // ends the installation (status 1602). Wine does not roll back what the
    // aborted run wrote, so the registry is not checked here.
    EXPECT_EQ(installer.CheckAndInstall(package, withSink ? &sink : nullptr), LarkInstaller::kInstallerFailed);
    EXPECT_FALSE(Exists(installer.GetSettingsFilePath()));
  }
  Uninstall(package);
}

TEST_F(MsiInstallTest, FailingPackageRollsBackAndGivesCode3) {
  const std::wstring package = TestPackagePath(L"fail.msi");
  Uninstall(package);
  ScratchDir target(L"install-fail");
  LarkInstaller installer(L"en", target.path(), L"", L"", false);
  RecordingSink sink;
  EXPECT_EQ(installer.CheckAndInstall(package, &sink), LarkInstaller::kInstallerFailed);
  EXPECT_FALSE(RecordKeyExists(L"fail"));
  EXPECT_FALSE(installer.GetSettingsFilePath().empty());
  EXPECT_FALSE(Exists(installer.GetSettingsFilePath()));
  EXPECT_EQ(sink.positions.back(), 100);
}

TEST_F(MsiInstallTest, PackageThatNeedsARestart) {
  const std::wstring package = TestPackagePath(L"reboot.msi");
  Uninstall(package);
  ScratchDir target(L"install-reboot");
  LarkInstaller installer(L"en", target.path(), L"", L"", false);
  EXPECT_EQ(installer.CheckAndInstall(package, nullptr), LarkInstaller::kInstalled);
  EXPECT_TRUE(installer.IsRebootRequired());
  bool present = false;
  EXPECT_EQ(ReadRecorded(L"reboot", L"REBOOT", present), L"REALLYSUPPRESS");
  Uninstall(package);
  EXPECT_FALSE(RecordKeyExists(L"reboot"));
}
