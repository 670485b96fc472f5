// Check and repair on real files in a private folder (the checker is given
// the folder, so the system's hosts file is never touched).
#include "hosts/HostsFileChecker.h"

#include <gtest/gtest.h>

#include "hosts/tests/HostsTestSupport.h"
#include "testsupport/TestEnv.h"

using khhosts::HostsFileChecker;
using hoststest::Attributes;
using hoststest::Exists;
using hoststest::ReadDaclSddl;
using hoststest::WriteDaclSddl;

namespace {

const DWORD kProtectiveAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

class HostsFolder {
 public:
  HostsFolder() : m_dir(L"hosts-fix") {}
  const std::wstring& dir() const { return m_dir.path(); }
  std::wstring hosts() const { return m_dir.file(L"hosts"); }
  std::wstring backup() const { return m_dir.file(L"hosts.bak"); }
  void write(const std::string& bytes) const { ASSERT_TRUE(larktest::WriteFileBytes(hosts(), bytes)); }
  std::string read(const std::wstring& path) const {
    std::string bytes;
    EXPECT_TRUE(larktest::ReadFileBytes(path, bytes)) << larktest::Narrow(path);
    return bytes;
  }

 private:
  larktest::ScratchDir m_dir;
};

// A literal with embedded NULs, as bytes.
template <size_t N>
std::string Bytes(const char (&text)[N]) {
  return std::string(text, N - 1);
}

struct RepairCase {
  const char* what;
  std::string before;
  std::vector<const wchar_t*> words;
  int check;
  int fix;
  std::string after;  // the rewritten file when fix is kFixed
};

const RepairCase kRepairCases[] = {
    {"maker name in lower case with hyphen, CR LF",
     "127.0.0.1 localhost\r\n10.0.0.1 update.k-harbor.example\r\n",
     {},
     khhosts::kNeedsRepair,
     khhosts::kFixed,
     "127.0.0.1 localhost\r\n"},
    {"LF-only file is rewritten with CR LF",
     "127.0.0.1 a\n10.0.0.1 x.KHARBOR.example\n# end\n",
     {},
     khhosts::kNeedsRepair,
     khhosts::kFixed,
     "127.0.0.1 a\r\n# end\r\n"},
    {"mixed line ends, no final line end",
     "1.1.1.1 a\r\n2.2.2.2 K-Harbor\n3.3.3.3 c",
     {},
     khhosts::kNeedsRepair,
     khhosts::kFixed,
     "1.1.1.1 a\r\n3.3.3.3 c"},
    {"every line corrupted",
     "10.0.0.1 kharbor\r\n10.0.0.2 k-harbor",
     {},
     khhosts::kNeedsRepair,
     khhosts::kFixed,
     ""},
    {"word after '#' and behind a leading '#' retained",
     "#10.0.0.1 k-harbor.example\r\n10.0.0.1 example.com # k-harbor\r\n   # KHARBOR\r\n\r\n",
     {},
     khhosts::kIsCorrect,
     khhosts::kNothingFixed,
     ""},
    {"only comments",
     "# Copyright\r\n#\r\n# 127.0.0.1 kharbor\r\n",
     {},
     khhosts::kIsCorrect,
     khhosts::kNothingFixed,
     ""},
    {"empty file", "", {}, khhosts::kIsCorrect, khhosts::kNothingFixed, ""},
    {"extra word in upper case",
     "1.2.3.4 www.acme.test\r\n5.6.7.8 other.test\r\n",
     {L"ACME"},
     khhosts::kNeedsRepair,
     khhosts::kFixed,
     "5.6.7.8 other.test\r\n"},
    {"extra word in lower case drops nothing",
     "1.2.3.4 www.acme.test\r\n",
     {L"acme"},
     khhosts::kIsCorrect,
     khhosts::kNothingFixed,
     ""},
    {"empty extra word drops nothing",
     "1.2.3.4 www.acme.test\r\n",
     {L""},
     khhosts::kIsCorrect,
     khhosts::kNothingFixed,
     ""},
    {"bytes above 127, NUL and Ctrl-Z survive",
     Bytes("1.1.1.1 \xe9\xff\0z\x1a\r\n2.2.2.2 KHARBOR\r\n\x1a tail"),
     {},
     khhosts::kNeedsRepair,
     khhosts::kFixed,
     Bytes("1.1.1.1 \xe9\xff\0z\x1a\r\n\x1a tail")},
};

TEST(HostsFileCheckerTest, EdgeCases) {
  for (const auto& c : kRepairCases) {
    SCOPED_TRACE(c.what);
    HostsFolder folder;
    folder.write(c.before);
    {
      HostsFileChecker checker(folder.dir());
      checker.SetWords(const_cast<const wchar_t**>(c.words.data()), static_cast<int>(c.words.size()));
      EXPECT_EQ(c.check, checker.NeedsRepair());
    }
    HostsFileChecker checker(folder.dir());
    checker.SetWords(const_cast<const wchar_t**>(c.words.data()), static_cast<int>(c.words.size()));
    EXPECT_EQ(c.fix, checker.Fix());
    if (c.fix == khhosts::kFixed) {
      EXPECT_EQ(c.before, folder.read(folder.backup()));
      EXPECT_EQ(c.after, folder.read(folder.hosts()));
      HostsFileChecker again(folder.dir());
      again.SetWords(const_cast<const wchar_t**>(c.words.data()), static_cast<int>(c.words.size()));
      EXPECT_EQ(khhosts::kIsCorrect, again.NeedsRepair());
    } else {
      EXPECT_FALSE(Exists(folder.backup()));
      EXPECT_EQ(c.before, folder.read(folder.hosts()));
    }
  }
}

TEST(HostsFileCheckerTest, ProtectiveAttributesAreRestoredAfterRepair) {
  HostsFolder folder;
  const std::string before = "127.0.0.1 localhost\r\n10.0.0.1 kharbor.example\r\n";
  folder.write(before);
  ASSERT_TRUE(SetFileAttributesW(folder.hosts().c_str(), kProtectiveAttributes | FILE_ATTRIBUTE_ARCHIVE));
  ASSERT_EQ(kProtectiveAttributes, Attributes(folder.hosts()) & kProtectiveAttributes);

  HostsFileChecker checker(folder.dir());
  EXPECT_EQ(khhosts::kNeedsRepair, checker.NeedsRepair());
  EXPECT_EQ(khhosts::kFixed, checker.Fix());
  EXPECT_EQ("127.0.0.1 localhost\r\n", folder.read(folder.hosts()));
  EXPECT_EQ(before, folder.read(folder.backup()));
  EXPECT_EQ(kProtectiveAttributes, Attributes(folder.hosts()) & kProtectiveAttributes);
}

TEST(HostsFileCheckerTest, SystemAttributeAloneIsRestored) {
  HostsFolder folder;
  folder.write("10.0.0.1 kharbor.example\r\n1.1.1.1 a\r\n");
  ASSERT_TRUE(SetFileAttributesW(folder.hosts().c_str(), FILE_ATTRIBUTE_SYSTEM));
  HostsFileChecker checker(folder.dir());
  EXPECT_EQ(khhosts::kFixed, checker.Fix());
  EXPECT_EQ("1.1.1.1 a\r\n", folder.read(folder.hosts()));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_SYSTEM), Attributes(folder.hosts()) & kProtectiveAttributes);
}

