// The built installer ends with exit code 9 and the usage text when its
// command line can't be parsed, with its output going to a file.
#include <gtest/gtest.h>

#include "installer/tests/OptionsTestSupport.h"
#include "testsupport/TestEnv.h"

namespace {

struct Outcome {
  DWORD exitCode = 0;
  std::string output;
};

Outcome RunInstaller(const std::wstring& arguments) {
  larktest::ScratchDir dir(L"options-exit");
  std::wstring outPath = dir.file(L"out.txt");
  SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
  HANDLE out = CreateFileW(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                           CREATE_ALWAYS, 0, nullptr);
  EXPECT_NE(out, INVALID_HANDLE_VALUE);
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = out;
  si.hStdError = out;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  std::wstring line = L"\"" + larktest::BuiltExe(L"larkstubinst") + L"\" " + arguments;
  PROCESS_INFORMATION pi = {};
  Outcome outcome;
  if (CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 30000), WAIT_OBJECT_0);
    GetExitCodeProcess(pi.hProcess, &outcome.exitCode);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  } else {
    ADD_FAILURE() << "CreateProcessW failed " << GetLastError();
  }
  CloseHandle(out);
  larktest::ReadFileBytes(outPath, outcome.output);
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
