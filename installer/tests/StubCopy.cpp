#include "installer/tests/StubCopy.h"

#include <shlobj.h>

#include <sstream>

#include "testsupport/TestEnv.h"

namespace stubrun {
namespace {

const wchar_t kPropertiesType[] = L"PROPERTIES";
const int kSettingsId = 131;

BOOL CALLBACK FirstLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR out) {
  *reinterpret_cast<WORD*>(out) = language;
  return FALSE;
}

bool ReadSettings(const std::wstring& exe, std::wstring& text, WORD& language) {
  HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return false;
  bool ok = false;
  language = 0;
  EnumResourceLanguagesW(module, kPropertiesType, MAKEINTRESOURCEW(kSettingsId), FirstLanguage,
                         reinterpret_cast<LONG_PTR>(&language));
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(kSettingsId), kPropertiesType);
  if (found) {
    const void* data = LockResource(LoadResource(module, found));
    if (data) {
      text.assign(static_cast<const wchar_t*>(data), SizeofResource(module, found) / sizeof(wchar_t));
      ok = true;
    }
  }
  FreeLibrary(module);
  return ok;
}

// Drops the lines "Key=..." of the given blank-separated keys.
std::wstring DropLines(const std::wstring& text, const std::wstring& keys) {
  if (keys.empty()) return text;
  std::wstring out;
  std::wistringstream lines(text);
  std::wstring line;
  while (std::getline(lines, line, L'\n')) {
    bool drop = false;
    std::wistringstream names(keys);
    std::wstring key;
    while (names >> key) drop = drop || line.compare(0, key.size() + 1, key + L"=") == 0;
    if (!drop) out += line + L"\n";
  }
  return out;
}

}  // namespace

bool MakeStubCopy(const std::wstring& source, const std::wstring& destination, const std::wstring& settingsLines,
                  const std::wstring& dropKeys) {
  std::wstring text;
  WORD language = 0;
  if (!ReadSettings(source, text, language)) return false;
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  text = DropLines(text, dropKeys) + L"\r\n" + settingsLines + L"\r\n";
  if (!CopyFileW(source.c_str(), destination.c_str(), FALSE)) return false;
  HANDLE update = BeginUpdateResourceW(destination.c_str(), FALSE);
  if (!update) return false;
  const BOOL updated =
      UpdateResourceW(update, kPropertiesType, MAKEINTRESOURCEW(kSettingsId), language, &text[0],
                      static_cast<DWORD>(text.size() * sizeof(wchar_t)));
  return EndUpdateResourceW(update, !updated) && updated;
}

std::wstring LogFolder() {
  wchar_t path[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path);
  return std::wstring(path) + L"\\K-Harbor\\Logs\\Lark";
}

size_t FileSize(const std::wstring& path) {
  std::string bytes;
  return larktest::ReadFileBytes(path, bytes) ? bytes.size() : 0;
}

std::wstring LogTextAfter(const std::wstring& path, size_t offset) {
  std::string bytes;
  if (!larktest::ReadFileBytes(path, bytes) || bytes.size() <= offset) return std::wstring();
  bytes = bytes.substr(offset);
  return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
}

}  // namespace stubrun