TEST(HostsFileCheckerTest, AccessListsReadBackAsBefore) {
  HostsFolder folder;
  folder.write("10.0.0.1 k-harbor.example\r\n1.1.1.1 a\r\n");
  ASSERT_TRUE(WriteDaclSddl(folder.dir(), L"D:P(A;OICI;FA;;;WD)"));
  ASSERT_TRUE(WriteDaclSddl(folder.hosts(), L"D:P(A;;FA;;;BA)(A;;FA;;;SY)(A;;0x1200a9;;;WD)"));
  const std::wstring folderBefore = ReadDaclSddl(folder.dir());
  const std::wstring fileBefore = ReadDaclSddl(folder.hosts());
  ASSERT_FALSE(folderBefore.empty());
  ASSERT_FALSE(fileBefore.empty());

  HostsFileChecker checker(folder.dir());
  EXPECT_EQ(khhosts::kFixed, checker.Fix());
  EXPECT_EQ("1.1.1.1 a\r\n", folder.read(folder.hosts()));
  EXPECT_EQ(folderBefore, ReadDaclSddl(folder.dir()));
  EXPECT_EQ(fileBefore, ReadDaclSddl(folder.hosts()));
}

// The two permission steps on their own: the first really changes what the
// system reports (so the comparison above means something), the second puts
// it back.
TEST(HostsFileCheckerTest, PermissionStepsChangeAndRestore) {
  HostsFolder folder;
  folder.write("1.1.1.1 a\r\n");
  ASSERT_TRUE(WriteDaclSddl(folder.dir(), L"D:P(A;OICI;FA;;;WD)"));
  ASSERT_TRUE(WriteDaclSddl(folder.hosts(), L"D:P(A;;FA;;;WD)"));
  ASSERT_TRUE(SetFileAttributesW(folder.hosts().c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
  const std::wstring folderBefore = ReadDaclSddl(folder.dir());
  const std::wstring fileBefore = ReadDaclSddl(folder.hosts());
  const DWORD attributesBefore = Attributes(folder.hosts());

  HostsFileChecker checker(folder.dir());
  SecurityDescriptorHolder savedFolder, savedFile;
  ASSERT_TRUE(checker.SetPermission(savedFolder, savedFile, HostsFileChecker::kSetFixed));
  EXPECT_NE(folderBefore, ReadDaclSddl(folder.dir()));
  EXPECT_NE(fileBefore, ReadDaclSddl(folder.hosts()));
  EXPECT_EQ(0u, Attributes(folder.hosts()) & kProtectiveAttributes);

  ASSERT_TRUE(checker.SetPermission(savedFolder, savedFile, HostsFileChecker::kRestoreSaved));
  EXPECT_EQ(folderBefore, ReadDaclSddl(folder.dir()));
  EXPECT_EQ(fileBefore, ReadDaclSddl(folder.hosts()));
  EXPECT_EQ(attributesBefore, Attributes(folder.hosts()));

  EXPECT_FALSE(checker.SetPermission(savedFolder, savedFile, 2));
  savedFolder.Free();
  savedFile.Free();
}

// A restore step that fails does not stop the others: the file still gets
// its access list and attributes back.
TEST(HostsFileCheckerTest, RestoreTriesEveryStep) {
  HostsFolder folder;
  folder.write("1.1.1.1 a\r\n");
  ASSERT_TRUE(WriteDaclSddl(folder.hosts(), L"D:P(A;;FA;;;WD)"));
  ASSERT_TRUE(SetFileAttributesW(folder.hosts().c_str(), FILE_ATTRIBUTE_HIDDEN));
  const std::wstring fileBefore = ReadDaclSddl(folder.hosts());

  HostsFileChecker checker(folder.dir());
  SecurityDescriptorHolder savedFolder, savedFile;
  ASSERT_TRUE(checker.SetPermission(savedFolder, savedFile, HostsFileChecker::kSetFixed));
  const std::wstring folderFixed = ReadDaclSddl(folder.dir());
  savedFolder.Free();  // the folder's step now has nothing to apply
  EXPECT_FALSE(checker.SetPermission(savedFolder, savedFile, HostsFileChecker::kRestoreSaved));
  EXPECT_EQ(fileBefore, ReadDaclSddl(folder.hosts()));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN), Attributes(folder.hosts()) & kProtectiveAttributes);
  // An empty descriptor is refused without touching the folder.
  EXPECT_EQ(folderFixed, ReadDaclSddl(folder.dir()));
  savedFile.Free();
}

