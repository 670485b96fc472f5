// End to end: builds of larkstubinst.exe for operator "666" (and for ids
// that only look like it) run silently against an agent installed for that
// operator. The first process starts its elevated copy with
// "--vn48hackfordc" alone; the copy writes the segmentation value and
// edits the agent's package cache. Real processes and a real agent package.
#include <gtest/gtest.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "installer/tests/MachineStateSupport.h"
#include "installer/tests/OperatorTestSupport.h"
#include "logging/tests/LogTestSupport.h"
#include "testsupport/TestEnv.h"
#include "testsupport/agent/AgentFixtures.h"

using namespace larktest;
using operatortest::CacheFile;
using operatortest::Contains;
using operatortest::KeyExists;
using operatortest::kSegmentationsKey;
using operatortest::Matching;

namespace {

const wchar_t kZupKey[] = L"SOFTWARE\\K-Harbor\\BCX\\KHZUP";
const std::string kMarker = "productDefinitionVersion";
const std::string kEdited = "aroductDefinitionVersion";

std::vector<std::wstring> LogTexts(const std::wstring& path) {
  std::vector<std::wstring> raw, texts;
  logtest::ReadLogLines(path, raw);
  for (const std::wstring& line : raw) {
    logtest::ParsedLine parsed;
    if (logtest::ParseLine(line, parsed)) texts.push_back(parsed.tag + L" " + parsed.text);
  }
  return texts;
}

// An agent installed for one operator id and that operator's build of the
// installer; both removed again, with the segmentation key.
class DataCentreRoad : public ::testing::Test {
 protected:
  void SetUp() override {
    RemoveInstalledAgent();
    m_hadZup = KeyExists(kZupKey);
    m_hadSegmentations = KeyExists(kSegmentationsKey);
    SHDeleteValueW(HKEY_LOCAL_MACHINE, kSegmentationsKey, L"OPERATOR");
    m_firstLog = logtest::FreshLogPath(L"stub");
    m_copyLog = logtest::FreshLogPath(L"stub_2");
  }
  void TearDown() override {
    RemoveInstalledAgent();
    SHDeleteValueW(HKEY_LOCAL_MACHINE, kSegmentationsKey, L"OPERATOR");
    if (!m_hadSegmentations) SHDeleteKeyW(HKEY_LOCAL_MACHINE, kSegmentationsKey);
    if (!m_hadZup) SHDeleteKeyW(HKEY_LOCAL_MACHINE, kZupKey);
    logtest::RemoveLogFiles(m_firstLog);
    logtest::RemoveLogFiles(m_copyLog);
  }

  // Installs the agent for operatorId and makes that operator's build.
  void Prepare(const std::wstring& operatorId) {
    ProcessResult r = RunProcess(L"msiexec /i \"" + AgentPackagePath(L"good") + L"\" /qn TARGETDIR=\"" +
                                     m_agentDir.path() + L"\\\" PartnerID=\"" + operatorId + L"\"",
                                 L"", 60000);
    ASSERT_TRUE(r.started);
    ASSERT_EQ(r.exitCode, 0u);
    ASSERT_TRUE(MakeOperatorBuild(BuiltExe(L"larkstubinst"), m_build.file(L"larkstubinst.exe"),
                                  {{L"PartnerID", operatorId}}));
  }

  DWORD RunSilent() {
    logtest::RemoveLogFiles(m_firstLog);
    logtest::RemoveLogFiles(m_copyLog);
    ProcessResult r = RunProcess(L"\"" + m_build.file(L"larkstubinst.exe") + L"\" --silent", L"", 60000);
    EXPECT_TRUE(r.started);
    EXPECT_FALSE(r.timedOut);
    return r.exitCode;
  }

  // The segmentation value as type, size in bytes and text; size 0 when
  // it is missing.
  static void ReadOperatorValue(DWORD& type, DWORD& size, std::wstring& text) {
    wchar_t data[32] = {};
    size = sizeof(data);
    type = 0;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kSegmentationsKey, L"OPERATOR", RRF_RT_ANY | RRF_NOEXPAND, &type, data,
                     &size) != ERROR_SUCCESS) {
      size = 0;
    }
    text = data;
  }

  ScratchDir m_agentDir{L"agent-dc"};
  ScratchDir m_build{L"dc-build"};
  bool m_hadZup = false;
  bool m_hadSegmentations = false;
  std::wstring m_firstLog;
  std::wstring m_copyLog;
};

