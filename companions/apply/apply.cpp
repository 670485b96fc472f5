// apply: opens the partner's web page in the user's default browser once and
// quits. It uses the ANSI Windows interface throughout. The window it tries
// to create never comes into being: its procedure answers even the creation
// messages with 0, so the first of them opens the page and the creation then
// fails, which ends the program without a visible window.
//
// Two builds come from this file: the current one opens the renewal page;
// the earlier one (APPLY_LEGACY_BUILD) first shows a help message box with
// the partner's telephone number and opens the shop page.
#include <windows.h>
#include <shellapi.h>

#include "PartnerData.h"

namespace {

// Set once the page has been handed to the shell.
bool g_pageOpened = false;

#ifdef APPLY_LEGACY_BUILD
const char* const kPageAddress = APPLY_SHOP_PAGE;
#else
const char* const kPageAddress = APPLY_RENEWAL_PAGE;
#endif

void OpenPageOnce() {
  if (g_pageOpened) return;
  // Without a browser the shell call fails; the program has nothing better
  // to offer then, so it ends quietly like after a success.
  ShellExecuteA(nullptr, nullptr, kPageAddress, nullptr, nullptr, SW_SHOW);
  g_pageOpened = true;
}

}  // namespace

// Every message, whatever it is, opens the page (the first time) and asks
// the thread to quit; nothing reaches the default window procedure.
LRESULT CALLBACK MainWndProc(HWND /*window*/, UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/) {
#ifdef APPLY_LEGACY_BUILD
  MessageBoxA(nullptr, APPLY_HELP_TEXT " " APPLY_PHONE_NUMBER, "Aide", MB_ICONINFORMATION);
#endif
  OpenPageOnce();
  PostQuitMessage(0);
  return 0;
}

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*commandLine*/, int showCommand) {
  HBRUSH background = CreateSolidBrush(RGB(255, 255, 255));

  WNDCLASSA windowClass = {};
  windowClass.style = 0;
  windowClass.lpfnWndProc = MainWndProc;
  windowClass.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_EXCLAMATION));
  windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  windowClass.hbrBackground = background;
  windowClass.lpszClassName = "classeMFC";
  if (!RegisterClassA(&windowClass)) return 0;

  HWND window = CreateWindowExA(0, "classeMFC", "Renouvellement d'abonnement", WS_SYSMENU | WS_MINIMIZEBOX, 0, 0,
                                550, 560, nullptr, nullptr, nullptr, nullptr);
  if (!window) return 0;

  ShowWindow(window, showCommand);
  UpdateWindow(window);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return static_cast<int>(message.wParam);
}
