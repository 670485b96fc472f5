// Helper of the parental-control check's tests: runs
// ParentalModeChecker::VerifyParent once in a fresh process (the libraries
// it binds stay bound for the process) and writes the log lines it left,
// "TG|text" in UTF-8, one a line, to the file named by its argument. The
// exit code is VerifyParent's answer.
#include <windows.h>

#include <string>

#include "installer/ParentalModeChecker.h"
#include "platform/tests/PlatformLogCapture.h"
#include "testsupport/TestEnv.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 100;
  int result;
  std::string lines;
  {
    PlatformLogCapture capture;
    result = ParentalModeChecker::VerifyParent();
    for (const std::wstring& text : capture.Texts()) lines += larktest::Narrow(text) + "\n";
  }
  if (!larktest::WriteFileBytes(argv[1], lines)) return 101;
  return result;
}