TEST_F(DataCentreRoad, SegmentationValueIsWrittenWithoutCacheAndTheCopyGetsOneOption) {
  Prepare(L"666");
  CacheFile cache;
  DeleteFileW(cache.Path().c_str());
  EXPECT_EQ(RunSilent(), 0u);
  DWORD type, size;
  std::wstring text;
  ReadOperatorValue(type, size, text);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(text, L"666");

  std::vector<std::wstring> first = LogTexts(m_firstLog);
  std::vector<std::wstring> copy = Matching(first, L"StubProgram::RunElevated: Starting another copy: '");
  ASSERT_EQ(copy.size(), 1u);
  EXPECT_NE(copy[0].find(L"\\larkstubinst.exe --vn48hackfordc'"), std::wstring::npos) << Narrow(copy[0]);
  EXPECT_TRUE(Contains(first, L" I StubProgram::VN48HackForDC: Hack started"));
  EXPECT_TRUE(Contains(first, L" I StubProgram::VN48HackForDC: Hack finished"));
  EXPECT_TRUE(Matching(first, L"Failure in WaitUntilAllowedToOperate").empty());

  std::vector<std::wstring> second = LogTexts(m_copyLog);
  EXPECT_TRUE(Contains(second, L" I StubProgram::InstallationSequence: Execute VN48HackForDCMode"));
  EXPECT_TRUE(Contains(second, L" I StubProgram::VN48HackForDC_ModifyTWYXCache: " + cache.Path() +
                                   L" does not exist"));
}

TEST_F(DataCentreRoad, CacheMarkersAreChangedOnceAndOddFilesAreLeftWhole) {
  Prepare(L"666");
  const std::string zero(1, '\0');
  const std::string twice = "{\"" + kMarker + "\":7,\"packages\":[{\"" + kMarker + "\":8}]}";
  const std::string twiceEdited = "{\"" + kEdited + "\":7,\"packages\":[{\"" + kEdited + "\":8}]}";
  const std::string withZero = "{\"a\":1}" + zero + "{\"" + kMarker + "\":2}";
  const std::string withZeroEdited = "{\"a\":1}" + zero + "{\"" + kEdited + "\":2}";
  const struct {
    const char* name;
    std::string before;
    std::string after;
    bool rewritten;
  } cases[] = {
      {"two markers", twice, twiceEdited, true},
      {"markers already changed", twiceEdited, twiceEdited, false},
      {"empty file", "", "", false},
      {"zero byte", withZero, withZeroEdited, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CacheFile cache;
    cache.Write(c.before);
    EXPECT_EQ(RunSilent(), 0u);
    EXPECT_EQ(cache.Read(), c.after);
    EXPECT_EQ(cache.Rewritten(), c.rewritten);
  }
}

TEST_F(DataCentreRoad, IdsThatOnlyLookLike666DoNotStartTheRoad) {
  for (const wchar_t* id : {L"666 ", L"0666"}) {
    SCOPED_TRACE(Narrow(id));
    RemoveInstalledAgent();
    Prepare(id);
    CacheFile cache;
    cache.Write(kMarker);
    EXPECT_EQ(RunSilent(), 0u);
    std::vector<std::wstring> first = LogTexts(m_firstLog);
    // The installed-agent branch ran, the data-centre road did not.
    EXPECT_TRUE(Contains(first, L" I StubProgram::InstallationSequence: -- Stub is exiting"));
    EXPECT_TRUE(Matching(first, L"Hack started").empty());
    EXPECT_TRUE(Matching(first, L"Starting another copy").empty());
    DWORD type, size;
    std::wstring text;
    ReadOperatorValue(type, size, text);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(cache.Read(), kMarker);
    EXPECT_FALSE(cache.Rewritten());
  }
}

}  // namespace
