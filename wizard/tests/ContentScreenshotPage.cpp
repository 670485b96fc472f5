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

#include "settings/LarkProperties.h"
#include "wizard/EultDialog.h"
#include "wizard/WndShadow.h"

namespace {

std::wstring g_rectFile;
int g_ticks = 0;
int g_settled = 0;

BOOL CALLBACK FindPage(HWND window, LPARAM param) {
  wchar_t name[32] = {};
  GetClassNameW(window, name, 32);
  if (wcscmp(name, L"#32770") == 0 && IsWindowVisible(window)) {
    *reinterpret_cast<HWND*>(param) = window;
    return FALSE;
  }
  return TRUE;
}

// The document is shown or the offline text with Retry.
bool Settled(HWND page) {
  HWND retry = GetDlgItem(page, RichEditDialogBase::kRetryId);
  if (retry && IsWindowVisible(retry)) return true;
  HWND accept = GetDlgItem(page, RichEditDialogBase::kAcceptId);
  if (accept) return IsWindowEnabled(accept) != FALSE;
  return GetWindowTextLengthW(GetDlgItem(page, RichEditDialogBase::kRichEditId)) > 0;
}

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
  ++g_ticks;
  HWND page = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindPage, reinterpret_cast<LPARAM>(&page));
  if (!page) return;
  if (!g_settled && Settled(page)) g_settled = g_ticks;
  if (g_settled && g_ticks == g_settled + 5) {
    RECT r = {};
    GetWindowRect(page, &r);
    FILE* f = _wfopen(g_rectFile.c_str(), L"w");
    if (f) {
      fprintf(f, "%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
      fclose(f);
    }
  }
  const std::wstring done = g_rectFile + L".done";
  if (g_ticks > 200 || (g_settled && GetFileAttributesW(done.c_str()) != INVALID_FILE_ATTRIBUTES)) {
    // Back ends either page without a question.
    PostMessageW(page, WM_COMMAND, MAKEWPARAM(RichEditDialogBase::kBackId, 0), 0);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 5) {
    fwprintf(stderr, L"usage: wizard_content_screenshot_page eula|eula-offline|privacy LANGUAGE RECTFILE DOCUMENTS\n");
    return 2;
  }
  const std::wstring page = argv[1];
  g_rectFile = argv[3];
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
  SetModuleInstance(GetModuleHandleW(nullptr));
  CWndShadow::RegisterShadowClass(GetModuleHandleW(nullptr));
  WNDCLASSW backdrop = {};
  backdrop.lpfnWndProc = DefWindowProcW;
  backdrop.hInstance = GetModuleHandleW(nullptr);
  backdrop.hbrBackground = CreateSolidBrush(RGB(201, 206, 216));
  backdrop.lpszClassName = L"LarkScreenshotBackdrop";
  RegisterClassW(&backdrop);
  CreateWindowExW(WS_EX_TOOLWINDOW, backdrop.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 0, 0,
                  GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr,
                  GetModuleHandleW(nullptr), nullptr);
  SetTimer(nullptr, 0, 100, Tick);
  if (page == L"privacy") {
    PrivacyPolicyDialog dialog;
    dialog.DoModal();
  } else {
    EultDialog dialog(true);
    dialog.DoModal();
  }
  return 0;
}
