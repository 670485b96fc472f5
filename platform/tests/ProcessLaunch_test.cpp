// Starting a program hidden: it runs, is not waited for, and a missing
// program is reported.
#include "platform/ProcessLaunch.h"

#include <gtest/gtest.h>

#include "testsupport/TestEnv.h"

namespace {

TEST(RunProgramHiddenTest, StartsTheProgramWithItsParameters) {
  larktest::ScratchDir dir(L"run-hidden");
  const std::wstring marker = dir.file(L"ran.txt");
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  const std::wstring cmd = std::wstring(system) + L"\\cmd.exe";
  ASSERT_TRUE(RunProgramHidden(cmd, L"/c echo started> \"" + marker + L"\""));
  bool seen = false;
  for (int i = 0; i < 200 && !seen; ++i) {
    seen = GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (!seen) Sleep(25);
  }
  EXPECT_TRUE(seen);
  Sleep(100);  // let cmd close the file before the folder goes
}

TEST(RunProgramHiddenTest, MissingProgramFails) {
  larktest::ScratchDir dir(L"run-hidden-missing");
  EXPECT_FALSE(RunProgramHidden(dir.file(L"no-such-program.exe"), L""));
}

}  // namespace
