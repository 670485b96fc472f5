// Prints what the settings subsystem makes of this process's code page and
// user locale, with the embedded tables of this build:
//   acp=<code page> locale=<lang-COUNTRY> previous=<code|none> selectable=<a,b,..> best=<code>
// Run by the locale test with LANG/LC_ALL set in its environment.
#include <windows.h>

#include <cstdio>
#include <string>

#include "settings/LarkProperties.h"
#include "settings/Locale.h"

namespace {
std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
  return out;
}
}  // namespace

int main() {
  LarkProperties* store = LarkProperties::Instance();
  if (!store->ParseResources(GetModuleHandleW(nullptr))) return 2;
  store->GenerateSelectableLanguages();
  Locale locale;
  std::wstring full, country, language, previous = L"none", selectable;
  locale.GetLocale(full, country, language);
  locale.GetPreviousInstallationLocale(previous);
  for (const std::wstring& code : store->GetSelectableLanguages())
    selectable += (selectable.empty() ? L"" : L",") + code;
  std::printf("acp=%u locale=%s previous=%s selectable=%s best=%s\n", GetACP(),
              Narrow(full).c_str(), Narrow(previous).c_str(), Narrow(selectable).c_str(),
              Narrow(locale.SelectBestDefault()).c_str());
  return 0;
}
