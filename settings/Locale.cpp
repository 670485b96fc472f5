// Language selection over the selectable languages.
#include "settings/Locale.h"

#include "logging/Log.h"
#include "platform/PathUtils.h"
#include "platform/RegKey.h"
#include "settings/LarkProperties.h"

namespace {
const wchar_t kAgentKey[] = L"SOFTWARE\\K-Harbor\\Lark Client";
const wchar_t kLegacyKey[] = L"SOFTWARE\\Brine Works\\K-Harbor\\K-Harbor GUI";
const wchar_t kFallback[] = L"en";
}  // namespace

Locale::Locale() {
  const wchar_t* rows[][2] = {
      {L"CSY", L"cs"}, {L"DAN", L"da"}, {L"DEU", L"de"},    {L"ELL", L"el"},    {L"ENG", L"en"},
      {L"ESN", L"es"}, {L"ESM", L"es-MX"}, {L"ETI", L"et"}, {L"FIN", L"fi"},    {L"FRA", L"fr"},
      {L"FRC", L"fr-CA"}, {L"HUN", L"hu"}, {L"ITA", L"it"}, {L"JPN", L"ja"},    {L"NLD", L"nl"},
      {L"NOR", L"no"}, {L"PLK", L"pl"}, {L"PTG", L"pt"},    {L"PTB", L"pt-BR"}, {L"ROM", L"ro"},
      {L"RUS", L"ru"}, {L"SLV", L"sl"}, {L"SVE", L"sv"},    {L"TRK", L"tr"},    {L"CHS", L"zh"},
      {L"ZHH", L"zh-HK"}, {L"CHT", L"zh-TW"}, {L"VIT", L"vi"}, {L"BUL", L"bg"},
  };
  for (auto& row : rows) m_legacyCodes[row[0]] = row[1];
}

bool Locale::IsSupportedLocale(const std::wstring& code) {
  const wchar_t* self = L"Locale::IsSupportedLocale";
  LogW(5, L"%s: ", self);
  LogW(5, L"%s: Checking if '%s' is one of the supported locales", self, code.c_str());
  for (const std::wstring& language : LarkProperties::Instance()->GetSelectableLanguages()) {
    if (language == code) {
      LogW(5, L"%s: '%s' is a supported locale", self, code.c_str());
      return true;
    }
  }
  return false;
}

bool Locale::GetPreviousInstallationLocale(std::wstring& code) {
  const wchar_t* self = L"Locale::GetPreviousInstallationLocale";
  LogW(5, L"%s: ", self);
  {
    CRegKey agent;
    if (agent.OpenKey(HKEY_LOCAL_MACHINE, kAgentKey, KEY_QUERY_VALUE) == ERROR_SUCCESS) {
      std::wstring value;
      // An empty value is still a value: the caller's check of the
      // selectable languages passes it over.
      if (agent.ReadString(value, L"Language") == ERROR_SUCCESS) {
        LogW(5, L"%s: Lark Language read from the registry: %s", self, value.c_str());
        code = value;
        return true;
      }
      LogW(5, L"%s: Failed to read Lark language from registry.", self);
    }
  }
  LogW(5, L"%s: Failed to open Lark registry key. Trying to read previous generation language from registry.",
       self);
  CRegKey legacy;
  if (legacy.OpenKey(HKEY_LOCAL_MACHINE, kLegacyKey, KEY_QUERY_VALUE) != ERROR_SUCCESS) {
    LogW(5, L"%s: No previous generation product installed.", self);
    return false;
  }
  std::wstring value;
  // An empty value is mapped like any other unknown code (to "en").
  if (legacy.ReadString(value, L"Lang") != ERROR_SUCCESS) {
    LogW(5, L"%s: Failed to read previous generation language from registry.", self);
    return false;
  }
  LogW(5, L"%s: Previous generation language read from the registry: %s", self, value.c_str());
  MapLegacyLanguageCode(value);
  code = value;
  return true;
}

void Locale::MapLegacyLanguageCode(std::wstring& code) {
  std::map<std::wstring, std::wstring>::const_iterator found = m_legacyCodes.find(code);
  code = found != m_legacyCodes.end() ? found->second : kFallback;
}

bool QueryUserLocaleInfo(LCTYPE type, std::wstring& out) {
  int length = GetLocaleInfoW(LOCALE_USER_DEFAULT, type, nullptr, 0);
  if (length <= 0) return false;
  wchar_t* buffer = static_cast<wchar_t*>(
      HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, static_cast<SIZE_T>(length) * sizeof(wchar_t)));
  if (!buffer) return false;
  bool ok = GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buffer, length) > 0;
  if (ok) out = buffer;
  HeapFree(GetProcessHeap(), 0, buffer);
  return ok;
}

bool Locale::GetLocale(std::wstring& locale, std::wstring& country, std::wstring& language) {
  const wchar_t* self = L"Locale::GetLocale";
  LogW(5, L"%s: ", self);
  if (!QueryUserLocaleInfo(LOCALE_SISO639LANGNAME, language) ||
      !QueryUserLocaleInfo(LOCALE_SISO3166CTRYNAME, country)) {
    LogW(3, L"%s: failed to detect locale", self);
    return false;
  }
  locale = language + L"-" + country;
  LogW(5, L"%s: detected locale is '%s'", self, locale.c_str());
  ToLowerInPlace(country);
  return true;
}

std::wstring Locale::SelectBestDefault() {
  const wchar_t* self = L"Locale::SelectBestDefault";
  LogW(5, L"%s: ", self);
  std::wstring previous;
  if (GetPreviousInstallationLocale(previous)) {
    LogW(5, L"%s: Previously installation language is '%s'", self, previous.c_str());
    if (IsSupportedLocale(previous)) return previous;
  }
  std::wstring locale, country, language;
  if (GetLocale(locale, country, language)) {
    LogW(5, L"%s: User locale is '%s' (generic '%s', country '%s')", self, locale.c_str(),
         language.c_str(), country.c_str());
    if (IsSupportedLocale(locale)) return locale;
    if (IsSupportedLocale(language)) return language;
    if (IsSupportedLocale(country)) return country;
  }
  std::wstring partnerDefault = LarkProperties::Instance()->GetSetting(L"DefaultLanguage");
  LogW(5, L"%s: Partner default locale is '%s'", self, partnerDefault.c_str());
  if (IsSupportedLocale(partnerDefault)) return partnerDefault;
  LogW(3, L"%s: Didn't find suitable locale. Trying fallback '%s'", self, kFallback);
  if (IsSupportedLocale(kFallback)) return kFallback;
  LogW(3, L"%s: Fallback isn't supported, using first available", self);
  std::vector<std::wstring> selectable = LarkProperties::Instance()->GetSelectableLanguages();
  // Nothing selectable: an empty code, which the caller treats as an error.
  return selectable.empty() ? std::wstring() : selectable.front();
}
