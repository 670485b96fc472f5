// Shows the welcome, conflicting-product or disk-space page for
// scripts/setup-page-screenshots.sh, in a language of the embedded texts
// and with the languages that a system of that language's code page
// offers. Once the page is on screen it writes its window rectangle
// ("x y width height") to RECTFILE and stays until RECTFILE.done exists
// (at most 15 seconds). "welcome-note" shows the welcome page as a user who
// is not an administrator sees it on Windows XP.
//   wizard_setup_page_screenshot welcome|welcome-note|conflict|diskspace LANGUAGE RECTFILE
#include <windows.h>

#include <cstdio>
#include <string>

#include "ScreenshotCapture.h"
#include "settings/LarkProperties.h"
#include "wizard/ConflictDialog.h"
#include "wizard/DiskSpaceReqDialog.h"
#include "wizard/WelcomeDialog.h"

namespace {

// The ANSI code page of a system set up for the language.
UINT CodePageOf(const std::wstring& language) {
  if (language == L"ja") return 932;
  if (language == L"zh") return 936;
  if (language == L"zh-HK" || language == L"zh-TW") return 950;
  if (language == L"ru" || language == L"bg") return 1251;
  if (language == L"cs" || language == L"hu" || language == L"pl" || language == L"ro" || language == L"sl") {
    return 1250;
  }
  if (language == L"el") return 1253;
  if (language == L"tr") return 1254;
  if (language == L"et") return 1257;
  if (language == L"vi") return 1258;
  return 1252;
}

class XpUserWelcome : public WelcomeDialog {
 protected:
  int CurrentOS() override { return 3; }
  bool CurrentUserIsAdmin() override { return false; }
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    fwprintf(stderr, L"usage: wizard_setup_page_screenshot welcome|welcome-note|conflict|diskspace LANGUAGE RECTFILE\n");
    return 2;
  }
  const std::wstring page = argv[1];
  const std::wstring language = argv[2];
  LarkProperties* store = LarkProperties::Instance();
  store->ParseResources(GetModuleHandleW(nullptr));
  store->GenerateSelectableLanguages(CodePageOf(language));
  store->SetLanguage(language);
  PrepareScreenshotDesktop();
  StartScreenshotTimer(argv[3], ScreenshotTiming());
  if (page == L"welcome") {
    WelcomeDialog dialog;
    dialog.DoModal();
  } else if (page == L"welcome-note") {
    XpUserWelcome dialog;
    dialog.DoModal();
  } else if (page == L"conflict") {
    ConflictDialog dialog(L"Northwind Internet Security");
    dialog.DoModal();
  } else {
    DiskSpaceReqDialog dialog;
    dialog.SetDrive(L"C:\\");
    dialog.SetRequired(350);
    dialog.SetAvailable(120);
    dialog.DoModal();
  }
  return 0;
}
