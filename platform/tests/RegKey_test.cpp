// CRegKey and CreateKey against the real registry of the prefix, each test
// under its own key below HKCU\Software\LarkTests (HKLM for one round trip).
#include "platform/RegKey.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>
#include <shlwapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "testsupport/TestEnv.h"

using larktest::Narrow;

namespace {

std::vector<std::wstring> Sorted(std::vector<std::wstring> v) {
  std::sort(v.begin(), v.end());
  return v;
}

bool KeyExists(HKEY root, const std::wstring& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

struct RawValue {
  long result = -1;
  DWORD type = 0;
  std::string bytes;
};

RawValue QueryRaw(HKEY key, const wchar_t* name) {
  RawValue v;
  BYTE buffer[4096];
  DWORD size = sizeof buffer;
  v.result = RegQueryValueExW(key, name, nullptr, &v.type, buffer, &size);
  if (v.result == ERROR_SUCCESS) v.bytes.assign(reinterpret_cast<char*>(buffer), size);
  return v;
}

}  // namespace

class RegKeyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = L"Software\\LarkTests\\" + larktest::UniqueName(L"regkey-");
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &raw_,
                              nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(key_.OpenKey(HKEY_CURRENT_USER, path_, KEY_ALL_ACCESS), ERROR_SUCCESS);
  }
  void TearDown() override {
    key_.Close();
    if (raw_) RegCloseKey(raw_);
    SHDeleteKeyW(HKEY_CURRENT_USER, path_.c_str());
  }
  std::wstring path_;
  HKEY raw_ = nullptr;  // the same key, opened independently
  CRegKey key_;
};

TEST(CRegKeyEmptyTest, AnEmptyObjectAnswersHarmlessly) {
  CRegKey key;
  EXPECT_EQ(key.Close(), ERROR_SUCCESS);
  EXPECT_EQ(key.Detach(), nullptr);
  EXPECT_TRUE(key.ListSubKeys().empty());
  EXPECT_TRUE(key.ListValueNames().empty());
  std::wstring out = L"unchanged";
  EXPECT_NE(key.ReadString(out, L"x"), ERROR_SUCCESS);
  EXPECT_EQ(out, L"unchanged");
}

TEST_F(RegKeyTest, ValuesRoundTripWithTheirTypesAndSizes) {
  EXPECT_EQ(key_.WriteDword(7, std::wstring(L"d1")), ERROR_SUCCESS);
  EXPECT_EQ(key_.WriteDword(0xFFFFFFFFu, L"d2"), ERROR_SUCCESS);
  EXPECT_EQ(key_.WriteString(std::wstring(L"text one"), std::wstring(L"s1")), ERROR_SUCCESS);
  EXPECT_EQ(key_.WriteString(L"C:\\Program Files\\Lark", L"s2"), ERROR_SUCCESS);
  EXPECT_EQ(key_.WriteString(std::wstring(), std::wstring(L"empty")), ERROR_SUCCESS);
  const BYTE blob[] = {0, 1, 2, 0xFF, 0};
  EXPECT_EQ(key_.WriteBinary(blob, sizeof blob, L"b"), ERROR_SUCCESS);

  RawValue s1 = QueryRaw(raw_, L"s1");
  EXPECT_EQ(s1.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(s1.bytes.size(), (8u + 1) * 2);  // terminator included
  EXPECT_EQ(QueryRaw(raw_, L"s2").bytes.size(), (21u + 1) * 2);
  EXPECT_EQ(QueryRaw(raw_, L"empty").bytes.size(), 2u);
  EXPECT_EQ(QueryRaw(raw_, L"d1").type, static_cast<DWORD>(REG_DWORD));
  RawValue b = QueryRaw(raw_, L"b");
  EXPECT_EQ(b.type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(b.bytes, std::string(reinterpret_cast<const char*>(blob), sizeof blob));

  DWORD d = 0;
  EXPECT_EQ(key_.ReadValue(&d, L"d1"), ERROR_SUCCESS);
  EXPECT_EQ(d, 7u);
  EXPECT_EQ(key_.ReadValue(&d, L"d2"), ERROR_SUCCESS);
  EXPECT_EQ(d, 0xFFFFFFFFu);
  std::wstring s;
  EXPECT_EQ(key_.ReadString(s, L"s1"), ERROR_SUCCESS);
  EXPECT_EQ(s, L"text one");
  EXPECT_EQ(key_.ReadString(s, L"s2"), ERROR_SUCCESS);
  EXPECT_EQ(s, L"C:\\Program Files\\Lark");
  s = L"old";
  EXPECT_EQ(key_.ReadString(s, L"empty"), ERROR_SUCCESS);
  EXPECT_EQ(s, L"");

  BYTE buffer[16] = {};
  DWORD size = sizeof buffer;
  EXPECT_EQ(key_.ReadValue(buffer, L"b", &size), ERROR_SUCCESS);
  EXPECT_EQ(size, sizeof blob);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), size), b.bytes);
  size = 2;
  EXPECT_EQ(key_.ReadValue(buffer, L"b", &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, sizeof blob);
}

