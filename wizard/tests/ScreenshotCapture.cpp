// The backdrop and the timer of the page screenshot programs.
#include "ScreenshotCapture.h"

#include <cstdio>

#include "wizard/DialogBase.h"
#include "wizard/WndShadow.h"
#include "wizard/tests/WizardTestSupport.h"

namespace {

std::wstring g_rectFile;
ScreenshotTiming g_timing;
int g_ticks = 0;
int g_ready = 0;  // the first tick at which the page was ready, 0 before

void WriteRect(HWND page) {
  RECT r = {};
  GetWindowRect(page, &r);
  FILE* f = _wfopen(g_rectFile.c_str(), L"w");
  if (f) {
    fprintf(f, "%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    fclose(f);
  }
}

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
  ++g_ticks;
  HWND page = wizardtest::VisibleDialog(GetCurrentThreadId());
  if (!page) return;
  if (!g_ready && (!g_timing.ready || g_timing.ready(page))) g_ready = g_ticks;
  if (g_ready && g_ticks == g_ready + g_timing.settleTicks) WriteRect(page);
  const std::wstring done = g_rectFile + L".done";
  const bool written = g_ready && g_ticks >= g_ready + g_timing.settleTicks;
  if (g_ticks > g_timing.lastTick || (written && GetFileAttributesW(done.c_str()) != INVALID_FILE_ATTRIBUTES)) {
    PostMessageW(page, WM_COMMAND, MAKEWPARAM(g_timing.closeCommand, 0), 0);
  }
}

}  // namespace

void PrepareScreenshotDesktop() {
  const HINSTANCE module = GetModuleHandleW(nullptr);
  SetModuleInstance(module);
  CWndShadow::RegisterShadowClass(module);
  // A plain desktop behind the page, so that the shadow has something to
  // fall on and no earlier window shows through.
  WNDCLASSW backdrop = {};
  backdrop.lpfnWndProc = DefWindowProcW;
  backdrop.hInstance = module;
  backdrop.hbrBackground = CreateSolidBrush(RGB(201, 206, 216));
  backdrop.lpszClassName = L"LarkScreenshotBackdrop";
  RegisterClassW(&backdrop);
  CreateWindowExW(WS_EX_TOOLWINDOW, backdrop.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 0, 0,
                  GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr, module, nullptr);
}

void StartScreenshotTimer(const std::wstring& rectFile, const ScreenshotTiming& timing) {
  g_rectFile = rectFile;
  g_timing = timing;
  SetTimer(nullptr, 0, 100, Tick);
}
