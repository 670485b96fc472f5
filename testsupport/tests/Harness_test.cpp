// Checks the test harness itself: the tests run inside Wine with the build
// tree's prefix and can see the source and build trees.
#include <gtest/gtest.h>

#include "testsupport/TestEnv.h"

using namespace larktest;

TEST(Harness, SeesSourceAndBuildTrees) {
  EXPECT_NE(GetFileAttributesW((SourceDir() + L"\\CMakeLists.txt").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesW(BinaryDir().c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(Harness, ScratchDirIsPrivateAndRemoved) {
  std::wstring kept;
  {
    ScratchDir a(L"harness"), b(L"harness");
    EXPECT_NE(a.path(), b.path());
    ASSERT_TRUE(WriteFileBytes(a.file(L"x.bin"), std::string("abc", 3)));
    std::string back;
    ASSERT_TRUE(ReadFileBytes(a.file(L"x.bin"), back));
    EXPECT_EQ(back, "abc");
    kept = a.path();
  }
  EXPECT_EQ(GetFileAttributesW(kept.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(Harness, RunsAChildProcess) {
  ProcessResult r = RunProcess(L"cmd.exe /c exit 7");
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 7u);
}
