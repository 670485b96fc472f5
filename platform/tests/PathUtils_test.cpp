// Path composition, folder creation and removal, error texts, console
// output and the string helpers, against the real file system of the prefix.
#include "platform/PathUtils.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <stdexcept>
#include <string>

#include "testsupport/TestEnv.h"

using larktest::Narrow;
using larktest::ScratchDir;

namespace {

// Runs f and returns the message of the std::exception it throws ("" when
// it throws nothing).
template <typename F>
std::string ThrownText(F f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return std::string();
}

bool IsDir(const std::wstring& path) {
  DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

TEST(MakePathTest, ComposesWithExactlyOneSeparator) {
  struct Case {
    const wchar_t* directory;
    const wchar_t* name;
    const wchar_t* expected;
  } cases[] = {
      {L"C:\\x", L"a\\b", L"C:\\x\\a\\b"},
      {L"C:\\x\\", L"a", L"C:\\x\\a"},
      {L"C:\\x/", L"a", L"C:\\x/a"},
      {L"", L"a.txt", L"a.txt"},
      {L"C:", L"a", L"C:\\a"},
      {L"rel\\dir", L"", L"rel\\dir\\"},
      {L"C:\\x", L"..\\y", L"C:\\x\\..\\y"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MakePath(c.directory, c.name), c.expected) << Narrow(c.directory) << " + " << Narrow(c.name);
  }
}

TEST(MakePathTest, ThrowsWhenTheResultDoesNotFitMaxPath) {
  // 259 characters fit (with the terminator); 260 do not.
  std::wstring directory(250, L'd');
  EXPECT_EQ(MakePath(directory, std::wstring(8, L'n')).size(), 259u);
  EXPECT_EQ(ThrownText([&] { MakePath(directory, std::wstring(9, L'n')); }), "_wmakepath_s failed");
  EXPECT_EQ(ThrownText([&] { MakePath(std::wstring(5000, L'd'), L"x"); }), "_wmakepath_s failed");
}

TEST(SplitPathTest, SplitsIntoDirectoryAndFile) {
  struct Case {
    const wchar_t* path;
    const wchar_t* directory;
    const wchar_t* file;
  } cases[] = {
      {L"C:\\dir\\file.ext", L"C:\\dir", L"file.ext"},
      {L"file.ext", L"", L"file.ext"},
      {L"C:\\file", L"C:", L"file"},
      {L"C:file.txt", L"C:", L"file.txt"},
      {L"C:\\a\\b\\", L"C:\\a\\b", L""},
      {L"\\\\server\\share\\f.x.y", L"\\\\server\\share", L"f.x.y"},
      {L"dir.d/name", L"dir.d/", L"name"},  // only a backslash is trimmed
      {L"", L"", L""},
  };
  for (const Case& c : cases) {
    std::wstring directory = L"old", file = L"old";
    SplitPath(c.path, directory, file);
    EXPECT_EQ(directory, c.directory) << Narrow(c.path);
    EXPECT_EQ(file, c.file) << Narrow(c.path);
  }
}

TEST(SplitPathTest, ThrowsWhenAPartDoesNotFitItsBuffer) {
  std::wstring dir, file;
  // The folder part holds 255 characters, the name part too.
  SplitPath(L"C:" + std::wstring(254, L'd') + L"\\" + std::wstring(255, L'n'), dir, file);
  EXPECT_EQ(file.size(), 255u);
  EXPECT_EQ(ThrownText([&] { SplitPath(L"C:" + std::wstring(255, L'd') + L"\\x", dir, file); }),
            "_wsplitpath_s failed");
  EXPECT_EQ(ThrownText([&] { SplitPath(L"C:\\" + std::wstring(256, L'n'), dir, file); }), "_wsplitpath_s failed");
  EXPECT_EQ(ThrownText([&] { SplitPath(L"C:\\n." + std::wstring(300, L'e'), dir, file); }), "_wsplitpath_s failed");
}

TEST(GetFullPathTest, ResolvesRelativePathsAndRejectsOverlongOnes) {
  ScratchDir scratch(L"fullpath");
  ASSERT_TRUE(SetCurrentDirectoryW(scratch.path().c_str()));
  EXPECT_EQ(GetFullPath(L"a\\..\\b.txt"), scratch.path() + L"\\b.txt");
  EXPECT_EQ(GetFullPath(L"C:\\x\\.\\y"), L"C:\\x\\y");
  EXPECT_EQ(ThrownText([] { GetFullPath(L"C:\\" + std::wstring(400, L'z')); }), "_wfullpath failed");
  SetCurrentDirectoryW(L"C:\\");
}

TEST(GetFolderPathTest, ReturnsCommonAppDataAndThrowsTheCallAndErrorForABadId) {
  std::wstring appData = GetFolderPath(CSIDL_COMMON_APPDATA);
  EXPECT_TRUE(IsDir(appData)) << Narrow(appData);
  EXPECT_EQ(GetApplicationDataDirectory(), appData);

  std::string text = ThrownText([] { GetFolderPath(0x7ffe); });
  EXPECT_EQ(text.rfind("SHGetFolderPathW(32766) failed. LastError = ", 0), 0u) << text;
}

TEST(FileExistsTest, TrueOnlyForFiles) {
  ScratchDir scratch(L"exists");
  ASSERT_TRUE(larktest::WriteFileBytes(scratch.file(L"f.txt"), std::string("x")));
  EXPECT_TRUE(FileExists(scratch.file(L"f.txt")));
  EXPECT_FALSE(FileExists(scratch.path()));
  EXPECT_FALSE(FileExists(scratch.file(L"missing")));
  EXPECT_FALSE(FileExists(L""));
}

TEST(QuoteTest, WrapsWithoutEscaping) {
  EXPECT_EQ(QuotePath(L"C:\\Program Files\\a b"), L"\"C:\\Program Files\\a b\"");
  EXPECT_EQ(QuoteString(L"say \"hi\""), L"\"say \"hi\"\"");
  EXPECT_EQ(QuoteString(L""), L"\"\"");
}

TEST(FormatSystemErrorTest, PrefixesTheCodeAndDropsTheFinalLineFeed) {
  std::wstring text = FormatSystemError(5);
  ASSERT_GT(text.size(), 4u);
  EXPECT_EQ(text.substr(0, 4), L"[5] ");
  EXPECT_NE(text.back(), L'\n');

  std::wstring withSystemText = FormatSystemError(ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(withSystemText.substr(0, 4), L"[2] ");
  EXPECT_GT(withSystemText.size(), 4u);

  // A code the system has no text for gives the prefix alone.
  EXPECT_EQ(FormatSystemError(0x2FFFFFFFu), L"[805306367] ");
  EXPECT_EQ(FormatSystemError(4294967295ul).substr(0, 13), L"[4294967295] ");

  SetLastError(ERROR_ACCESS_DENIED);
  EXPECT_EQ(FormatLastError(), FormatSystemError(5));
}

class ConsolePrintfTest : public ::testing::Test {
 protected:
  // Sends the standard output to a file for the duration of f and returns
  // what arrived there.
  template <typename F>
  std::string Capture(F f) {
    ScratchDir scratch(L"console");
    std::wstring path = scratch.file(L"out.txt");
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    HANDLE saved = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, file);
    result_ = f();
    SetStdHandle(STD_OUTPUT_HANDLE, saved);
    CloseHandle(file);
    std::string bytes;
    larktest::ReadFileBytes(path, bytes);
    return bytes;
  }
  int result_ = 0;
};

TEST_F(ConsolePrintfTest, RedirectedOutputReceivesTheFormattedTextAsUtf8) {
  std::string out = Capture([] { return ConsolePrintf(L"%s=%d %S \x00e9\n", L"value", 42, "narrow"); });
  EXPECT_EQ(out, "value=42 narrow \xc3\xa9\n");
  EXPECT_NE(result_, 0);
}

TEST_F(ConsolePrintfTest, CutsOutputToItsFirst1023Characters) {
  std::wstring text;
  for (int i = 0; i < 1157; ++i) text += static_cast<wchar_t>(L'a' + i % 26);
  std::string out = Capture([&] { return ConsolePrintf(L"%s", text.c_str()); });
  EXPECT_EQ(out, Narrow(text.substr(0, 1023)));
  EXPECT_NE(result_, 0);
}

class FolderTest : public ::testing::Test {
 protected:
  ScratchDir scratch_{L"folders"};
};

TEST_F(FolderTest, MkDirPathSafeCreatesEveryMissingParent) {
  std::wstring deep = scratch_.path() + L"\\a\\b\\c";
  EXPECT_TRUE(MkDirPathSafe(deep));
  EXPECT_TRUE(IsDir(deep));
  // An existing folder is success and stays as it is.
  ASSERT_TRUE(larktest::WriteFileBytes(deep + L"\\keep.txt", std::string("k")));
  EXPECT_TRUE(MkDirPathSafe(deep));
  EXPECT_TRUE(FileExists(deep + L"\\keep.txt"));
}

TEST_F(FolderTest, MkDirPathSafeFailsBelowAFileAndForARelativeName) {
  ASSERT_TRUE(larktest::WriteFileBytes(scratch_.file(L"plain"), std::string("x")));
  EXPECT_FALSE(MkDirPathSafe(scratch_.file(L"plain") + L"\\sub"));
  EXPECT_FALSE(MkDirPathSafe(scratch_.file(L"plain") + L"\\sub\\deeper"));
  EXPECT_FALSE(MkDirPathSafe(scratch_.file(L"plain")));  // a file of that name
  EXPECT_TRUE(FileExists(scratch_.file(L"plain")));
  EXPECT_FALSE(MkDirPathSafe(L"no-separator-lark-test"));
  EXPECT_FALSE(Exists(L"no-separator-lark-test"));
}

TEST_F(FolderTest, RmDirRecursiveSafeRemovesANestedTree) {
  std::wstring root = scratch_.path() + L"\\tree";
  ASSERT_TRUE(MkDirPathSafe(root + L"\\x\\y\\z"));
  ASSERT_TRUE(MkDirPathSafe(root + L"\\w"));
  for (const wchar_t* f : {L"\\f1", L"\\x\\f2.txt", L"\\x\\y\\z\\f3", L"\\w\\.hidden"}) {
    ASSERT_TRUE(larktest::WriteFileBytes(root + f, std::string("data")));
  }
  EXPECT_TRUE(RmDirRecursiveSafe(root));
  EXPECT_FALSE(Exists(root));
  EXPECT_TRUE(IsDir(scratch_.path()));
}

TEST_F(FolderTest, RmDirRecursiveSafeStopsAtADotNamedSubfolder) {
  std::wstring root = scratch_.path() + L"\\dotted";
  ASSERT_TRUE(MkDirPathSafe(root + L"\\.git"));
  ASSERT_TRUE(larktest::WriteFileBytes(root + L"\\.git\\config", std::string("c")));
  ASSERT_TRUE(larktest::WriteFileBytes(root + L"\\top.txt", std::string("t")));
  EXPECT_FALSE(RmDirRecursiveSafe(root));
  // The dot folder and its content are kept; the tree itself stays.
  EXPECT_TRUE(IsDir(root));
  EXPECT_TRUE(FileExists(root + L"\\.git\\config"));
}

TEST_F(FolderTest, RmDirRecursiveSafeFailsOnBadInputAndReadOnlyFiles) {
  EXPECT_FALSE(RmDirRecursiveSafe(L""));
  EXPECT_FALSE(RmDirRecursiveSafe(scratch_.file(L"missing")));
  ASSERT_TRUE(larktest::WriteFileBytes(scratch_.file(L"file"), std::string("x")));
  EXPECT_FALSE(RmDirRecursiveSafe(scratch_.file(L"file")));
  EXPECT_TRUE(FileExists(scratch_.file(L"file")));

  std::wstring root = scratch_.path() + L"\\ro";
  ASSERT_TRUE(MkDirPathSafe(root));
  std::wstring locked = root + L"\\locked.txt";
  ASSERT_TRUE(larktest::WriteFileBytes(locked, std::string("x")));
  ASSERT_TRUE(SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(RmDirRecursiveSafe(root));
  EXPECT_TRUE(FileExists(locked));
  SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(FolderTest, RmDirRecursiveSafeRemovesAFolderLinkButNotItsTarget) {
  std::wstring outside = scratch_.path() + L"\\outside";
  ASSERT_TRUE(MkDirPathSafe(outside));
  ASSERT_TRUE(larktest::WriteFileBytes(outside + L"\\precious.txt", std::string("p")));
  std::wstring root = scratch_.path() + L"\\linked";
  ASSERT_TRUE(MkDirPathSafe(root));
  std::wstring link = root + L"\\link";
  typedef BOOLEAN(WINAPI * CreateLinkFn)(LPCWSTR, LPCWSTR, DWORD);
  CreateLinkFn createLink = reinterpret_cast<CreateLinkFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CreateSymbolicLinkW")));
  // Wine reports success here but creates nothing, so the case only runs
  // where links really exist.
  DWORD attributes = INVALID_FILE_ATTRIBUTES;
  if (createLink && createLink(link.c_str(), outside.c_str(), 1 /* directory */)) {
    attributes = GetFileAttributesW(link.c_str());
  }
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    GTEST_SKIP() << "folder links are not available here";
  }
  EXPECT_TRUE(RmDirRecursiveSafe(root));
  EXPECT_FALSE(Exists(root));
  EXPECT_TRUE(FileExists(outside + L"\\precious.txt"));
}

TEST(TempDirectoryTest, CreatesAFolderNamedFromPrefixAndTickCount) {
  std::wstring path = CreateTempDirectory(L"khcXYZ");
  EXPECT_TRUE(IsDir(path)) << Narrow(path);
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring name = path.substr(wcslen(temp));
  // first three characters of the prefix, hexadecimal digits, ".tmp"
  EXPECT_EQ(name.substr(0, 3), L"khc") << Narrow(name);
  std::wstring lowered = name;
  ToLowerInPlace(lowered);
  ASSERT_GE(lowered.size(), 8u);
  EXPECT_EQ(lowered.substr(lowered.size() - 4), L".tmp") << Narrow(name);
  EXPECT_EQ(lowered.find_first_not_of(L"0123456789abcdef", 3), lowered.size() - 4) << Narrow(name);
  // A second call in the same tick reuses the folder; either way it exists.
  std::wstring again = CreateTempDirectory(L"khc");
  EXPECT_TRUE(IsDir(again));
  RemoveDirectoryW(again.c_str());
  RemoveDirectoryW(path.c_str());
}

TEST(ReplaceFirstTest, ReplacesOnlyTheFirstOccurrence) {
  struct Case {
    const wchar_t* what;
    const wchar_t* text;
    const wchar_t* replacement;
    const wchar_t* expected;
  } cases[] = {
      {L"%ID%", L"a %ID% b %ID%", L"42", L"a 42 b %ID%"},
      {L"zz", L"abc", L"x", L"abc"},
      {L"", L"abc", L"<", L"<abc"},
      {L"abc", L"abc", L"", L""},
      {L"b", L"", L"x", L""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReplaceFirst(c.what, c.text, c.replacement), c.expected) << Narrow(c.text);
  }
}

TEST(SplitJoinTest, SplitByCommaKeepsEmptyPiecesUntrimmed) {
  struct Case {
    const wchar_t* text;
    std::vector<std::wstring> pieces;
  } cases[] = {
      {L"", {L""}},
      {L"a", {L"a"}},
      {L"a,,b", {L"a", L"", L"b"}},
      {L"a,", {L"a", L""}},
      {L",", {L"", L""}},
      {L" a , b ", {L" a ", L" b "}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitByComma(c.text), c.pieces) << Narrow(c.text);
}

TEST(SplitJoinTest, JoinWithSpacesUsesOneSpaceAndNoQuoting) {
  EXPECT_EQ(JoinWithSpaces({}), L"");
  EXPECT_EQ(JoinWithSpaces(SplitByComma(L"")), L"");
  EXPECT_EQ(JoinWithSpaces({L"a"}), L"a");
  EXPECT_EQ(JoinWithSpaces({L"--x", L"C:\\a b", L"", L"y"}), L"--x C:\\a b  y");
}

TEST(ToLowerInPlaceTest, ChangesOnlyAsciiLetters) {
  std::wstring text = L"ABC xyz [\x00C9\x0130\x0414] 09-Z";
  ToLowerInPlace(text);
  EXPECT_EQ(text, L"abc xyz [\x00C9\x0130\x0414] 09-z");
}
