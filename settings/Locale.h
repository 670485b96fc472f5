// Locale: picks the language in which the installer first speaks to the
// user, from the selectable languages of the settings store: an earlier
// installation's language, the user's Windows locale (full, language only,
// then the country taken as a code), the operator's default, English, and
// finally the first selectable language.
#pragma once

#include <windows.h>

#include <map>
#include <string>

class Locale {
 public:
  Locale();
  virtual ~Locale() {}

  // The best selectable language; empty only when nothing is selectable.
  std::wstring SelectBestDefault();
  // The code is one of the selectable languages (exact match).
  bool IsSupportedLocale(const std::wstring& code);
  // The language of an installed agent, else the mapped language of the
  // previous product generation.
  bool GetPreviousInstallationLocale(std::wstring& code);
  // Three-letter Windows abbreviation ("DEU") to a code ("de"); anything
  // unknown becomes "en".
  void MapLegacyLanguageCode(std::wstring& code);
  // The user's locale ("de-AT"), its country lower-cased ("at") and its
  // language ("de").
  bool GetLocale(std::wstring& locale, std::wstring& country, std::wstring& language);

 private:
  std::map<std::wstring, std::wstring> m_legacyCodes;
};

// GetLocaleInfoW of the user's default locale for one information type.
bool QueryUserLocaleInfo(LCTYPE type, std::wstring& out);
