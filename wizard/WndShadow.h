// CWndShadow draws a page's soft drop shadow in a separate layered,
// click-through popup owned by the page. The popup is a few pixels larger
// than the page on every side and carries a per-pixel-alpha bitmap computed
// from the page's window region; it follows the page by subclassing the
// page's window procedure. Everything runs on the page's thread.
#pragma once

#include <windows.h>

#include <cstdint>

class CWndShadow {
 public:
  // Status bits.
  enum : uint8_t { kEnabled = 1, kShown = 2, kParentVisible = 4, kDisabled = 8 };

  CWndShadow();
  virtual ~CWndShadow();
  CWndShadow(const CWndShadow&) = delete;
  CWndShadow& operator=(const CWndShadow&) = delete;

  // The first call per process registers the window class "ZelboShadowWnd"
  // for instance and returns true; later calls return false. Without it no
  // shadow is ever attached.
  static bool RegisterShadowClass(HINSTANCE instance);

  // Creates the shadow window for page and starts following it; nothing
  // when the class is not registered or the page already has its shadow.
  void AttachToParent(HWND page);
  // Shows or hides the shadow after the page's visibility and state.
  void ShowByParentState(HWND page);
  // Recomputes the shadow bitmap and puts the popup around the page.
  void Redraw(HWND page);

  void SetDarkness(uint8_t darkness) { m_darkness = darkness; }
  void SetSharpness(uint8_t sharpness) { m_sharpness = sharpness; }
  void SetSize(int8_t size) { m_size = size; }
  void SetPosition(int8_t x, int8_t y) { m_xOffset = x; m_yOffset = y; }
  void SetColor(COLORREF color) { m_color = color; }

  HWND GetShadowWindow() const { return m_shadowWindow; }
  uint8_t GetStatus() const { return m_status; }

  // Number of pages that currently have a shadow attached.
  static size_t AttachedCount();

  static LRESULT CALLBACK ParentWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  // Fills the W x H premultiplied BGRA bitmap (bottom-up rows) for a page
  // whose window rectangle is pageRect.
  void RenderShadow(const RECT& pageRect, uint32_t* bits, HWND page);
  void Hide();

  HWND m_shadowWindow;
  WNDPROC m_previousProc;
  uint8_t m_status;
  uint8_t m_darkness;
  uint8_t m_sharpness;
  int8_t m_size;
  int8_t m_xOffset;
  int8_t m_yOffset;
  LPARAM m_lastSize;
  bool m_updatePending;
  COLORREF m_color;
};
