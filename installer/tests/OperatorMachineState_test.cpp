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
#include "installer/tests/MachineStateSupport.h"
#include "installer/tests/OperatorTestSupport.h"
#include "platform/PathUtils.h"
#include "platform/RegKey.h"
#include "testsupport/TestEnv.h"

using operatortest::CacheFile;
using operatortest::CapturedLog;
using operatortest::KeyExists;
using operatortest::ScopedKey;
using operatortest::Contains;
using operatortest::Matching;

namespace {

const wchar_t kAgentKey[] = L"SOFTWARE\\K-Harbor\\Lark Client";
const wchar_t kLateboundSettingKey[] = L"SOFTWARE\\K-Harbor\\BCX\\Settings\\RK_AgentSupportsMultipleOperators";
using operatortest::kSegmentationsKey;
const wchar_t kZupKey[] = L"SOFTWARE\\K-Harbor\\BCX\\KHZUP";

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

TEST(DataCentreMachine, SegmentationValueIsWrittenEvenWithoutCache) {
  const bool hadZup = KeyExists(kZupKey);
  const bool hadSegmentations = KeyExists(kSegmentationsKey);
  CacheFile cache;
  DeleteFileW(cache.Path().c_str());
  CapturedLog log;
  {
    ScopedKey segmentations(kSegmentationsKey);
    segmentations.Clear(L"OPERATOR");
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
  EXPECT_EQ(KeyExists(kSegmentationsKey), hadSegmentations);
  if (!hadZup) RegDeleteKeyW(HKEY_LOCAL_MACHINE, kZupKey);
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
