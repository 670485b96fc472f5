// The data-centre mode's file work on private files: the marker edit on
// byte strings, and the reads and writes with their retries and log lines.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "installer/StubProgram.h"
#include "installer/tests/OperatorTestSupport.h"
#include "testsupport/TestEnv.h"

using operatortest::CapturedLog;
using operatortest::Matching;

namespace {

const std::string kMarker = "productDefinitionVersion";
const std::string kEdited = "aroductDefinitionVersion";

TEST(DataCentreCache, MarkerEditKeepsTheLengthAndEveryOtherByte) {
  const struct {
    std::string before;
    bool changed;
    std::string after;
  } cases[] = {
      {"", false, ""},
      {"{\"productDefinitionVersio\":1}", false, "{\"productDefinitionVersio\":1}"},
      {"ProductDefinitionVersion", false, "ProductDefinitionVersion"},
      {kMarker, true, kEdited},
      {"{\"" + kMarker + "\":3,\"x\":{\"" + kMarker + "\":4}}", true,
       "{\"" + kEdited + "\":3,\"x\":{\"" + kEdited + "\":4}}"},
      {kMarker + kMarker, true, kEdited + kEdited},
      {"pproductDefinitionVersion", true, "p" + kEdited},
      {std::string("a\0b", 3) + kMarker + std::string("\0", 1), true, std::string("a\0b", 3) + kEdited + std::string("\0", 1)},
  };
  StubProgram program(GetModuleHandleW(nullptr));
  for (const auto& c : cases) {
    std::string content = c.before;
    EXPECT_EQ(program.VN48HackForDC_MakePackagesToIgnoreThrottling(content), c.changed) << c.before;
    EXPECT_EQ(content, c.after) << c.before;
  }
}

TEST(DataCentreCache, MarkerEditLogsEachPositionOrTheMissingMarker) {
  StubProgram program(GetModuleHandleW(nullptr));
  CapturedLog log;
  std::string twice = "ab" + kMarker + "," + kMarker;
  std::string none = "nothing here";
  program.VN48HackForDC_MakePackagesToIgnoreThrottling(twice);
  program.VN48HackForDC_MakePackagesToIgnoreThrottling(none);
  std::vector<std::wstring> expected = {
      L" I StubProgram::VN48HackForDC_MakePackagesToIgnoreThrottling: changing productDefinitionVersion to "
      L"aroductDefinitionVersion in symbol 2",
      L" I StubProgram::VN48HackForDC_MakePackagesToIgnoreThrottling: changing productDefinitionVersion to "
      L"aroductDefinitionVersion in symbol 27",
      L" I StubProgram::VN48HackForDC_MakePackagesToIgnoreThrottling: productDefinitionVersion was not found! "
      L"Exiting",
  };
  EXPECT_EQ(Matching(log.Lines(), L"MakePackagesToIgnoreThrottling: "), expected);
}

TEST(DataCentreCache, ReadsAndWritesTheWholeFileZeroBytesIncluded) {
  larktest::ScratchDir dir(L"dc-files");
  StubProgram program(GetModuleHandleW(nullptr));
  const std::string zero(1, '\0');
  std::string bytes = "head" + zero + kMarker + zero + "tail";
  std::wstring path = dir.file(L"packages");
  ASSERT_TRUE(larktest::WriteFileBytes(path, bytes));
  EXPECT_EQ(program.VN48HackForDC_ReadFile(path), bytes);

  std::string big(300000, 'x');
  big.replace(250000, kMarker.size(), kMarker);
  CapturedLog log;
  EXPECT_TRUE(program.VN48HackForDC_WriteFile(path, big));
  std::string back;
  ASSERT_TRUE(larktest::ReadFileBytes(path, back));
  EXPECT_EQ(back, big);
  EXPECT_EQ(program.VN48HackForDC_ReadFile(path), big);
  // Written in place: a shorter content leaves no tail of the longer one.
  EXPECT_TRUE(program.VN48HackForDC_WriteFile(path, bytes));
  ASSERT_TRUE(larktest::ReadFileBytes(path, back));
  EXPECT_EQ(back, bytes);
  std::vector<std::wstring> expected = {L" I StubProgram::VN48HackForDC_WriteFile: File written to disk: " + path,
                                        L" I StubProgram::VN48HackForDC_WriteFile: File written to disk: " + path};
  EXPECT_EQ(Matching(log.Lines(), L"VN48HackForDC_WriteFile: "), expected);
}

TEST(DataCentreCache, OpenFailuresAreRetriedSixTimesThenGivenUp) {
  larktest::ScratchDir dir(L"dc-retry");
  StubProgram program(GetModuleHandleW(nullptr));
  std::wstring missing = dir.file(L"missing");
  std::wstring unwritable = dir.file(L"no-folder\\packages");
  CapturedLog log;
  EXPECT_EQ(program.VN48HackForDC_ReadFile(missing), std::string());
  EXPECT_FALSE(program.VN48HackForDC_WriteFile(unwritable, "x"));
  std::vector<std::wstring> lines = log.Lines();
  std::vector<std::wstring> read = Matching(lines, L"VN48HackForDC_ReadFile: ");
  ASSERT_EQ(read.size(), 7u);
  EXPECT_EQ(read[0], L" I StubProgram::VN48HackForDC_ReadFile: Cannot open " + missing +
                         L" with error 2, sleeping a bit and retry");
  EXPECT_EQ(read[6], L".W StubProgram::VN48HackForDC_ReadFile: Failed to open " + missing + L", exiting");
  std::vector<std::wstring> write = Matching(lines, L"VN48HackForDC_WriteFile: ");
  ASSERT_EQ(write.size(), 7u);
  EXPECT_EQ(write[0], L" I StubProgram::VN48HackForDC_WriteFile: Cannot open " + unwritable +
                          L" for writing with error 3, sleeping a bit and retry");
  EXPECT_EQ(write[6], L".W StubProgram::VN48HackForDC_WriteFile: Failed to open " + unwritable + L", exiting");
}

TEST(DataCentreCache, FileHeldOpenByTheAgentIsReadOnceItIsReleased) {
  larktest::ScratchDir dir(L"dc-held");
  StubProgram program(GetModuleHandleW(nullptr));
  std::wstring path = dir.file(L"packages");
  ASSERT_TRUE(larktest::WriteFileBytes(path, kMarker));
  // Held without read sharing for about 250 ms: the read's retries wait it out.
  HANDLE held = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  std::thread releaser([held] {
    Sleep(250);
    CloseHandle(held);
  });
  EXPECT_EQ(program.VN48HackForDC_ReadFile(path), kMarker);
  releaser.join();
}

}  // namespace
