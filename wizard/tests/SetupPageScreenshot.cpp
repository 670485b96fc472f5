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

#include "settings/LarkProperties.h"
#include "wizard/ConflictDialog.h"
#include "wizard/DiskSpaceReqDialog.h"
#include "wizard/WelcomeDialog.h"
#include "wizard/WndShadow.h"

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
  g_rectFile = argv[3];
  LarkProperties* store = LarkProperties::Instance();
  store->ParseResources(GetModuleHandleW(nullptr));
  store->GenerateSelectableLanguages(CodePageOf(language));
  store->SetLanguage(language);
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
