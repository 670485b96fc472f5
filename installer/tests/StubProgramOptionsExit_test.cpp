// The built installer ends with exit code 9 and the usage text when its
// command line can't be parsed, with its output going to a file.
#include <gtest/gtest.h>

#include "installer/tests/OptionsTestSupport.h"
#include "testsupport/TestEnv.h"

namespace {

using Outcome = larktest::CapturedRun;

Outcome RunInstaller(const std::wstring& arguments) {
  const Outcome outcome = larktest::RunCaptured(L"\"" + larktest::BuiltExe(L"larkstubinst") + L"\" " + arguments);
  EXPECT_TRUE(outcome.started && !outcome.timedOut);
  return outcome;
}

TEST(InstallerExit, ParseErrorsEndWithNineAndUsage) {
  for (const wchar_t* arguments : {L"--bogus", L"--language", L"-s --silent", L"\"unclosed"}) {
    Outcome o = RunInstaller(arguments);
    EXPECT_EQ(o.exitCode, 9u) << larktest::Narrow(arguments);
    EXPECT_NE(o.output.find(optionstest::kUsage), std::string::npos)
        << larktest::Narrow(arguments) << ": " << o.output;
  }
}

TEST(InstallerExit, MissingInstallerFileEndsWithNineAndItsLine) {
  Outcome o = RunInstaller(L"--installer no-such-package.msi");
  EXPECT_EQ(o.exitCode, 9u);
  EXPECT_NE(o.output.find("\nFile not found: no-such-package.msi\n"), std::string::npos) << o.output;
  EXPECT_EQ(o.output.find("Usage:"), std::string::npos);
}

}  // namespace
