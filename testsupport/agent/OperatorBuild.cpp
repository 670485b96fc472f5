// Copies of larkstubinst.exe with other operator settings: resource 131
// (type PROPERTIES, UTF-16LE "Key=Value" lines ended by CR LF) is read,
// edited and written back with UpdateResourceW into the copy.
#include <windows.h>

#include <cwctype>
#include <map>
#include <string>
#include <vector>

namespace larktest {

namespace {

const wchar_t kType[] = L"PROPERTIES";
const int kSettingsId = 131;

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(towlower(c));
  return text;
}

BOOL CALLBACK TakeLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) {
  *reinterpret_cast<WORD*>(param) = language;
  return FALSE;
}

bool ReadSettings(const std::wstring& exePath, std::wstring& text, WORD& language) {
  HMODULE module = LoadLibraryExW(exePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return false;
  bool ok = false;
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(kSettingsId), kType);
  if (found) {
    HGLOBAL loaded = LoadResource(module, found);
    const wchar_t* data = loaded ? static_cast<const wchar_t*>(LockResource(loaded)) : nullptr;
    if (data) {
      text.assign(data, SizeofResource(module, found) / sizeof(wchar_t));
      language = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);
      EnumResourceLanguagesW(module, kType, MAKEINTRESOURCEW(kSettingsId), TakeLanguage,
                             reinterpret_cast<LONG_PTR>(&language));
      ok = true;
    }
  }
  FreeLibrary(module);
  return ok;
}

}  // namespace

std::wstring ReadOperatorSettings(const std::wstring& exePath) {
  std::wstring text;
  WORD language = 0;
  return ReadSettings(exePath, text, language) ? text : std::wstring();
}

bool MakeOperatorBuild(const std::wstring& source, const std::wstring& target,
                       const std::map<std::wstring, std::wstring>& set, const std::vector<std::wstring>& remove) {
  std::wstring text;
  WORD language = 0;
  if (!ReadSettings(source, text, language)) return false;
  std::map<std::wstring, std::wstring> pending;  // lower-cased key -> key as given
  for (const auto& entry : set) pending[Lower(entry.first)] = entry.first;
  std::wstring edited;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(L'\n', start);
    std::wstring line = text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
    start = end == std::wstring::npos ? text.size() : end + 1;
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    size_t equals = line.find(L'=');
    std::wstring key = Lower(equals == std::wstring::npos ? line : line.substr(0, equals));
    bool dropped = false;
    for (const std::wstring& r : remove) dropped = dropped || Lower(r) == key;
    if (dropped) continue;
    auto replaced = pending.find(key);
    if (equals != std::wstring::npos && replaced != pending.end()) {
      line = line.substr(0, equals + 1) + set.at(replaced->second);
      pending.erase(replaced);
    }
    edited += line + L"\r\n";
  }
  for (const auto& added : pending) edited += added.second + L"=" + set.at(added.second) + L"\r\n";

  if (!CopyFileW(source.c_str(), target.c_str(), FALSE)) return false;
  SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
  HANDLE update = BeginUpdateResourceW(target.c_str(), FALSE);
  if (!update) return false;
  BOOL ok = UpdateResourceW(update, kType, MAKEINTRESOURCEW(kSettingsId), language, &edited[0],
                            static_cast<DWORD>(edited.size() * sizeof(wchar_t)));
  return EndUpdateResourceW(update, !ok) && ok;
}

}  // namespace larktest
