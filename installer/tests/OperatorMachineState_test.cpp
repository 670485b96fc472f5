// The parts of the new-operator road and the data-centre mode that read or
// write the machine's own state: the installed agent's multi-operator
// settings, the update component's segmentation key and the agent's
// package cache under the common application data folder. Run serially;
// every value and file is removed or restored afterwards.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "installer/StubProgram.h"
#include "installer/tests/OperatorTestSupport.h"
#include "platform/PathUtils.h"
#include "platform/RegKey.h"
#include "testsupport/TestEnv.h"

using operatortest::CapturedLog;
using operatortest::Contains;
using operatortest::Matching;

namespace {

const wchar_t kAgentKey[] = L"SOFTWARE\\K-Harbor\\Lark Client";
const wchar_t kLateboundSettingKey[] = L"SOFTWARE\\K-Harbor\\BCX\\Settings\\RK_AgentSupportsMultipleOperators";
const wchar_t kSegmentationsKey[] = L"SOFTWARE\\K-Harbor\\BCX\\KHZUP\\Segmentations";

bool KeyExists(const wchar_t* path) {
  CRegKey key;
  return key.OpenKey(HKEY_LOCAL_MACHINE, path, KEY_READ) == ERROR_SUCCESS;
}

// Values written under one HKLM key for one test; the values are removed
// afterwards, and the key too when the test created it.
class ScopedKey {
 public:
  explicit ScopedKey(const wchar_t* path) : m_path(path), m_existed(KeyExists(path)) {
    m_key.CreateSubKey(HKEY_LOCAL_MACHINE, path, nullptr, 0, KEY_ALL_ACCESS, nullptr, nullptr);
  }
  ~ScopedKey() {
    for (const std::wstring& name : m_written) m_key.RemoveValue(name);
    m_key.Close();
    if (!m_existed) RegDeleteKeyW(HKEY_LOCAL_MACHINE, m_path.c_str());
  }
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;

  void SetDword(const wchar_t* name, DWORD value) {
    m_key.WriteDword(value, name);
    m_written.push_back(name);
  }
  void SetString(const wchar_t* name, const wchar_t* value) {
    m_key.WriteString(value, name);
    m_written.push_back(name);
  }
  void Forget(const wchar_t* name) { m_written.push_back(name); }

 private:
  std::wstring m_path;
  bool m_existed;
  std::vector<std::wstring> m_written;
  CRegKey m_key;
};

TEST(NewOperatorDecision, AgentMustSupportSeveralOperatorsAndBeInstalled) {
  ASSERT_FALSE(KeyExists(kAgentKey)) << "an agent is installed in the test prefix";
  const int kAbsent = -1;
  const struct {
    int first;
    int second;
    const wchar_t* version;  // null: no value
    bool expected;
    const wchar_t* reason;
  } cases[] = {
      {0, 1, L"1.0", false, L"does not support multiple operators"},
      {kAbsent, kAbsent, L"1.0", false, L"does not support multiple operators"},
      {kAbsent, 0, L"1.0", false, L"does not support multiple operators"},
      {1, kAbsent, nullptr, false, L"agent is not yet installed"},
      {1, kAbsent, L"", false, L"agent is not yet installed"},
      {kAbsent, 1, L"1.0", true, nullptr},
      {1, 0, L"1.0", true, nullptr},
      {7, kAbsent, L"2.5", true, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.first << "/" << c.second << "/"
                                    << (c.version ? larktest::Narrow(c.version) : "none"));
    CapturedLog log;
    {
      ScopedKey agent(kAgentKey);
      ScopedKey latebound(kLateboundSettingKey);
      if (c.first != kAbsent) agent.SetDword(L"AgentSupportsMultipleOperators", static_cast<DWORD>(c.first));
      if (c.second != kAbsent) latebound.SetDword(L"value", static_cast<DWORD>(c.second));
      if (c.version) agent.SetString(L"Version", c.version);
      StubProgram program(GetModuleHandleW(nullptr));
      EXPECT_EQ(program.ShouldConfigureNewOperator(), c.expected);
    }
    std::vector<std::wstring> lines = Matching(log.Lines(), L"StubProgram::ShouldConfigureNewOperator: ");
    if (c.reason == nullptr) {
      EXPECT_TRUE(lines.empty());
    } else {
      ASSERT_EQ(lines.size(), 1u);
      EXPECT_NE(lines[0].find(c.reason), std::wstring::npos) << larktest::Narrow(lines[0]);
      EXPECT_EQ(lines[0].substr(0, 2), L" D");
    }
  }
  EXPECT_FALSE(KeyExists(kAgentKey));
}

std::wstring TwyxFolder() { return MakePath(GetFolderPath(CSIDL_COMMON_APPDATA), L"K-Harbor\\TWYX"); }
std::wstring CacheFolder() { return TwyxFolder() + L"\\666"; }
bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The agent's package cache of operator 666, created for one test and
// removed with its folders afterwards.
class CacheFile {
 public:
  CacheFile()
      : m_path(CacheFolder() + L"\\packages"), m_hadTwyx(Exists(TwyxFolder())), m_hadCache(Exists(CacheFolder())) {}
  ~CacheFile() {
    DeleteFileW(m_path.c_str());
    if (!m_hadTwyx) {
      larktest::RemoveTree(TwyxFolder());
    } else if (!m_hadCache) {
      larktest::RemoveTree(CacheFolder());
    }
  }
  CacheFile(const CacheFile&) = delete;
  CacheFile& operator=(const CacheFile&) = delete;

