// Shows one wizard page for scripts/screenshots.sh: the message page in
// its three layouts or the wrong operating-system page, in a language of
// the embedded texts. Once the page is on screen it writes its window
// rectangle ("x y width height") to RECTFILE and stays until RECTFILE.done
// exists (at most 15 seconds).
//   wizard_screenshot_page ok|yesno|restart|wrongos LANGUAGE RECTFILE
#include <windows.h>

#include <cstdio>
#include <string>

#include "settings/LarkProperties.h"
#include "wizard/MessageDialog.h"
#include "wizard/WndShadow.h"
#include "wizard/WrongOSDialog.h"

namespace {

std::wstring g_rectFile;
int g_ticks = 0;

BOOL CALLBACK FindPage(HWND window, LPARAM param) {
  wchar_t name[32] = {};
  GetClassNameW(window, name, 32);
  if (wcscmp(name, L"#32770") == 0 && IsWindowVisible(window)) {
    *reinterpret_cast<HWND*>(param) = window;
    return FALSE;
  }
  return TRUE;
}

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
  ++g_ticks;
  HWND page = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindPage, reinterpret_cast<LPARAM>(&page));
  if (!page) return;
  if (g_ticks == 10) {
    RECT r = {};
    GetWindowRect(page, &r);
    FILE* f = _wfopen(g_rectFile.c_str(), L"w");
    if (f) {
      fprintf(f, "%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
      fclose(f);
    }
  }
  const std::wstring done = g_rectFile + L".done";
  if (g_ticks > 150 || (g_ticks > 10 && GetFileAttributesW(done.c_str()) != INVALID_FILE_ATTRIBUTES)) {
    PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    fwprintf(stderr, L"usage: wizard_screenshot_page ok|yesno|restart|wrongos LANGUAGE RECTFILE\n");
    return 2;
  }
  const std::wstring page = argv[1];
  g_rectFile = argv[3];
  LarkProperties* store = LarkProperties::Instance();
  store->ParseResources(GetModuleHandleW(nullptr));
  store->SetLanguage(argv[2]);
  SetModuleInstance(GetModuleHandleW(nullptr));
  CWndShadow::RegisterShadowClass(GetModuleHandleW(nullptr));
  // A plain desktop behind the page, so that the shadow has something to
  // fall on and no earlier window shows through.
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
