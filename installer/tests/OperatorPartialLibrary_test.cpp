// The new-operator road against agent libraries that lack an entry the
// installer uses (the partial stand-ins beside this test): the road ends
// with 6 and a log that names the library and the entry, and nothing
// crashes, also when the failure report itself cannot be made.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "installer/StubProgram.h"
#include "installer/tests/OperatorTestSupport.h"
#include "settings/LarkProperties.h"
#include "testsupport/standins_operator/OperatorStandins.h"

using operatortest::CapturedLog;
using operatortest::Contains;
using operatortest::Matching;

namespace {

TEST(NewOperatorWithPartialLibraries, MissingPackageEntryEndsWithSixBeforeAnyPackage) {
  operatorstandin::Journal journal(L"operator-partial-lb");
  StubProgram program(GetModuleHandleW(nullptr));
  CapturedLog log;
  EXPECT_EQ(program.InstallNewOperator(), 6);
  // The load test ran; no package was offered.
  std::vector<std::wstring> calls = {L"latebound.1"};
  EXPECT_EQ(journal.Calls(), calls);
  std::vector<std::wstring> errors = {
      L"*E StubProgram::InstallNewOperator: Cannot call kh_rk_latebound ordinal 1: delay load error 2 "
      L"(library 'kh_rk_latebound.dll', function '')",
      L"*E StubProgram::InstallNewOperator: Failed to load kh_rk_latebound library",
  };
  EXPECT_EQ(Matching(log.Lines(), L"*E "), errors);
}

TEST(NewOperatorWithPartialLibraries, MissingReportEntryFailsTheConfigurationQuietly) {
  operatorstandin::Journal journal(L"operator-partial-cfg");
  StubProgram program(GetModuleHandleW(nullptr));
  CapturedLog log;
  EXPECT_FALSE(program.ConfigureNewOperator());
  // The library loaded, but nothing was configured without a way to
  // report the outcome.
  std::vector<std::wstring> calls = {L"config.DelayLoadStub"};
  EXPECT_EQ(journal.Calls(), calls);
  std::vector<std::wstring> lines = log.Lines();
  for (const wchar_t* line : {
           L"*E OperatorConfigurator::DelayLoadOperatorConfig: Cannot call kh_rk_operator_config_DelayLoadStub: "
           L"delay load error 2 (library 'kh_rk_operator_config32.dll', function "
           L"'kh_rk_operator_config_install_failed')",
           L"*E OperatorConfigurator::DelayLoadOperatorConfig: Failed to load kh_rk_operator_config library : 2",
           L"*E OperatorConfigurator::run: Failed to delay load operator config",
           L"*E OperatorConfigurator::failed: Failed to load kh_rk_operator_config library : 2",
           L"*E StubProgram::ConfigureNewOperator: Failed to configure operator. Stub is exiting.",
       }) {
    EXPECT_TRUE(Contains(lines, line)) << larktest::Narrow(line);
  }
}

}  // namespace
