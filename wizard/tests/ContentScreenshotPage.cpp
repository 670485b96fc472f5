// Shows the licence or privacy page for scripts/content-screenshots.sh, in
// a language of the embedded texts: "eula" and "privacy" with the sample
// document of DOCUMENTS (local installation, no network), "eula-offline"
// with a download that fails at once (nobody listens on the address).
// Once the page has its final look it writes its window rectangle
// ("x y width height") to RECTFILE and stays until RECTFILE.done exists
// (at most 20 seconds).
//   wizard_content_screenshot_page eula|eula-offline|privacy LANGUAGE RECTFILE DOCUMENTS
#include <windows.h>

#include <cstdio>
#include <string>

#include "ScreenshotCapture.h"
#include "settings/LarkProperties.h"
#include "wizard/EultDialog.h"

namespace {

// The document is shown or the offline text with Retry.
bool Settled(HWND page) {
  HWND retry = GetDlgItem(page, RichEditDialogBase::kRetryId);
  if (retry && IsWindowVisible(retry)) return true;
  HWND accept = GetDlgItem(page, RichEditDialogBase::kAcceptId);
  if (accept) return IsWindowEnabled(accept) != FALSE;
  return GetWindowTextLengthW(GetDlgItem(page, RichEditDialogBase::kRichEditId)) > 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 5) {
    fwprintf(stderr, L"usage: wizard_content_screenshot_page eula|eula-offline|privacy LANGUAGE RECTFILE DOCUMENTS\n");
    return 2;
  }
  const std::wstring page = argv[1];
  LarkProperties* store = LarkProperties::Instance();
  store->ParseResources(GetModuleHandleW(nullptr));
  store->SetLanguage(argv[2]);
  store->SetEulaDirectory(argv[4]);
  store->SetPrivacyDirectory(argv[4]);
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  store->SetTempDirectory(temp);
  store->SetLocalSources(page != L"eula-offline");
  store->SetStubConfigurationUrl(L"http://127.0.0.1:1/stubconf");
  PrepareScreenshotDesktop();
  ScreenshotTiming timing;
  timing.ready = Settled;
  timing.settleTicks = 5;
  timing.lastTick = 200;
  // Back ends either page without a question.
  timing.closeCommand = RichEditDialogBase::kBackId;
  StartScreenshotTimer(argv[3], timing);
  if (page == L"privacy") {
    PrivacyPolicyDialog dialog;
    dialog.DoModal();
  } else {
    EultDialog dialog(true);
    dialog.DoModal();
  }
  return 0;
}
