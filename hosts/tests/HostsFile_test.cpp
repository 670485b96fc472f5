#include "hosts/HostsFile.h"

#include <gtest/gtest.h>

#include "hosts/tests/HostsTestSupport.h"
#include "testsupport/TestEnv.h"

using khhosts::File;
using khhosts::FileReaderWriter;
using khhosts::Lines;

namespace {

struct FormatCase {
  std::string bytes;
  Lines lines;
};

const FormatCase kFormatCases[] = {
    {"", {L""}},
    {"a", {L"a"}},
    {"a\n", {L"a", L""}},
    {"a\r\n", {L"a", L""}},
    {"a\r\nb", {L"a", L"b"}},
    {"a\nb\r\nc\n", {L"a", L"b", L"c", L""}},
    {"\n", {L"", L""}},
    {"\r\n\r\n", {L"", L"", L""}},
    {"a\r\r\n", {L"a\r", L""}},
    {"a\rb", {L"a\rb"}},
    {"a\r", {L"a\r"}},
    {"a\x1a" "b\n", {L"a\x1a" L"b", L""}},
    {std::string("\0x\xff\x80", 4), {std::wstring(L"\0x\xff\x80", 4)}},
};

TEST(HostsFileFormatTest, SplitsLinesByteForByte) {
  for (const auto& c : kFormatCases) {
    Lines lines;
    FileReaderWriter::splitLines(c.bytes, lines);
    EXPECT_EQ(c.lines, lines) << "bytes: " << c.bytes;
  }
}

TEST(HostsFileFormatTest, JoinsWithCrLfBetweenLines) {
  EXPECT_EQ("", FileReaderWriter::joinLines({}));
  EXPECT_EQ("", FileReaderWriter::joinLines({L""}));
  EXPECT_EQ("a", FileReaderWriter::joinLines({L"a"}));
  EXPECT_EQ("a\r\n", FileReaderWriter::joinLines({L"a", L""}));
  EXPECT_EQ("a\r\nb\r\n\r\nc", FileReaderWriter::joinLines({L"a", L"b", L"", L"c"}));
  EXPECT_EQ(std::string("\xff\0", 2), FileReaderWriter::joinLines({std::wstring(L"\xff\0", 2)}));
}

// What a CR LF file reads as, written back, is the same file.
TEST(HostsFileFormatTest, CrLfFileSurvivesReadAndWrite) {
  larktest::ScratchDir dir(L"hosts-format");
  const std::string bytes = "# c\r\n127.0.0.1 localhost\r\n\r\n\xe9\x1a\r\n";
  File file(dir.file(L"hosts"));
  ASSERT_TRUE(larktest::WriteFileBytes(file.path(), bytes));
  Lines lines;
  std::string raw;
  ASSERT_EQ(FileReaderWriter::kDone, file.content(lines, &raw));
  EXPECT_EQ(bytes, raw);
  EXPECT_EQ(5u, lines.size());
  ASSERT_EQ(FileReaderWriter::kDone, file.setContent(lines));
  std::string back;
  ASSERT_TRUE(larktest::ReadFileBytes(file.path(), back));
  EXPECT_EQ(bytes, back);
}

TEST(HostsFileFormatTest, WritingShorterContentTruncates) {
  larktest::ScratchDir dir(L"hosts-format");
  File file(dir.file(L"hosts"));
  ASSERT_TRUE(larktest::WriteFileBytes(file.path(), std::string(10000, 'x')));
  ASSERT_EQ(FileReaderWriter::kDone, file.setContent({L"short", L""}));
  std::string back;
  ASSERT_TRUE(larktest::ReadFileBytes(file.path(), back));
  EXPECT_EQ("short\r\n", back);
  ASSERT_EQ(FileReaderWriter::kDone, file.setBytes(""));
  ASSERT_TRUE(larktest::ReadFileBytes(file.path(), back));
  EXPECT_EQ("", back);
}

TEST(HostsFileFormatTest, MissingOrLockedFileReportsNotOpen) {
  larktest::ScratchDir dir(L"hosts-format");
  File missing(dir.file(L"none"));
  Lines lines;
  EXPECT_FALSE(missing.exists());
  EXPECT_EQ(FileReaderWriter::kNotOpen, missing.content(lines));

  File locked(dir.file(L"hosts"));
  ASSERT_TRUE(larktest::WriteFileBytes(locked.path(), "a\r\n"));
  HANDLE h = CreateFileW(locked.path().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  EXPECT_EQ(FileReaderWriter::kNotOpen, locked.content(lines));
  EXPECT_EQ(FileReaderWriter::kNotOpen, locked.setContent({L"b"}));
  CloseHandle(h);
  std::string back;
  ASSERT_TRUE(larktest::ReadFileBytes(locked.path(), back));
  EXPECT_EQ("a\r\n", back);
}

TEST(HostsFileAttributeTest, SetsAndClearsEachAttribute) {
  larktest::ScratchDir dir(L"hosts-attr");
  File file(dir.file(L"hosts"));
  ASSERT_TRUE(larktest::WriteFileBytes(file.path(), "x"));
  EXPECT_FALSE(file.isReadOnly() || file.isHidden() || file.isSystem());
  ASSERT_TRUE(file.setHidden(true));
  ASSERT_TRUE(file.setSystem(true));
  ASSERT_TRUE(file.setReadOnly(true));
  EXPECT_TRUE(file.isReadOnly() && file.isHidden() && file.isSystem());
  ASSERT_TRUE(file.setHidden(false));
  EXPECT_TRUE(file.isReadOnly() && !file.isHidden() && file.isSystem());
  ASSERT_TRUE(file.setReadOnly(false));
  ASSERT_TRUE(file.setSystem(false));
  EXPECT_FALSE(file.isReadOnly() || file.isHidden() || file.isSystem());

  File missing(dir.file(L"none"));
  EXPECT_FALSE(missing.setReadOnly(true));
  EXPECT_FALSE(missing.isReadOnly());
}

}  // namespace
