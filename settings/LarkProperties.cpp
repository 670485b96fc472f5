// The settings store: lookups with their fallbacks, the key rules, the
// mandatory-setting checks, the dump and the process-wide instance.
#include "settings/LarkProperties.h"

#include <cstdlib>

#include "logging/Log.h"
#include "platform/PathUtils.h"

const wchar_t* const LarkProperties::kMandatoryGlobal[] = {
    L"PartnerID", L"PartnerName", L"CustomBaseColor", L"LarkInstallerDownloadURL",
    L"Languages", L"DefaultLanguage", L"BCXBasicSettingsUrl", nullptr};
const wchar_t* const LarkProperties::kMandatoryPerLanguage[] = {
    L"Title", L"AgentName", L"InstallDirUnderProgramFiles", L"Shortcutname", L"StartMenuFolder",
    L"EULTUrl", L"BCXBasicLocalizationUrl", L"BCXBasicCustomizationUrl", L"BCXBasicHelpUrl",
    nullptr};
const wchar_t* const LarkProperties::kMinimumMandatoryGlobal[] = {
    L"PartnerID", L"PartnerName", L"CustomBaseColor", L"Languages", L"DefaultLanguage", nullptr};
const wchar_t* const LarkProperties::kMinimumMandatoryPerLanguage[] = {
    L"Title", L"WelcomeTitle", L"WelcomeInstructions", nullptr};

namespace {
const wchar_t kGlobal[] = L"global";

// 0 nobody has started, 1 one caller is creating, 2 the store exists.
volatile LONG g_instanceState = 0;
LarkProperties* g_instance = nullptr;

void DeleteInstance() {
  delete g_instance;
  g_instance = nullptr;
}
}  // namespace

LarkProperties* LarkProperties::CreateInstance() {
  g_instance = new LarkProperties();
  atexit(DeleteInstance);
  return g_instance;
}

LarkProperties* LarkProperties::Instance() {
  if (InterlockedCompareExchange(&g_instanceState, 1, 0) == 0) {
    CreateInstance();
    InterlockedExchange(&g_instanceState, 2);
  } else {
    while (InterlockedCompareExchange(&g_instanceState, 2, 2) != 2) SwitchToThread();
  }
  return g_instance;
}

LarkProperties::LarkProperties() {}

LarkProperties::~LarkProperties() {}

std::wstring LarkProperties::FindValue(const PropertyMap& map, const std::wstring& language,
                                       const std::wstring& key) {
  PropertyMap::const_iterator lang = map.find(language);
  if (lang == map.end()) return std::wstring();
  std::wstring lowerKey = key;
  ToLowerInPlace(lowerKey);
  KeyValueMap::const_iterator entry = lang->second.find(lowerKey);
  if (entry == lang->second.end()) return std::wstring();
  return entry->second;
}

std::wstring LarkProperties::GetLocalizedString(const std::wstring& key) const {
  std::lock_guard<std::mutex> hold(m_mapsLock);
  std::wstring value = FindValue(m_localizedTexts, m_language, key);
  if (value.empty()) return L"#" + key;
  return value;
}

std::wstring LarkProperties::GetSetting(const std::wstring& key) const {
  std::lock_guard<std::mutex> hold(m_mapsLock);
  std::wstring value = FindValue(m_customizedSettings, m_language, key);
  if (value.empty()) value = FindValue(m_customizedSettings, kGlobal, key);
  return value;
}

std::wstring LarkProperties::GetLanguageName(const std::wstring& languageCode) const {
  std::lock_guard<std::mutex> hold(m_mapsLock);
  return FindValue(m_localizedTexts, languageCode, L"Language");
}

void LarkProperties::StoreProperty(const std::wstring& qualifiedKey, const std::wstring& value,
                                   int target) {
  std::lock_guard<std::mutex> hold(m_mapsLock);
  StoreLocked(qualifiedKey, value, target);
}

void LarkProperties::StoreProperties(const std::vector<std::pair<std::wstring, std::wstring>>& entries,
                                     int target) {
  std::lock_guard<std::mutex> hold(m_mapsLock);
  for (const auto& entry : entries) StoreLocked(entry.first, entry.second, target);
}

void LarkProperties::StoreLocked(const std::wstring& qualifiedKey, const std::wstring& value, int target) {
  std::wstring language = kGlobal;
  std::wstring key = qualifiedKey;
  std::wstring::size_type colon = qualifiedKey.find(L':');
  if (colon != std::wstring::npos) {
    language = qualifiedKey.substr(0, colon);
    key = qualifiedKey.substr(colon + 1);
  }
  ToLowerInPlace(key);
  PropertyMap& map = target == LocalizedTexts ? m_localizedTexts : m_customizedSettings;
  map[language][key] = value;
}

void LarkProperties::AppendMissingSettings(std::wstring& out, const std::wstring& language,
                                           const wchar_t* const* table) const {
  std::lock_guard<std::mutex> hold(m_mapsLock);
  for (; *table; ++table) {
    if (!FindValue(m_customizedSettings, language, *table).empty()) continue;
    if (!out.empty()) out += L",";
    out += language;
    out += L":";
    out += *table;
  }
}

bool LarkProperties::CheckMandatorySettings(std::wstring& missing) {
  LogW(5, L"%s: ", L"LarkProperties::CheckMandatorySettings");
  AppendMissingSettings(missing, kGlobal, kMandatoryGlobal);
  for (const std::wstring& language : m_selectableLanguages)
    AppendMissingSettings(missing, language, kMandatoryPerLanguage);
  if (!missing.empty()) {
    LogW(3, L"%s: Missing mandatory settings: %s", L"LarkProperties::CheckMandatorySettings",
         missing.c_str());
  } else {
    LogW(5, L"%s: All mandatory settings are present", L"LarkProperties::CheckMandatorySettings");
  }
  return missing.empty();
}

bool LarkProperties::CheckMinimumMandatorySettings(std::wstring& missing) {
  LogW(5, L"%s: ", L"LarkProperties::CheckMinimumMandatorySettings");
  AppendMissingSettings(missing, kGlobal, kMinimumMandatoryGlobal);
  for (const std::wstring& language : m_selectableLanguages)
    AppendMissingSettings(missing, language, kMinimumMandatoryPerLanguage);
  LogW(5, L"%s: Missing minimum mandatory settings: %s",
       L"LarkProperties::CheckMinimumMandatorySettings", missing.c_str());
  return missing.empty();
}

std::wstring LarkProperties::DumpSettings() const {
  std::lock_guard<std::mutex> hold(m_mapsLock);
  std::wstring out;
  PropertyMap::const_iterator global = m_customizedSettings.find(kGlobal);
  if (global != m_customizedSettings.end()) {
    for (const auto& entry : global->second) out += entry.first + L"=" + entry.second + L"\n";
  }
  PropertyMap::const_iterator current = m_customizedSettings.find(m_language);
  if (current != m_customizedSettings.end()) {
    for (const auto& entry : current->second)
      out += m_language + L"-" + entry.first + L"=" + entry.second + L"\n";
  }
  return out;
}
