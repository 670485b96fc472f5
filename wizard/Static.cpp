#include "wizard/Static.h"

void RepaintWithBackground(HWND control) {
  HWND parent = GetParent(control);
  if (!parent) {
    RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    return;
  }
  RECT r = {};
  GetClientRect(control, &r);
  MapWindowPoints(control, parent, reinterpret_cast<POINT*>(&r), 2);
  // The parent paints first and the control over it; both before this
  // returns, so nobody sees the new text over the old one.
  RedrawWindow(parent, &r, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

LRESULT Static::SetText(const std::wstring& text, bool fit) {
  {
    std::lock_guard<std::mutex> lock(m_textLock);
    m_text = text;
  }
  // The lock is not held across the send: the control's thread may itself
  // be waiting to set a text.
  LRESULT result = SendMessageW(m_window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  if (fit) FitHeight();
  if (m_window) RepaintWithBackground(m_window);
  return result;
}

std::wstring Static::GetText() const {
  std::lock_guard<std::mutex> lock(m_textLock);
  return m_text;
}

RECT Static::GetRectInParent() const {
  RECT r = {};
  GetClientRect(m_window, &r);
  MapWindowPoints(m_window, GetParent(m_window), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

void Static::FitHeight() {
  HDC dc = GetDC(m_window);
  if (!dc) return;
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(m_window, WM_GETFONT, 0, 0));
  HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
  RECT client = {};
  GetClientRect(m_window, &client);
  RECT measured = client;
  std::wstring text = GetText();
  int height = DrawTextW(dc, text.c_str(), -1, &measured, DT_CALCRECT | DT_EXPANDTABS | DT_WORDBREAK);
  if (height != 0 && measured.bottom != client.bottom) {
    SetWindowPos(m_window, nullptr, 0, 0, client.right - client.left, measured.bottom - measured.top,
                 SWP_NOMOVE | SWP_NOZORDER);
  }
  if (old) SelectObject(dc, old);
  ReleaseDC(m_window, dc);
}
