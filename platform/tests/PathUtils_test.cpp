// Path composition, folder creation and removal, error texts, console
// output and the string helpers, against the real file system of the prefix.
#include "platform/PathUtils.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "testsupport/TestEnv.h"

using larktest::Narrow;
using larktest::ReadFileBytes;
using larktest::ScratchDir;
using larktest::WriteFileBytes;

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

// Points the user's temporary folder (GetTempPathW reads TMP first) at a
// scratch folder of this test, or at another folder of its own
// (PointTempAt), so that the names it takes there touch no other test; TMP
// is restored afterwards.
class TempDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t old[MAX_PATH];
    DWORD length = GetEnvironmentVariableW(L"TMP", old, MAX_PATH);
    m_hadTmp = length > 0 && length < MAX_PATH;
    if (m_hadTmp) m_oldTmp = old;
    PointTempAt(m_scratch.path());
  }
  void TearDown() override { SetEnvironmentVariableW(L"TMP", m_hadTmp ? m_oldTmp.c_str() : nullptr); }

  void PointTempAt(const std::wstring& folder) {
    m_temp = folder;
    ASSERT_TRUE(SetEnvironmentVariableW(L"TMP", folder.c_str()));
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    ASSERT_EQ(std::wstring(temp), folder + L"\\");
  }
  // The name CreateTempDirectory(L"khc") composes for a number.
  std::wstring NameOf(UINT unique) const {
    wchar_t name[MAX_PATH];
    GetTempFileNameW((m_temp + L"\\").c_str(), L"khc", unique, name);
    return name;
  }

  ScratchDir m_scratch{L"tempdir"};
  std::wstring m_temp;
  std::wstring m_oldTmp;
  bool m_hadTmp = false;
};

// Entries of a folder, "." and ".." left out.
size_t EntryCount(const std::wstring& folder) {
  size_t count = 0;
  WIN32_FIND_DATAW entry;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return 0;
  do {
    if (wcscmp(entry.cFileName, L".") != 0 && wcscmp(entry.cFileName, L"..") != 0) ++count;
  } while (FindNextFileW(search, &entry));
  FindClose(search);
  return count;
}

std::string FileText(const std::wstring& path) {
  std::string bytes;
  return ReadFileBytes(path, bytes) ? bytes : "(unreadable)";
}

TEST_F(TempDirectoryTest, CreatesAFolderNamedFromPrefixAndTickCount) {
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
  // A second call in the same tick gets a folder of its own.
  std::wstring again = CreateTempDirectory(L"khc");
  EXPECT_TRUE(IsDir(again));
  EXPECT_NE(again, path);
  RemoveDirectoryW(again.c_str());
  RemoveDirectoryW(path.c_str());
}

// How platform/tests/make_temp_names.py takes the name of each number.
enum TakenKind { kTakenFolder, kTakenFile, kLinkToFolder };
TakenKind TakenKindOf(UINT n) {
  if (n == 1 || n == 0xFFFF || n % 16 == 0) return kTakenFile;
  if (n % 16 == 8) return kLinkToFolder;
  return kTakenFolder;
}

