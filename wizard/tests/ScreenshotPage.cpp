// Shows one wizard page for scripts/screenshots.sh: the message page in
// its three layouts or the wrong operating-system page, in a language of
// the embedded texts. Once the page is on screen it writes its window
// rectangle ("x y width height") to RECTFILE and stays until RECTFILE.done
// exists (at most 15 seconds).
//   wizard_screenshot_page ok|yesno|restart|wrongos LANGUAGE RECTFILE
#include <windows.h>

#include <cstdio>
#include <string>

#include "ScreenshotCapture.h"
#include "settings/LarkProperties.h"
#include "wizard/MessageDialog.h"
#include "wizard/WrongOSDialog.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    fwprintf(stderr, L"usage: wizard_screenshot_page ok|yesno|restart|wrongos LANGUAGE RECTFILE\n");
    return 2;
  }
  const std::wstring page = argv[1];
  LarkProperties* store = LarkProperties::Instance();
  store->ParseResources(GetModuleHandleW(nullptr));
  store->SetLanguage(argv[2]);
  PrepareScreenshotDesktop();
  StartScreenshotTimer(argv[3], ScreenshotTiming());
  if (page == L"wrongos") {
    WrongOSDialog dialog;
    dialog.DoModal();
  } else if (page == L"ok") {
    ShowMessageDialog(store->GetLocalizedString(L"InstallerBroken"), store->GetLocalizedString(L"AdministrativeRights"),
                      nullptr, MB_ICONERROR, false);
  } else if (page == L"yesno") {
    ShowMessageDialog(L"Lark Client", store->GetLocalizedString(L"Sure"), nullptr, MB_YESNO, false);
  } else {
    ShowMessageDialog(L"Lark Client", store->GetLocalizedString(L"Reboot"), nullptr, MB_YESNO, true);
  }
  return 0;
}