TEST_F(RegKeyTest, ReadStringCopesWithMissingEmptyAndUnterminatedValues) {
  std::wstring out = L"unchanged";
  EXPECT_EQ(key_.ReadString(out, L"missing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(out, L"unchanged");

  // Stored without a terminator: exactly the stored characters come back.
  const wchar_t text[] = L"abcdef";
  ASSERT_EQ(RegSetValueExW(raw_, L"bare", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 6 * sizeof(wchar_t)),
            ERROR_SUCCESS);
  EXPECT_EQ(key_.ReadString(out, L"bare"), ERROR_SUCCESS);
  EXPECT_EQ(out, L"abcdef");

  // An odd byte count keeps the whole characters only.
  ASSERT_EQ(RegSetValueExW(raw_, L"odd", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 5), ERROR_SUCCESS);
  EXPECT_EQ(key_.ReadString(out, L"odd"), ERROR_SUCCESS);
  EXPECT_EQ(out, L"ab");

  // A value of size 0 leaves the output as it was.
  out = L"kept";
  ASSERT_EQ(RegSetValueExW(raw_, L"zero", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 0), ERROR_SUCCESS);
  EXPECT_EQ(key_.ReadString(out, L"zero"), ERROR_SUCCESS);
  EXPECT_EQ(out, L"kept");

  // The text stops at an embedded null; the type is not looked at.
  const wchar_t multi[] = L"one\0two\0";
  ASSERT_EQ(RegSetValueExW(raw_, L"multi", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi), sizeof multi),
            ERROR_SUCCESS);
  EXPECT_EQ(key_.ReadString(out, L"multi"), ERROR_SUCCESS);
  EXPECT_EQ(out, L"one");
}

TEST_F(RegKeyTest, DwordReaderRejectsAValueLongerThanFourBytes) {
  ASSERT_EQ(key_.WriteString(L"a long string value", L"AgentSupportsMultipleOperators"), ERROR_SUCCESS);
  DWORD d = 0;
  EXPECT_EQ(key_.ReadValue(&d, L"AgentSupportsMultipleOperators"), ERROR_MORE_DATA);
  EXPECT_EQ(key_.ReadValue(&d, L"missing"), ERROR_FILE_NOT_FOUND);
  // A 4-byte value of another type is read as it is.
  const BYTE four[] = {1, 0, 0, 0};
  ASSERT_EQ(key_.WriteBinary(four, 4, L"four"), ERROR_SUCCESS);
  EXPECT_EQ(key_.ReadValue(&d, L"four"), ERROR_SUCCESS);
  EXPECT_EQ(d, 1u);
}

TEST_F(RegKeyTest, ListsSubKeysAndValueNames) {
  EXPECT_TRUE(key_.ListSubKeys().empty());
  EXPECT_TRUE(key_.ListValueNames().empty());
  for (const wchar_t* sub : {L"alpha", L"Beta Key", L"c"}) {
    EXPECT_EQ(key_.WriteSubKeyString(sub, L"v", L"n"), ERROR_SUCCESS);
  }
  key_.WriteDword(1, L"one");
  key_.WriteString(L"x", L"a much longer value name than the others");
  EXPECT_EQ(Sorted(key_.ListSubKeys()), (std::vector<std::wstring>{L"Beta Key", L"alpha", L"c"}));
  EXPECT_EQ(Sorted(key_.ListValueNames()),
            (std::vector<std::wstring>{L"a much longer value name than the others", L"one"}));
}

TEST_F(RegKeyTest, WriteSubKeyStringCreatesOrReusesTheSubkey) {
  EXPECT_EQ(key_.WriteSubKeyString(L"Origins\\pkg", L"http://example.invalid/a.msi", L"url"), ERROR_SUCCESS);
  EXPECT_EQ(key_.WriteSubKeyString(L"Origins\\pkg", L"second", L"other"), ERROR_SUCCESS);
  CRegKey sub;
  ASSERT_EQ(sub.OpenKey(raw_, L"Origins\\pkg", KEY_READ), ERROR_SUCCESS);
  std::wstring v;
  EXPECT_EQ(sub.ReadString(v, L"url"), ERROR_SUCCESS);
  EXPECT_EQ(v, L"http://example.invalid/a.msi");
  EXPECT_EQ(sub.ReadString(v, L"other"), ERROR_SUCCESS);
  EXPECT_EQ(v, L"second");
}

TEST_F(RegKeyTest, CreateSubKeyReportsDispositionAndHoldsTheNewKey) {
  CRegKey key;
  DWORD disposition = 0;
  EXPECT_EQ(key.CreateSubKey(raw_, std::wstring(L"made"), nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                             &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  EXPECT_EQ(key.WriteDword(3, L"inside"), ERROR_SUCCESS);
  EXPECT_EQ(key.CreateSubKey(raw_, L"made", nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  EXPECT_EQ(key.CreateSubKey(raw_, L"made\\deeper", nullptr, 0, KEY_ALL_ACCESS, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, path_ + L"\\made\\deeper"));
  DWORD d = 0;
  CRegKey made;
  ASSERT_EQ(made.OpenKey(raw_, L"made", KEY_READ), ERROR_SUCCESS);
  EXPECT_EQ(made.ReadValue(&d, L"inside"), ERROR_SUCCESS);
  EXPECT_EQ(d, 3u);
}

TEST_F(RegKeyTest, FailedOpenKeepsTheHeldKey) {
  EXPECT_EQ(key_.OpenKey(raw_, L"does\\not\\exist", KEY_READ), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key_.WriteDword(9, L"still"), ERROR_SUCCESS);
  DWORD d = 0;
  CRegKey check;
  ASSERT_EQ(check.OpenKey(HKEY_CURRENT_USER, path_, KEY_READ), ERROR_SUCCESS);
  EXPECT_EQ(check.ReadValue(&d, L"still"), ERROR_SUCCESS);
  EXPECT_EQ(d, 9u);
}

TEST_F(RegKeyTest, DetachAndAttachHandOverTheHandle) {
  key_.WriteDword(5, L"v");
  HKEY handle = key_.Detach();
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(key_.Close(), ERROR_SUCCESS);  // nothing held any more
  DWORD d = 0, size = sizeof d;
  EXPECT_EQ(RegQueryValueExW(handle, L"v", nullptr, nullptr, reinterpret_cast<BYTE*>(&d), &size), ERROR_SUCCESS);
  EXPECT_EQ(d, 5u);
  {
    CRegKey other;
    other.Attach(handle);
    EXPECT_EQ(other.Handle(), handle);
  }  // closed here
  EXPECT_NE(RegQueryValueExW(handle, L"v", nullptr, nullptr, reinterpret_cast<BYTE*>(&d), &size), ERROR_SUCCESS);
}

TEST_F(RegKeyTest, RemoveValueAndRemoveSubKey) {
  key_.WriteDword(1, L"a");
  key_.WriteDword(2, L"b");
  EXPECT_EQ(key_.RemoveValue(std::wstring(L"a")), ERROR_SUCCESS);
  EXPECT_EQ(key_.RemoveValue(L"b"), ERROR_SUCCESS);
  EXPECT_EQ(key_.RemoveValue(L"b"), ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(key_.ListValueNames().empty());
  key_.WriteSubKeyString(L"leaf", L"x", L"y");
  EXPECT_EQ(key_.RemoveSubKey(L"leaf"), ERROR_SUCCESS);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, path_ + L"\\leaf"));
}

TEST_F(RegKeyTest, DeleteTreeRemovesNestedKeysDepthFirst) {
  for (const wchar_t* sub : {L"t\\a\\a1\\a11", L"t\\a\\a2", L"t\\b", L"t\\c\\c1"}) {
    EXPECT_EQ(key_.WriteSubKeyString(sub, L"value", L"name"), ERROR_SUCCESS);
  }
  key_.WriteSubKeyString(L"sibling", L"v", L"n");
  EXPECT_EQ(key_.DeleteTree(L"t"), ERROR_SUCCESS);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, path_ + L"\\t"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, path_ + L"\\sibling"));
  EXPECT_EQ(key_.DeleteTree(L"t"), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegKeyTest, DeleteTreeStopsAtAChildThatCannotBeOpened) {
  ASSERT_EQ(key_.WriteSubKeyString(L"t\\open", L"v", L"n"), ERROR_SUCCESS);
  ASSERT_EQ(key_.WriteSubKeyString(L"t\\shut\\inner", L"v", L"n"), ERROR_SUCCESS);
  // Deny everyone all access to "shut"; its owner may still rewrite the list.
  PSECURITY_DESCRIPTOR deny = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(D;;KA;;;WD)", SDDL_REVISION_1, &deny,
                                                                   nullptr));
  HKEY shut = nullptr;
  ASSERT_EQ(RegOpenKeyExW(raw_, L"t\\shut", 0, WRITE_DAC, &shut), ERROR_SUCCESS);
  ASSERT_EQ(RegSetKeySecurity(shut, DACL_SECURITY_INFORMATION, deny), ERROR_SUCCESS);
  RegCloseKey(shut);
  LocalFree(deny);
  HKEY probe = nullptr;
  long denied = RegOpenKeyExW(raw_, L"t\\shut", 0, KEY_ALL_ACCESS, &probe);
  if (denied == ERROR_SUCCESS) {
    RegCloseKey(probe);
    GTEST_SKIP() << "registry access lists are not enforced here";
  }
  EXPECT_EQ(key_.DeleteTree(L"t"), denied);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, path_ + L"\\t"));

  // Give the key back an open list so that TearDown can remove it.
  PSECURITY_DESCRIPTOR open = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;KA;;;WD)", SDDL_REVISION_1, &open, nullptr));
  if (RegOpenKeyExW(raw_, L"t\\shut", 0, WRITE_DAC, &shut) == ERROR_SUCCESS) {
    RegSetKeySecurity(shut, DACL_SECURITY_INFORMATION, open);
    RegCloseKey(shut);
  }
  LocalFree(open);
  EXPECT_EQ(key_.DeleteTree(L"t"), ERROR_SUCCESS);
}

