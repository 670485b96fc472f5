// The resume-information file: where it lives, what a record looks like on
// disk, and how numbers and texts read back.
#include <gtest/gtest.h>
#include <shlobj.h>

#include "download/FileInfoHandler.h"
#include "download/tests/DownloadTestSupport.h"
#include "platform/SecurityDescriptor.h"
#include "testsupport/TestEnv.h"

using khdownload::FileInfoHandler;
using namespace larktest;

namespace {

const bool g_reset = (downloadtest::ResetOwnResumeFile(), true);

std::wstring CommonAppData() {
  wchar_t path[MAX_PATH];
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, path))) return L"";
  return path;
}

}  // namespace

TEST(ResumeStore, OpensTheProgramsOwnFileInTheProtectedFolder) {
  FileInfoHandler store;
  ASSERT_TRUE(store.Open());
  std::wstring name;
  ASSERT_TRUE(khdownload::GetOwnExecutableName(name));
  EXPECT_EQ(name, L"download_resume_file_test.exe");
  // Under Wine the user is an administrator.
  ASSERT_TRUE(AdminCheck().IsAdmin());
  std::wstring folder = CommonAppData() + L"\\K-Harbor\\KHDownloadProtected";
  EXPECT_EQ(store.CurrentPath(), folder + L"\\download_resume_file_test.exe.downloads.ini");
  DWORD attributes = GetFileAttributesW(folder.c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(ResumeStore, RecordIsOneSectionPerUrlWithKeysInWriteOrder) {
  ScratchDir dir(L"resume");
  std::wstring ini = dir.file(L"r.ini");
  FileInfoHandler store;
  ASSERT_TRUE(store.SetFile(ini.c_str()));
  const wchar_t* url = L"http://example.test:8080/pkg/a.msi?x=1";
  EXPECT_TRUE(store.WriteContentLength(url, 5000));
  EXPECT_TRUE(store.WriteSizeDownloaded(url, 1000));
  EXPECT_TRUE(store.WriteFileLocation(url, L"C:\\dl\\a.msi"));
  EXPECT_TRUE(store.WriteLastModified(url, L"Wed, 09 Dec 2026 10:00:00 GMT"));
  EXPECT_TRUE(store.WriteSizeDownloaded(url, 2000));  // overwritten in place

  std::string text;
  ASSERT_TRUE(ReadFileBytes(ini, text));
  EXPECT_EQ(text,
            "[http://example.test:8080/pkg/a.msi?x=1]\r\n"
            "Content-Length=5000\r\n"
            "SizeDownloaded=2000\r\n"
            "FileLocation=C:\\dl\\a.msi\r\n"
            "LastModified=Wed, 09 Dec 2026 10:00:00 GMT\r\n");

  DWORD n = 0;
  EXPECT_TRUE(store.ReadContentLength(url, n));
  EXPECT_EQ(n, 5000u);
  EXPECT_TRUE(store.ReadSizeDownloaded(url, n));
  EXPECT_EQ(n, 2000u);
  wchar_t buffer[512];
  EXPECT_TRUE(store.ReadFileLocation(url, buffer, 512));
  EXPECT_STREQ(buffer, L"C:\\dl\\a.msi");
  // Another URL's section is missing: its texts read as empty and succeed.
  EXPECT_TRUE(store.ReadLastModified(L"http://other.test/b", buffer, 512));
  EXPECT_STREQ(buffer, L"");
}

TEST(ResumeStore, NumbersReadBackAsTheirValueOrZero) {
  ScratchDir dir(L"resume");
  std::wstring ini = dir.file(L"n.ini");
  FileInfoHandler store;
  ASSERT_TRUE(store.SetFile(ini.c_str()));
  DWORD value = 7;
  EXPECT_FALSE(store.ReadContentLength(L"u", value)) << "a missing file fails";
  EXPECT_EQ(value, 0u);

  struct Case {
    const char* text;
    bool ok;
    DWORD value;
  } cases[] = {
      {"5000", true, 5000}, {"abc", true, 0},          {"", true, 0},           {"4294967294", true, 4294967294u},
      {"4294967295", false, 0}, {"99999999999", false, 0}, {"12abc", true, 12},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(WritePrivateProfileStringW(L"u", L"Content-Length", Widen(c.text).c_str(), ini.c_str()));
    value = 7;
    EXPECT_EQ(store.ReadContentLength(L"u", value), c.ok) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
  }
}

TEST(ResumeStore, TextsUpTo511CharactersReadBackWhole) {
  ScratchDir dir(L"resume");
  std::wstring ini = dir.file(L"t.ini");
  FileInfoHandler store;
  ASSERT_TRUE(store.SetFile(ini.c_str()));
  wchar_t buffer[512];
  std::wstring fits(511, L'm');
  ASSERT_TRUE(store.WriteLastModified(L"u", fits.c_str()));
  EXPECT_TRUE(store.ReadLastModified(L"u", buffer, 512));
  EXPECT_EQ(std::wstring(buffer), fits);
  ASSERT_TRUE(store.WriteLastModified(L"u", std::wstring(512, L'm').c_str()));
  EXPECT_FALSE(store.ReadLastModified(L"u", buffer, 512));
}

TEST(ResumeStore, UnopenedStoreFailsEveryAccess) {
  FileInfoHandler store;
  DWORD n = 1;
  wchar_t buffer[16];
  EXPECT_FALSE(store.ReadSizeDownloaded(L"u", n));
  EXPECT_EQ(n, 0u);
  EXPECT_FALSE(store.WriteSizeDownloaded(L"u", 3));
  EXPECT_FALSE(store.ReadFileLocation(L"u", buffer, 16));
  EXPECT_FALSE(store.SetFile(nullptr));
  EXPECT_FALSE(store.WriteFileLocation(L"u", L"x")) << "a store without a path writes nowhere";
}

TEST(ResumeStore, FormatNumberNeedsRoomForTheTerminator) {
  FileInfoHandler store;
  wchar_t buffer[11];
  EXPECT_TRUE(store.FormatNumber(4294967295u, buffer, 11));
  EXPECT_STREQ(buffer, L"4294967295");
  EXPECT_FALSE(store.FormatNumber(4294967295u, buffer, 10));
  EXPECT_TRUE(store.FormatNumber(0, buffer, 2));
  EXPECT_STREQ(buffer, L"0");
}
