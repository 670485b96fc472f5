// The program entry as the user meets it: the built larkstubinst.exe is run
// as a real process and its log folder, log files and exit codes are read
// back. Runs serially: it takes the machine-wide probe mutex and shares the
// log folder with every other run of the installer.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>

#include "installer/ExitCodes.h"
#include "installer/ProgramEntry.h"
#include "platform/NamedObjects.h"
#include "testsupport/TestEnv.h"

using namespace larktest;

namespace {

std::wstring CommonAppData() {
  wchar_t path[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

std::wstring LogFolder() { return CommonAppData() + L"\\K-Harbor\\Logs\\Lark"; }

// The UTF-16LE text a log file gained after `offset` bytes.
std::wstring LogTextAfter(const std::wstring& file, size_t offset) {
  std::string bytes;
  if (!ReadFileBytes(file, bytes) || bytes.size() <= offset) return std::wstring();
  bytes = bytes.substr(offset);
  return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
}

size_t FileSize(const std::wstring& file) {
  std::string bytes;
  return ReadFileBytes(file, bytes) ? bytes.size() : 0;
}

ProcessResult RunInstaller(const std::wstring& arguments) {
  return RunProcess(L"\"" + BuiltExe(L"larkstubinst") + L"\" " + arguments, L"", 60000);
}

}  // namespace

TEST(ProgramEntry, FirstInstanceWritesStubLogWithBannersAndBuildTime) {
  const std::wstring log = LogFolder() + L"\\stub.log";
  const size_t before = FileSize(log);

  ProcessResult r = RunInstaller(L"--show-settings");
  ASSERT_TRUE(r.started);
  ASSERT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitCode, static_cast<DWORD>(ExitCode::Success));

  DWORD attributes = GetFileAttributesW(LogFolder().c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);

  std::string bytes;
  ASSERT_TRUE(ReadFileBytes(log, bytes));
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), std::string("\xFF\xFE", 2));

  const std::wstring text = LogTextAfter(log, before);
  EXPECT_NE(text.find(L"***  LOGGING STARTED  ***"), std::wstring::npos) << Narrow(text);
  EXPECT_NE(text.find(L" I: Compilation time: "), std::wstring::npos) << Narrow(text);
  EXPECT_NE(text.find(L"wWinMain: Cleanup temp files: "), std::wstring::npos) << Narrow(text);
  EXPECT_NE(text.find(L"***  LOGGING ENDED  ***"), std::wstring::npos) << Narrow(text);
  EXPECT_LT(text.find(L"LOGGING STARTED"), text.find(L"Compilation time"));
  EXPECT_LT(text.find(L"Compilation time"), text.find(L"LOGGING ENDED"));
}

TEST(ProgramEntry, CopyStartedWhileTheFirstHoldsItsProbeLogsAsStub2) {
  // This test process plays the first instance by holding the first probe.
  HANDLE first = CreateOwnedMutex(kFirstProbeMutexName, false);
  ASSERT_NE(first, nullptr);
  const std::wstring log2 = LogFolder() + L"\\stub_2.log";
  const std::wstring log1 = LogFolder() + L"\\stub.log";
  const size_t before2 = FileSize(log2);
  const size_t before1 = FileSize(log1);

  ProcessResult r = RunInstaller(L"--show-settings");
  ReleaseMutex(first);
  CloseHandle(first);

  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, static_cast<DWORD>(ExitCode::Success));
  EXPECT_NE(LogTextAfter(log2, before2).find(L"Compilation time: "), std::wstring::npos);
  EXPECT_EQ(FileSize(log1), before1) << "the second copy must not write stub.log";
}

TEST(ProgramEntry, LogFolderThatCannotBeCreatedEndsWithNine) {
  // Put a file where the log folder belongs; the run must fail cleanly.
  const std::wstring folder = LogFolder();
  const std::wstring saved = folder + L".saved-by-test";
  RemoveTree(saved);
  const bool hadFolder = GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES;
  if (hadFolder) {
    ASSERT_TRUE(MoveFileW(folder.c_str(), saved.c_str()));
  }
  ASSERT_TRUE(WriteFileBytes(folder, std::string("not a folder")));

  ProcessResult r = RunInstaller(L"--show-settings");

  DeleteFileW(folder.c_str());
  if (hadFolder) {
    ASSERT_TRUE(MoveFileW(saved.c_str(), folder.c_str()));
  }
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, static_cast<DWORD>(ExitCode::Incompatible));
}

TEST(ProgramEntry, ElevatedCopyKeepsItsTempFolderUnlessTheResultIsFinal) {
  struct Case {
    bool elevated;
    int code;
    bool removed;
  } cases[] = {
      {false, 0, true}, {false, 5, true}, {false, 7, true}, {false, 11, true},
      {true, 0, true},  {true, 8, true},  {true, 9, true},  {true, 1, false},
      {true, 2, false}, {true, 5, false}, {true, 6, false}, {true, 7, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ShouldRemoveTempDirectory(c.elevated, c.code), c.removed)
        << "elevated " << c.elevated << " code " << c.code;
}

TEST(ProgramEntry, RemoveTempDirectorySwallowsFailures) {
  RemoveTempDirectory(L"");
  RemoveTempDirectory(L"C:\\no\\such\\folder\\lark");
  ScratchDir dir(L"entry");
  const std::wstring sub = dir.file(L"tmp");
  ASSERT_TRUE(CreateDirectoryW(sub.c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(sub + L"\\a.bin", std::string("x")));
  RemoveTempDirectory(sub);
  EXPECT_EQ(GetFileAttributesW(sub.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(ProgramEntry, BuiltProgramCarriesItsResources) {
  HMODULE exe = LoadLibraryExW(BuiltExe(L"larkstubinst").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(exe, nullptr);
  struct Resource {
    const wchar_t* type;
    int id;
    const char* what;
  } resources[] = {
      {RT_MANIFEST, 1, "manifest"},
      {L"PROPERTIES", 130, "localized texts"},
      {L"PROPERTIES", 131, "operator settings"},
      {RT_DIALOG, 134, "message page"},
      {RT_DIALOG, 144, "wrong operating-system page"},
      {RT_GROUP_ICON, 107, "icon 107"},
      {RT_GROUP_ICON, 108, "icon 108"},
      {RT_BITMAP, 1111, "logo"},
      {RT_BITMAP, 145, "page images"},
      {RT_BITMAP, 138, "close button"},
  };
  for (const Resource& r : resources)
    EXPECT_NE(FindResourceW(exe, MAKEINTRESOURCEW(r.id), r.type), nullptr) << r.what;
  FreeLibrary(exe);
}

TEST(ProgramEntry, ManifestAsksForNoRightsAndCommonControlsSix) {
  HMODULE exe = LoadLibraryExW(BuiltExe(L"larkstubinst").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(exe, nullptr);
  HRSRC found = FindResourceW(exe, MAKEINTRESOURCEW(1), RT_MANIFEST);
  ASSERT_NE(found, nullptr);
  const char* data = static_cast<const char*>(LockResource(LoadResource(exe, found)));
  const std::string manifest(data, SizeofResource(exe, found));
  FreeLibrary(exe);
  EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
  EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
}