TEST(RegKeyMachineTest, RoundTripUnderLocalMachine) {
  std::wstring path = L"Software\\LarkTests\\" + larktest::UniqueName(L"hklm-");
  {
    CRegKey key;
    ASSERT_EQ(key.CreateSubKey(HKEY_LOCAL_MACHINE, path, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                               nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(key.WriteString(L"C:\\Lark", L"InstallPath"), ERROR_SUCCESS);
    EXPECT_EQ(key.WriteDword(1, L"AgentSupportsMultipleOperators"), ERROR_SUCCESS);
  }
  CRegKey key;
  ASSERT_EQ(key.OpenKey(HKEY_LOCAL_MACHINE, path, KEY_QUERY_VALUE), ERROR_SUCCESS);
  std::wstring v;
  DWORD d = 0;
  EXPECT_EQ(key.ReadString(v, L"InstallPath"), ERROR_SUCCESS);
  EXPECT_EQ(v, L"C:\\Lark");
  EXPECT_EQ(key.ReadValue(&d, L"AgentSupportsMultipleOperators"), ERROR_SUCCESS);
  EXPECT_EQ(d, 1u);
  // Opened for queries only: writing is refused.
  EXPECT_EQ(key.WriteDword(2, L"x"), ERROR_ACCESS_DENIED);
  key.Close();
  CRegKey parent;
  ASSERT_EQ(parent.OpenKey(HKEY_LOCAL_MACHINE, L"Software\\LarkTests", KEY_ALL_ACCESS), ERROR_SUCCESS);
  EXPECT_EQ(parent.DeleteTree(path.substr(path.rfind(L'\\') + 1).c_str()), ERROR_SUCCESS);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, path));
}

