// Reading the embedded PROPERTIES tables and deriving the selectable
// languages from the settings and the system's ANSI code page.
#include <cwctype>

#include "logging/Log.h"
#include "platform/PathUtils.h"
#include "settings/LarkProperties.h"

namespace {
const wchar_t kPropertiesType[] = L"PROPERTIES";

struct CodePageLanguages {
  UINT codePage;
  const wchar_t* const* codes;  // null-terminated
};

const wchar_t* const kCp932[] = {L"ja", nullptr};
const wchar_t* const kCp936[] = {L"zh", nullptr};
const wchar_t* const kCp950[] = {L"zh-HK", L"zh-TW", nullptr};
const wchar_t* const kCp1250[] = {L"cs", L"de", L"fi", L"hu", L"it", L"nl", L"pl", L"ro", L"sl", nullptr};
const wchar_t* const kCp1251[] = {L"bg", L"ru", nullptr};
const wchar_t* const kCp1252[] = {L"da", L"de", L"es", L"es-MX", L"fi", L"fr", L"fr-CA",
                                  L"it", L"nl", L"no", L"pt", L"pt-BR", L"sv", nullptr};
const wchar_t* const kCp1253[] = {L"el", nullptr};
const wchar_t* const kCp1254[] = {L"tr", nullptr};
const wchar_t* const kCp1257[] = {L"de", L"et", L"fi", nullptr};
const wchar_t* const kCp1258[] = {L"vi", nullptr};

const CodePageLanguages kCodePages[] = {
    {932, kCp932},   {936, kCp936},   {950, kCp950},   {1250, kCp1250}, {1251, kCp1251},
    {1252, kCp1252}, {1253, kCp1253}, {1254, kCp1254}, {1257, kCp1257}, {1258, kCp1258},
};
}  // namespace

bool LarkProperties::ParseResources(HMODULE module) {
  const wchar_t* self = L"LarkProperties::ParseResources";
  LogW(5, L"%s: ", self);
  {
    std::lock_guard<std::mutex> hold(m_mapsLock);
    m_localizedTexts.clear();
    m_customizedSettings.clear();
  }
  LogW(5, L"%s: Starting to parse localized properties", self);
  if (!ParseSingleResource(module, kLocalizedResourceId, LocalizedTexts)) {
    LogW(3, L"%s: Failed to parse localized properties", self);
    return false;
  }
  LogW(5, L"%s: Starting to parse customized properties", self);
  if (!ParseSingleResource(module, kCustomizedResourceId, CustomizedSettings)) {
    LogW(3, L"%s: Failed to parse customized properties", self);
    return false;
  }
  return true;
}

bool LarkProperties::ParseSingleResource(HMODULE module, int resourceId, int target) {
  const wchar_t* self = L"LarkProperties::ParseSingleResource";
  LogW(5, L"%s: ", self);
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(resourceId), kPropertiesType);
  if (!found) {
    LogW(3, L"%s: Didn't find properties: %s", self, FormatLastError().c_str());
    return false;
  }
  LogW(5, L"%s: Properties found", self);
  HGLOBAL loaded = LoadResource(module, found);
  if (!loaded) {
    LogW(3, L"%s: Failed to load resource: %s", self, FormatLastError().c_str());
    return false;
  }
  LogW(5, L"%s: Resource loaded", self);
  const void* data = LockResource(loaded);
  if (!data) {
    LogW(3, L"%s: Failed to lock resorce: %s", self, FormatLastError().c_str());
    return false;
  }
  LogW(5, L"%s: Resource locked", self);
  size_t chars = SizeofResource(module, found) / sizeof(wchar_t);
  LogW(5, L"%s: Resource size in chars %d", self, static_cast<int>(chars));
  LogW(5, L"%s: Reading strings", self);
  ParsePropertiesText(static_cast<const wchar_t*>(data), chars, target);
  return true;
}

void LarkProperties::ParsePropertiesText(const wchar_t* text, size_t length, int target) {
  enum State { BetweenLines, Comment, Key, Value };
  State state = BetweenLines;
  size_t keyStart = 0;
  std::wstring key;
  size_t valueStart = 0;
  for (size_t i = 0; i < length; ++i) {
    wchar_t c = text[i];
    switch (state) {
      case BetweenLines:
        if (c >= L'A' && c <= L'z') {
          keyStart = i;
          state = Key;
        } else if (c == L'#') {
          state = Comment;
        }
        break;
      case Comment:
        if (c == L'\r' || c == L'\n') state = BetweenLines;
        break;
      case Key:
        if (c == L'=') {
          key.assign(text + keyStart, i - keyStart);
          valueStart = i + 1;
          state = Value;
        } else if (!iswprint(c) || iswcntrl(c)) {
          // The C runtime counts a tab as printable (it is a blank); every
          // control character, tab included, ends a key here.
          state = BetweenLines;
        }
        break;
      case Value:
        if (c == L'\r') {
          StoreProperty(key, std::wstring(text + valueStart, i - valueStart), target);
          state = BetweenLines;
        }
        break;
    }
  }
}

void LarkProperties::GenerateSelectableLanguages() { GenerateSelectableLanguages(GetACP()); }

void LarkProperties::GenerateSelectableLanguages(UINT codePage) {
  const wchar_t* self = L"LarkProperties::GenerateSelectableLanguages";
  LogW(5, L"%s: ", self);
  m_selectableLanguages.clear();
  std::vector<std::wstring> listed = SplitByComma(GetSetting(L"Languages"));
  for (const auto& language : m_customizedSettings) {
    for (const std::wstring& entry : listed) {
      if (language.first == entry && IsLanguageSupportedByCodePage(language.first, codePage)) {
        LogW(5, L"%s: Adding language code '%s' as selectable", self, language.first.c_str());
        m_selectableLanguages.push_back(language.first);
      }
    }
  }
}

bool LarkProperties::IsLanguageSupportedByCodePage(const std::wstring& code) {
  return IsLanguageSupportedByCodePage(code, GetACP());
}

bool LarkProperties::IsLanguageSupportedByCodePage(const std::wstring& code, UINT codePage) {
  if (code == L"en") return true;
  for (const CodePageLanguages& row : kCodePages) {
    if (row.codePage != codePage) continue;
    for (const wchar_t* const* c = row.codes; *c; ++c) {
      if (code == *c) return true;
    }
    return false;
  }
  return false;
}