TEST(HostsFileCheckerTest, MissingFileNeedsNoRepairButCannotBeRepaired) {
  HostsFolder folder;
  const std::wstring folderBefore = ReadDaclSddl(folder.dir());
  HostsFileChecker checker(folder.dir());
  EXPECT_EQ(khhosts::kIsCorrect, checker.NeedsRepair());
  EXPECT_EQ(khhosts::kFixFailed, checker.Fix());
  EXPECT_FALSE(Exists(folder.hosts()));
  EXPECT_FALSE(Exists(folder.backup()));
  EXPECT_EQ(folderBefore, ReadDaclSddl(folder.dir()));
}

TEST(HostsFileCheckerTest, UnreadableHostsFails) {
  HostsFolder folder;
  // A folder named "hosts" exists but has no content to read.
  ASSERT_TRUE(CreateDirectoryW(folder.hosts().c_str(), nullptr));
  HostsFileChecker checker(folder.dir());
  EXPECT_EQ(khhosts::kCannotRead, checker.NeedsRepair());
  EXPECT_EQ(khhosts::kFixFailed, checker.Fix());
  EXPECT_FALSE(Exists(folder.backup()));
}

TEST(HostsFileCheckerTest, FileOpenWithoutSharingCannotBeRead) {
  HostsFolder folder;
  folder.write("10.0.0.1 kharbor\r\n");
  HANDLE h = CreateFileW(folder.hosts().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  HostsFileChecker checker(folder.dir());
  EXPECT_EQ(khhosts::kCannotRead, checker.NeedsRepair());
  EXPECT_EQ(khhosts::kFixFailed, checker.Fix());
  CloseHandle(h);
  EXPECT_EQ("10.0.0.1 kharbor\r\n", folder.read(folder.hosts()));
}

// The rewrite cannot open the file: the repair fails, the file keeps its
// content and gets its attributes back; the backup was already written.
TEST(HostsFileCheckerTest, RewriteThatCannotOpenLeavesFileAsItWas) {
  HostsFolder folder;
  const std::string before = "10.0.0.1 kharbor\r\n1.1.1.1 a\r\n";
  folder.write(before);
  ASSERT_TRUE(SetFileAttributesW(folder.hosts().c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  HANDLE h = CreateFileW(folder.hosts().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  HostsFileChecker checker(folder.dir());
  EXPECT_EQ(khhosts::kNeedsRepair, checker.NeedsRepair());
  EXPECT_EQ(khhosts::kFixFailed, checker.Fix());
  CloseHandle(h);
  EXPECT_EQ(before, folder.read(folder.hosts()));
  EXPECT_EQ(before, folder.read(folder.backup()));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
            Attributes(folder.hosts()) & kProtectiveAttributes);
}

TEST(HostsFileCheckerTest, EarlierBackupIsReplacedEvenWhenReadOnly) {
  HostsFolder folder;
  ASSERT_TRUE(larktest::WriteFileBytes(folder.backup(), std::string(5000, 'o')));
  ASSERT_TRUE(SetFileAttributesW(folder.backup().c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  const std::string before = "10.0.0.1 kharbor\n";
  folder.write(before);
  HostsFileChecker checker(folder.dir());
  EXPECT_EQ(khhosts::kFixed, checker.Fix());
  EXPECT_EQ(before, folder.read(folder.backup()));
  EXPECT_EQ("", folder.read(folder.hosts()));
}

TEST(HostsFileCheckerTest, FolderWithTrailingBackslash) {
  HostsFolder folder;
  folder.write("1.1.1.1 kharbor\r\n2.2.2.2 b\r\n");
  HostsFileChecker checker(folder.dir() + L"\\");
  EXPECT_EQ(khhosts::kNeedsRepair, checker.NeedsRepair());
  EXPECT_EQ(khhosts::kFixed, checker.Fix());
  EXPECT_EQ("2.2.2.2 b\r\n", folder.read(folder.hosts()));
}

TEST(HostsFileCheckerTest, NullWordEntriesAreSkipped) {
  HostsFolder folder;
  folder.write("1.2.3.4 acme.test\r\n");
  const wchar_t* words[] = {nullptr, L"ACME", nullptr};
  HostsFileChecker checker(folder.dir());
  checker.SetWords(words, 3);
  EXPECT_EQ(khhosts::kNeedsRepair, checker.NeedsRepair());
  HostsFileChecker none(folder.dir());
  none.SetWords(words, -1);
  EXPECT_EQ(khhosts::kIsCorrect, none.NeedsRepair());
}

// Over 5 MB: 120,000 lines of which every 997th names the maker.
TEST(HostsFileCheckerTest, FiveMegabyteFile) {
  HostsFolder folder;
  std::string before, expected;
  for (int i = 0; i < 120000; ++i) {
    std::string line = "10." + std::to_string(i % 250) + ".0.1 host" + std::to_string(i) +
                       (i % 997 == 0 ? ".k-harbor.example" : ".example.org") + "   # entry\r\n";
    before += line;
    if (i % 997 != 0) expected += line;
  }
  ASSERT_GT(before.size(), 5000000u);
  folder.write(before);
  HostsFileChecker checker(folder.dir());
  EXPECT_EQ(khhosts::kNeedsRepair, checker.NeedsRepair());
  EXPECT_EQ(khhosts::kFixed, checker.Fix());
  EXPECT_TRUE(before == folder.read(folder.backup()));
  EXPECT_TRUE(expected == folder.read(folder.hosts()));
}

}  // namespace
