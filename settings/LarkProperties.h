// LarkProperties: the process-wide settings store. It holds the localised
// texts of every page and message, the operator's settings, the current
// language and the selectable ones, and the paths and values that one
// installation run works with (mostly from the command line).
//
// Two language-keyed maps: localised texts fall back to "#" + key when
// missing, settings fall back from the current language to the pseudo
// language "global". Keys are stored lower-case and found whatever their
// case; language codes are compared exactly (EN is not en).
//
// It is filled on the main thread and otherwise mostly read; the response
// XML is merged by whichever thread fetched it, while the page's thread
// goes on reading texts and settings. A lock of its own guards the two
// maps: the merge holds it only while it stores the parsed values (never
// while a file is read or parsed), each lookup only for its own look.
#pragma once

#include <windows.h>

#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class LarkProperties {
 public:
  // language code -> (lower-case key -> value)
  typedef std::map<std::wstring, std::wstring> KeyValueMap;
  typedef std::map<std::wstring, KeyValueMap> PropertyMap;

  // Targets of StoreProperty and ParsePropertiesText.
  enum Target { LocalizedTexts = 0, CustomizedSettings = 1 };

  // Resource ids of the embedded PROPERTIES tables (type "PROPERTIES").
  static const int kLocalizedResourceId = 130;
  static const int kCustomizedResourceId = 131;

  // The one store of the process, created on first use, freed at exit.
  // Safe to call from any thread.
  static LarkProperties* Instance();

  // Public so that tests can work on a store of their own; the program
  // itself uses Instance().
  LarkProperties();
  virtual ~LarkProperties();
  LarkProperties(const LarkProperties&) = delete;
  LarkProperties& operator=(const LarkProperties&) = delete;

  // Empties both maps, then reads resource 130 into the texts and 131 into
  // the settings. False (and the maps as far as read) when one is missing.
  virtual bool ParseResources(HMODULE module);
  // Merges a response XML file ("stubconf.xml") into the settings;
  // implemented in settings/ResponseXml.cpp.
  virtual bool ParseResourcesFromXmlFile(const std::wstring& path);
  // Full check (global and every selectable language); missing names are
  // appended to `missing` as "language:Name", comma separated.
  virtual bool CheckMandatorySettings(std::wstring& missing);
  // The check of what the program's own resources provide.
  virtual bool CheckMinimumMandatorySettings(std::wstring& missing);

  // Text of `key` in the current language, or "#" + key when missing.
  std::wstring GetLocalizedString(const std::wstring& key) const;
  // Setting of `key` in the current language, else the global one; empty
  // when neither exists.
  std::wstring GetSetting(const std::wstring& key) const;
  // The language's own name (its text "Language"), for language lists.
  std::wstring GetLanguageName(const std::wstring& languageCode) const;

  std::wstring GetLanguage() const { return m_language; }
  void SetLanguage(const std::wstring& language) { m_language = language; }
  std::vector<std::wstring> GetSelectableLanguages() const { return m_selectableLanguages; }

  // Value of key (any case) in `language` of `map`, empty when missing.
  static std::wstring FindValue(const PropertyMap& map, const std::wstring& language,
                                const std::wstring& key);

  // Stores "language:Key" (or "Key" for global) with its value; the key is
  // lower-cased, a later store replaces an earlier one.
  void StoreProperty(const std::wstring& qualifiedKey, const std::wstring& value, int target);
  // The same for many ("language:Key" or "Key", value) pairs in one step:
  // a lookup sees all of them or none.
  void StoreProperties(const std::vector<std::pair<std::wstring, std::wstring>>& entries, int target);

  // Appends to `out` each name of the null-terminated `table` that has no
  // value in `language` (no fallback to "global").
  void AppendMissingSettings(std::wstring& out, const std::wstring& language,
                             const wchar_t* const* table) const;

  // "key=value\n" for the global settings, then "lang-key=value\n" for the
  // current language's; keys lower-case.
  std::wstring DumpSettings() const;

  // Reads one PROPERTIES resource of `module` into `target`.
  bool ParseSingleResource(HMODULE module, int resourceId, int target);
  // The line reader of the PROPERTIES format (UTF-16 text, CR LF lines).
  void ParsePropertiesText(const wchar_t* text, size_t length, int target);

  // Rebuilds the selectable languages from the setting "Languages", the
  // languages that have settings of their own and the ANSI code page.
  void GenerateSelectableLanguages();
  // The same for a given code page (GetACP() in the program).
  void GenerateSelectableLanguages(UINT codePage);
  static bool IsLanguageSupportedByCodePage(const std::wstring& code);
  static bool IsLanguageSupportedByCodePage(const std::wstring& code, UINT codePage);

  // Read access to the maps (tests, diagnostics; not while a merge may run).
  const PropertyMap& GetLocalizedTexts() const { return m_localizedTexts; }
  const PropertyMap& GetCustomizedSettings() const { return m_customizedSettings; }

  // Set once a stub configuration response has been applied.
  bool IsStubConfigurationApplied() const { return m_stubConfigurationApplied; }
  void SetStubConfigurationApplied(bool applied) { m_stubConfigurationApplied = applied; }

  // The installation takes its files from local directories.
  bool IsLocalSources() const { return m_localSources; }
  void SetLocalSources(bool local) { m_localSources = local; }

  std::wstring GetLogDirectory() const { return m_logDirectory; }
  void SetLogDirectory(const std::wstring& path) { m_logDirectory = path; }
  std::wstring GetTempDirectory() const { return m_tempDirectory; }
  void SetTempDirectory(const std::wstring& path) { m_tempDirectory = path; }
  std::wstring GetInstallerPath() const { return m_installerPath; }
  void SetInstallerPath(const std::wstring& path) { m_installerPath = path; }
  std::wstring GetCustomizationDirectory() const { return m_customizationDirectory; }
  void SetCustomizationDirectory(const std::wstring& path) { m_customizationDirectory = path; }
  std::wstring GetProvisioningGroup() const { return m_provisioningGroup; }
  void SetProvisioningGroup(const std::wstring& group) { m_provisioningGroup = group; }
  std::wstring GetStubConfigurationUrl() const { return m_stubConfigurationUrl; }
  void SetStubConfigurationUrl(const std::wstring& url) { m_stubConfigurationUrl = url; }
  std::wstring GetLocalizationDirectory() const { return m_localizationDirectory; }
  void SetLocalizationDirectory(const std::wstring& path) { m_localizationDirectory = path; }
  std::wstring GetSettingsDirectory() const { return m_settingsDirectory; }
  void SetSettingsDirectory(const std::wstring& path) { m_settingsDirectory = path; }
  std::wstring GetHelpDirectory() const { return m_helpDirectory; }
  void SetHelpDirectory(const std::wstring& path) { m_helpDirectory = path; }
  std::wstring GetEulaDirectory() const { return m_eulaDirectory; }
  void SetEulaDirectory(const std::wstring& path) { m_eulaDirectory = path; }
  std::wstring GetLateboundSettingsPath() const { return m_lateboundSettingsPath; }
  void SetLateboundSettingsPath(const std::wstring& path) { m_lateboundSettingsPath = path; }
  std::wstring GetLateboundLocalizationPath() const { return m_lateboundLocalizationPath; }
  void SetLateboundLocalizationPath(const std::wstring& path) { m_lateboundLocalizationPath = path; }
  std::wstring GetLateboundCustomizationPath() const { return m_lateboundCustomizationPath; }
  void SetLateboundCustomizationPath(const std::wstring& path) { m_lateboundCustomizationPath = path; }
  std::wstring GetLateboundHelpPath() const { return m_lateboundHelpPath; }
  void SetLateboundHelpPath(const std::wstring& path) { m_lateboundHelpPath = path; }
  std::wstring GetPrivacyDirectory() const { return m_privacyDirectory; }
  void SetPrivacyDirectory(const std::wstring& path) { m_privacyDirectory = path; }
  std::wstring GetUserSid() const { return m_userSid; }
  void SetUserSid(const std::wstring& sid) { m_userSid = sid; }

  // Mandatory-setting tables (null-terminated).
  static const wchar_t* const kMandatoryGlobal[];
  static const wchar_t* const kMandatoryPerLanguage[];
  static const wchar_t* const kMinimumMandatoryGlobal[];
  static const wchar_t* const kMinimumMandatoryPerLanguage[];

 private:
  static LarkProperties* CreateInstance();
  // StoreProperty's work; the caller holds m_mapsLock.
  void StoreLocked(const std::wstring& qualifiedKey, const std::wstring& value, int target);

  // Guards m_localizedTexts and m_customizedSettings.
  mutable std::mutex m_mapsLock;

  PropertyMap m_localizedTexts;
  PropertyMap m_customizedSettings;
  bool m_stubConfigurationApplied = false;
  std::wstring m_language;
  std::wstring m_logDirectory;
  std::wstring m_tempDirectory;
  std::wstring m_installerPath;
  std::wstring m_customizationDirectory;
  std::wstring m_provisioningGroup;
  std::wstring m_stubConfigurationUrl;
  std::wstring m_localizationDirectory;
  std::wstring m_settingsDirectory;
  std::wstring m_helpDirectory;
  std::wstring m_eulaDirectory;
  std::wstring m_lateboundSettingsPath;
  std::wstring m_lateboundLocalizationPath;
  std::wstring m_lateboundCustomizationPath;
  std::wstring m_lateboundHelpPath;
  std::wstring m_privacyDirectory;
  std::wstring m_userSid;
  bool m_localSources = false;
  std::vector<std::wstring> m_selectableLanguages;
};
