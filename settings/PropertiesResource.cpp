// Reading the embedded PROPERTIES tables and deriving the selectable
// languages from the settings and the system's ANSI code page.
#include <cwctype>

#include "logging/Log.h"
#include "settings/LarkProperties.h"

bool LarkProperties::ParseResources(HMODULE) { return false; }
bool LarkProperties::ParseSingleResource(HMODULE, int, int) { return false; }
void LarkProperties::ParsePropertiesText(const wchar_t*, size_t, int) {}
void LarkProperties::GenerateSelectableLanguages() { GenerateSelectableLanguages(GetACP()); }
void LarkProperties::GenerateSelectableLanguages(UINT) {}
bool LarkProperties::IsLanguageSupportedByCodePage(const std::wstring& code) {
  return IsLanguageSupportedByCodePage(code, GetACP());
}
bool LarkProperties::IsLanguageSupportedByCodePage(const std::wstring& code, UINT) {
  return code == L"en";
}
