// Runs the real install.exe from a scratch folder and checks which
// "install1.bat" it ran (by the files the batch files write) and that it
// ends with 0 whatever the batch did.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "testsupport/TestEnv.h"
#include "testsupport/companions/ResourceCheck.h"

using namespace larktest;

namespace {

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string FileText(const std::wstring& path) {
  std::string text;
  ReadFileBytes(path, text);
  return text;
}

struct BatchCase {
  const char* name;
  const char* batch;        // nullptr: the current folder has no install1.bat
  const wchar_t* arguments;
  const char* expectedMarker;  // what the batch leaves in ran.txt; nullptr: no file
};

void PrintTo(const BatchCase& c, std::ostream* os) { *os << c.name; }

class InstallRun : public ::testing::TestWithParam<BatchCase> {};

// The program sits in a folder of its own, beside an install1.bat that must
// never run: the batch file is looked for in the current folder only.
TEST_P(InstallRun, RunsOnlyTheCurrentFoldersBatchAndReturnsZero) {
  const BatchCase& c = GetParam();
  ScratchDir programDir(L"install-prog"), currentDir(L"install-cwd");
  const std::wstring program = programDir.file(L"install.exe");
  ASSERT_TRUE(CopyFileW(BuiltExe(L"install").c_str(), program.c_str(), FALSE));
  ASSERT_TRUE(WriteFileBytes(programDir.file(L"install1.bat"),
                             "@echo wrong> \"" + Narrow(programDir.file(L"wrong.txt")) + "\"\r\n"));
  if (c.batch) {
    ASSERT_TRUE(WriteFileBytes(currentDir.file(L"install1.bat"), c.batch));
  }

  std::wstring commandLine = L"\"" + program + L"\"";
  if (c.arguments) commandLine += std::wstring(L" ") + c.arguments;
  ProcessResult r = RunProcess(commandLine, currentDir.path());

  ASSERT_TRUE(r.started);
  ASSERT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_FALSE(Exists(programDir.file(L"wrong.txt"))) << "ran the batch file beside the program";
  if (c.expectedMarker) {
    // Checked right after the program ended: it must have waited for the batch.
    EXPECT_EQ(FileText(currentDir.file(L"ran.txt")), c.expectedMarker);
  } else {
    EXPECT_FALSE(Exists(currentDir.file(L"ran.txt")));
  }
}

const BatchCase kBatchCases[] = {
    // The loop keeps the interpreter busy before the marker is written.
    {"SucceedingBatch", "@for /l %%i in (1,1,20000) do @rem\r\n@echo ran> ran.txt\r\n", nullptr, "ran\r\n"},
    {"FailingBatch", "@echo ran> ran.txt\r\n@exit /b 5\r\n", nullptr, "ran\r\n"},
    {"NoBatchFile", nullptr, nullptr, nullptr},
    {"ArgumentsAreNotPassedOn", "@echo [%1]> ran.txt\r\n@exit /b 1\r\n", L"one two", "[]\r\n"},
};

INSTANTIATE_TEST_SUITE_P(Batches, InstallRun, ::testing::ValuesIn(kBatchCases),
                         [](const ::testing::TestParamInfo<BatchCase>& info) { return std::string(info.param.name); });

// The manifest asks for nothing: no elevation, no dependent assemblies.
TEST(InstallResources, ManifestHasNoElements) {
  std::string manifest;
  ASSERT_TRUE(companionstest::ReadResource(BuiltExe(L"install"), MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1), manifest));
  EXPECT_EQ(companionstest::ProblemWithEmptyManifest(manifest), "");
}

}  // namespace