// Every name of the temporary folder is taken beforehand (the fixture
// platform_temp_names_make: plain files, links to a folder outside that
// holds qoma32.dll, empty folders), and the folders from the tick count on
// get a planted qoma32.dll. One name at a time is set free: the call must
// make exactly that folder, whether the free number lies behind the tick
// count (the search wraps past 0xFFFF to 1) or ahead of it, and no taken
// name is returned or written into. With every name taken the call throws
// and writes nothing.
TEST_F(TempDirectoryTest, MakesOnlyAFolderThatDidNotExist) {
  const UINT kLast = 0xFFFF;
  const UINT kWindow = 200;   // planted folders from the tick count on
  const DWORD kMargin = 1000;  // ms the call may start after the tick count is read
  const std::wstring names = larktest::BinaryDir() + L"\\platform\\temp-names";
  const std::wstring outside = names + L".target";
  ASSERT_EQ(EntryCount(names), static_cast<size_t>(kLast)) << "made by the CTest fixture platform_temp_names_make";
  PointTempAt(names);
  {
    // The fixture's names are the ones composed here, letter case included,
    // so that each is found without a scan of the whole folder.
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(NameOf(0xABCD).c_str(), &entry);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    FindClose(search);
    ASSERT_EQ(names + L"\\" + entry.cFileName, NameOf(0xABCD));
  }
  const std::string planted = "planted library\n";
  std::vector<UINT> plantedNumbers;
  auto isPlanted = [&](UINT n) {
    return std::find(plantedNumbers.begin(), plantedNumbers.end(), n) != plantedNumbers.end();
  };
  // The count names from number from on (wrapping past 0xFFFF) are as they
  // were taken, except skip, the one set free; the folder holds no new name.
  // Checking all 65,535 names would take about 20 s under Wine; the call
  // makes names, nothing inside them, so the places where a search starts,
  // wraps and ends show what it did.
  auto unchanged = [&](UINT from, UINT count, UINT skip) {
    for (UINT i = 0; i < count; ++i) {
      const UINT n = (from - 1 + i) % kLast + 1;
      if (n == skip) continue;
      const std::wstring name = NameOf(n);
      switch (TakenKindOf(n)) {
        case kTakenFile:
          EXPECT_EQ(FileText(name), "plain file " + std::to_string(n) + "\n") << n;
          break;
        case kTakenFolder:
          EXPECT_TRUE(IsDir(name)) << n;
          EXPECT_EQ(EntryCount(name), isPlanted(n) ? 1u : 0u) << n;
          if (isPlanted(n)) {
            EXPECT_EQ(FileText(name + L"\\qoma32.dll"), planted) << n;
          }
          break;
        case kLinkToFolder:
          EXPECT_TRUE(IsDir(name)) << n;
          break;
      }
    }
    EXPECT_EQ(EntryCount(outside), 1u);
    EXPECT_EQ(FileText(outside + L"\\qoma32.dll"), "outside library\n");
    EXPECT_EQ(EntryCount(names), static_cast<size_t>(kLast)) << "the call left a new name";
  };
  // Waits until the low 16 bits of the tick count are far from wrapping,
  // plants the library in the folders from there on and returns the tick
  // count, where the call's search will start.
  auto startHere = [&]() -> DWORD {
    DWORD now;
    while ((now = GetTickCount()) % 0x10000 < 32 || now % 0x10000 > kLast - kWindow - kMargin - 32) Sleep(10);
    for (UINT n = now % 0x10000; n < now % 0x10000 + kWindow; ++n) {
      if (TakenKindOf(n) != kTakenFolder || isPlanted(n)) continue;
      EXPECT_TRUE(WriteFileBytes(NameOf(n) + L"\\qoma32.dll", planted)) << n;
      plantedNumbers.push_back(n);
    }
    return now;
  };

  struct Case {
    const char* name;
    bool behind;  // the free number lies behind the tick count
  } cases[] = {
      {"free number behind the start: the search wraps", true},
      {"free number ahead, past the planted folders", false},
  };
  DWORD searchMs[2] = {};
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(cases[i].name);
    const DWORD now = startHere();
    const UINT start = now % 0x10000;
    UINT free = cases[i].behind ? start - 1 : start + kWindow;
    while (TakenKindOf(free) != kTakenFolder) {
      if (cases[i].behind) {
        --free;
      } else {
        ++free;
      }
    }
    ASSERT_TRUE(RemoveDirectoryW(NameOf(free).c_str())) << free;
    std::wstring path;
    const DWORD before = GetTickCount();
    EXPECT_LT(before - now, kMargin) << "too late to be sure where the search starts";
    EXPECT_EQ(ThrownText([&] { path = CreateTempDirectory(L"khc"); }), "");
    searchMs[i] = GetTickCount() - before;
    EXPECT_EQ(Narrow(path), Narrow(NameOf(free))) << "search started near " << start;
    EXPECT_TRUE(IsDir(path));
    EXPECT_EQ(EntryCount(path), 0u);
    if (cases[i].behind) {
      unchanged(start - 32, kWindow + 64, free);
      unchanged(kLast - 31, 64, free);
    } else {
      unchanged(start - 32, free - start + 64, free);
    }
  }

  // Every name taken: the call throws and nothing changes anywhere.
  const DWORD now = startHere();
  const DWORD before = GetTickCount();
  EXPECT_EQ(ThrownText([] { CreateTempDirectory(L"khc"); }), "failed to create directory");
  const DWORD fullMs = GetTickCount() - before;
  unchanged(now % 0x10000 - 32, kWindow + 64, 0);
  unchanged(kLast - 31, 64, 0);
  RecordProperty("wrapping_search_ms", static_cast<int>(searchMs[0]));
  RecordProperty("ahead_search_ms", static_cast<int>(searchMs[1]));
  RecordProperty("all_taken_ms", static_cast<int>(fullMs));
  for (UINT n : plantedNumbers) DeleteFileW((NameOf(n) + L"\\qoma32.dll").c_str());
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
