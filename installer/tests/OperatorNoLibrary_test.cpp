// The new-operator road when the agent's libraries cannot be found (this
// test runs from a folder without them and no delay-load path is stored):
// nothing is installed, the road ends with 6 and the log names the library.
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

TEST(NewOperatorWithoutLibraries, LateboundLibraryMissingEndsWithSixBeforeAnyPackage) {
  operatorstandin::Journal journal(L"operator-nolib");
  StubProgram program(GetModuleHandleW(nullptr));
  LarkProperties::Instance()->SetLateboundSettingsPath(L"C:\\dl\\settings.pkg");
  CapturedLog log;
  EXPECT_EQ(program.InstallNewOperator(), 6);
  EXPECT_TRUE(journal.Calls().empty());
  std::vector<std::wstring> errors = {
      L"*E StubProgram::InstallNewOperator: Cannot call kh_rk_latebound ordinal 1: delay load error 1 "
      L"(library 'kh_rk_latebound.dll', function '')",
      L"*E StubProgram::InstallNewOperator: Failed to load kh_rk_latebound library",
  };
  std::vector<std::wstring> lines = log.Lines();
  EXPECT_EQ(Matching(lines, L"*E "), errors);
  EXPECT_TRUE(Matching(lines, L"Installing '").empty());
}

TEST(NewOperatorWithoutLibraries, ConfigurationLibraryMissingFailsAndTheReportFailsQuietly) {
  StubProgram program(GetModuleHandleW(nullptr));
  CapturedLog log;
  EXPECT_FALSE(program.ConfigureNewOperator());
  EXPECT_FALSE(program.ConfigureNewOperatorSucceed());
  std::vector<std::wstring> lines = log.Lines();
  for (const wchar_t* line : {
           L"*E OperatorConfigurator::DelayLoadOperatorConfig: Failed to load kh_rk_operator_config library : 1",
           L"*E OperatorConfigurator::run: Failed to delay load operator config",
           L"*E OperatorConfigurator::failed: Cannot call kh_rk_operator_config_install_failed: delay load error 1 "
           L"(library 'kh_rk_operator_config32.dll', function '')",
           L"*E OperatorConfigurator::failed: Failed to load kh_rk_operator_config library : 1",
           L"*E StubProgram::ConfigureNewOperator: Failed to configure operator. Stub is exiting.",
           L"*E OperatorConfigurator::succeed: Failed to load kh_rk_operator_config library : 1",
       }) {
    EXPECT_TRUE(Contains(lines, line)) << larktest::Narrow(line);
  }
}

}  // namespace