  // Writes content and dates the file back a day, so a rewrite shows.
  void Write(const std::string& content) {
    MkDirPathSafe(CacheFolder());
    ASSERT_TRUE(larktest::WriteFileBytes(m_path, content));
    HANDLE file = CreateFileW(m_path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER t;
    t.LowPart = now.dwLowDateTime;
    t.HighPart = now.dwHighDateTime;
    t.QuadPart -= 864000000000ULL;
    m_written.dwLowDateTime = t.LowPart;
    m_written.dwHighDateTime = t.HighPart;
    SetFileTime(file, nullptr, nullptr, &m_written);
    CloseHandle(file);
  }
  std::string Read() const {
    std::string bytes;
    larktest::ReadFileBytes(m_path, bytes);
    return bytes;
  }
  bool Rewritten() const {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(m_path.c_str(), GetFileExInfoStandard, &data)) return true;
    return CompareFileTime(&data.ftLastWriteTime, &m_written) != 0;
  }
  const std::wstring& Path() const { return m_path; }

 private:
  std::wstring m_path;
  bool m_hadTwyx;
  bool m_hadCache;
  FILETIME m_written = {};
};

TEST(DataCentreMachine, SegmentationValueIsWrittenEvenWithoutCache) {
  ASSERT_FALSE(KeyExists(kSegmentationsKey));
  CacheFile cache;
  DeleteFileW(cache.Path().c_str());
  CapturedLog log;
  {
    ScopedKey segmentations(kSegmentationsKey);
    segmentations.Forget(L"OPERATOR");
    StubProgram program(GetModuleHandleW(nullptr));
    program.VN48HackForDC_UseJediForceToAvoidThrottlingOnNextPackagingCall();
    wchar_t data[16] = {};
    DWORD type = 0, size = sizeof(data);
    ASSERT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, kSegmentationsKey, L"OPERATOR", RRF_RT_ANY, &type, data, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 8u);
    EXPECT_STREQ(data, L"666");
  }
  const std::wstring jedi = L"StubProgram::VN48HackForDC_UseJediForceToAvoidThrottlingOnNextPackagingCall";
  std::vector<std::wstring> expected = {
      L" I " + jedi + L": Hack started",
      L" D StubProgram::VN48HackForDC_AddOperatorToSegmentations: ",
      L" D StubProgram::VN48HackForDC_AddOperatorToSegmentations: Successfully wrote OPERATOR='666' to registry",
      L" I StubProgram::VN48HackForDC_ModifyTWYXCache: Modifying " + cache.Path(),
      L" I StubProgram::VN48HackForDC_ModifyTWYXCache: " + cache.Path() + L" does not exist",
      L" I " + jedi + L": Hack finished",
  };
  EXPECT_EQ(Matching(log.Lines(), L"StubProgram::VN48HackForDC"), expected);
  EXPECT_FALSE(KeyExists(kSegmentationsKey));
}

TEST(DataCentreMachine, CacheEditsKeepTheLengthAndLeaveFilesWithoutMarkers) {
  const std::string marker = "productDefinitionVersion";
  const std::string edited = "aroductDefinitionVersion";
  const struct {
    const char* name;
    std::string before;
    bool result;
    std::string after;  // same as before: the file must not be rewritten
  } cases[] = {
      {"two markers", "{\"" + marker + "\":1,\"p\":[{\"" + marker + "\":2}]}", true,
       "{\"" + edited + "\":1,\"p\":[{\"" + edited + "\":2}]}"},
      {"already edited", "{\"" + edited + "\":1}", false, "{\"" + edited + "\":1}"},
      {"empty", "", false, ""},
      {"zero byte", "{\"a\":1}" + std::string(1, '\0') + "{\"" + marker + "\":2}", true,
       "{\"a\":1}" + std::string(1, '\0') + "{\"" + edited + "\":2}"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CacheFile cache;
    cache.Write(c.before);
    StubProgram program(GetModuleHandleW(nullptr));
    EXPECT_EQ(program.VN48HackForDC_ModifyTWYXCache(), c.result);
    EXPECT_EQ(cache.Read(), c.after);
    EXPECT_EQ(cache.Read().size(), c.before.size());
    EXPECT_EQ(cache.Rewritten(), c.result);
  }
}

}  // namespace
