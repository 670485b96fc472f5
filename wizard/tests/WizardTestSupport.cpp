#include "wizard/tests/WizardTestSupport.h"

#include "settings/LarkProperties.h"
#include "wizard/WndShadow.h"

namespace wizardtest {

void PrepareWizard() {
  static bool prepared = false;
  if (prepared) return;
  prepared = true;
  LarkProperties::Instance()->ParseResources(GetModuleHandleW(nullptr));
  LarkProperties::Instance()->SetLanguage(L"en");
  CWndShadow::RegisterShadowClass(GetModuleHandleW(nullptr));
}

namespace {
struct Search {
  const std::function<bool(HWND)>* accept;
  HWND found;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM param) {
  Search* search = reinterpret_cast<Search*>(param);
  wchar_t name[32] = {};
  GetClassNameW(window, name, 32);
  if (wcscmp(name, L"#32770") == 0 && IsWindowVisible(window) && (!*search->accept || (*search->accept)(window))) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}
}  // namespace

HWND VisibleDialog(DWORD thread, const std::function<bool(HWND)>& accept) {
  Search search = {&accept, nullptr};
  EnumThreadWindows(thread, FindDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

DialogDriver::DialogDriver(std::function<void(HWND)> action) {
  const DWORD threadId = GetCurrentThreadId();
  m_thread = std::thread([this, threadId, action] {
    for (int i = 0; i < 500; ++i) {
      if (HWND dialog = VisibleDialog(threadId)) {
        // Let the page finish its start-up messages (shadow, first paint).
        Sleep(100);
        m_found = true;
        action(dialog);
        return;
      }
      Sleep(10);
    }
  });
}

DialogDriver::~DialogDriver() {
  if (m_thread.joinable()) m_thread.join();
}

std::wstring WindowText(HWND window) {
  wchar_t text[1024] = {};
  GetWindowTextW(window, text, 1024);
  return text;
}

std::wstring ItemText(HWND dialog, int id) { return WindowText(GetDlgItem(dialog, id)); }

RECT ItemRect(HWND dialog, int id) {
  RECT r = {};
  GetWindowRect(GetDlgItem(dialog, id), &r);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

RECT DialogUnits(HWND dialog, int x, int y, int w, int h) {
  RECT r = {x, y, x + w, y + h};
  MapDialogRect(dialog, &r);
  return r;
}

bool ItemVisible(HWND dialog, int id) { return IsWindowVisible(GetDlgItem(dialog, id)) != FALSE; }

void Click(HWND dialog, int id) { PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

void PressKey(HWND dialog, int id, WPARAM key) {
  HWND target = id ? GetDlgItem(dialog, id) : dialog;
  PostMessageW(target, WM_KEYDOWN, key, 0);
  PostMessageW(target, WM_KEYUP, key, 0xC0000000);
}

Seen SeenOnScreen(HWND dialog, int id) {
  Seen seen;
  HWND control = GetDlgItem(dialog, id);
  if (!control) return seen;
  RECT r = {};
  GetWindowRect(control, &r);
  seen.centre = POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  seen.visible = IsWindowVisible(control) != FALSE;
  seen.enabled = IsWindowEnabled(control) != FALSE;
  seen.inFront = WindowFromPoint(seen.centre) == control;
  return seen;
}

bool MouseClickAt(POINT screen) {
  // The position travels with the input itself (0..65535 over the primary
  // screen, rounded up so that it maps back to exactly this pixel).
  const LONG width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  if (width <= 0 || height <= 0) return false;
  INPUT input[3] = {};
  for (INPUT& one : input) {
    one.type = INPUT_MOUSE;
    one.mi.dx = static_cast<LONG>((static_cast<LONGLONG>(screen.x) * 65536 + width - 1) / width);
    one.mi.dy = static_cast<LONG>((static_cast<LONGLONG>(screen.y) * 65536 + height - 1) / height);
    one.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  }
  input[1].mi.dwFlags |= MOUSEEVENTF_LEFTDOWN;
  input[2].mi.dwFlags |= MOUSEEVENTF_LEFTUP;
  return SendInput(3, input, sizeof(INPUT)) == 3;
}

bool MouseClick(HWND dialog, int id) { return MouseClickAt(SeenOnScreen(dialog, id).centre); }

bool TypeKey(WORD key) {
  INPUT input[2] = {};
  input[0].type = INPUT_KEYBOARD;
  input[0].ki.wVk = key;
  input[0].ki.wScan = static_cast<WORD>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
  input[1] = input[0];
  input[1].ki.dwFlags = KEYEVENTF_KEYUP;
  return SendInput(2, input, sizeof(INPUT)) == 2;
}

Surface32::Surface32(int width, int height) : m_width(width), m_height(height) {
  if (width <= 0 || height <= 0) return;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  m_dc = CreateCompatibleDC(nullptr);
  void* bits = nullptr;
  m_bitmap = CreateDIBSection(m_dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!m_dc || !m_bitmap || !bits) return;
  m_old = SelectObject(m_dc, m_bitmap);
  m_bits = static_cast<uint32_t*>(bits);
}

Surface32::~Surface32() {
  if (m_old) SelectObject(m_dc, m_old);
  if (m_bitmap) DeleteObject(m_bitmap);
  if (m_dc) DeleteDC(m_dc);
}

std::vector<uint32_t> Surface32::Pixels() const {
  std::vector<uint32_t> pixels;
  if (!m_bits) return pixels;
  GdiFlush();
  pixels.assign(m_bits, m_bits + static_cast<size_t>(m_width) * m_height);
  for (uint32_t& pixel : pixels) pixel &= 0xFFFFFF;
  return pixels;
}

}  // namespace wizardtest