TEST(CreateKeyTest, CreatesOnceAndKeepsAnExistingKey) {
  std::wstring name = larktest::UniqueName(L"LarkTest-");
  std::wstring full = L"Software\\K-Harbor\\" + name;
  EXPECT_TRUE(CreateKey(HKEY_CURRENT_USER, name));
  ASSERT_TRUE(KeyExists(HKEY_CURRENT_USER, full));
  {
    CRegKey key;
    ASSERT_EQ(key.OpenKey(HKEY_CURRENT_USER, full, KEY_ALL_ACCESS), ERROR_SUCCESS);
    key.WriteDword(1, L"marker");
  }
  EXPECT_TRUE(CreateKey(HKEY_CURRENT_USER, name));
  CRegKey key;
  ASSERT_EQ(key.OpenKey(HKEY_CURRENT_USER, full, KEY_READ), ERROR_SUCCESS);
  DWORD d = 0;
  EXPECT_EQ(key.ReadValue(&d, L"marker"), ERROR_SUCCESS);
  key.Close();

  EXPECT_TRUE(CreateKey(HKEY_CURRENT_USER, name + L"\\Origins\\pkg"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, full + L"\\Origins\\pkg"));
  SHDeleteKeyW(HKEY_CURRENT_USER, full.c_str());
}
