// StaticLink draws a hyperlink-like text over a static control of a page
// and reports focus, cursor and space-key events on it to the page as
// WM_COMMAND notifications. One link control per process can be subclassed
// at a time (only one page with a link is ever open).
#pragma once

#include <windows.h>

#include <string>

#include "wizard/Static.h"

class StaticLink : public Static {
 public:
  // Events that the link's window procedure sends to the page.
  enum Event { kSpaceActivation = 11, kSetCursor = 12, kSetFocus = 13, kKillFocus = 14 };

  StaticLink();
  virtual ~StaticLink();

  // The full text, the part of it drawn as the link, and the placeholder
  // that marks where the link sits in the full text.
  bool SetTexts(const std::wstring& fullText, const std::wstring& linkText, const std::wstring& placeholder);
  // Draws the texts on a DC of the dialog window (after the page's own
  // painting).
  void Paint(HDC dc);
  void InvalidateInParent();
  bool IsCursorOverLink() const;
  void SetHover(bool on);
  // Handles the link's cursor and focus notifications (the hand over the
  // text, the hover look); false for an activation, which the page acts on.
  bool HandleNotify(int event);
  void SetFonts(HFONT normal, HFONT link) {
    m_normalFont = normal;
    m_linkFont = link;
  }
  HCURSOR GetHandCursor() const { return m_handCursor; }
  HCURSOR GetArrowCursor() const { return m_arrowCursor; }
  const RECT& GetLinkRect() const { return m_linkRect; }
  bool HasFocus() const { return m_focus; }

  // Installs LinkWindowProc on control; its notifications carry linkId.
  static void Subclass(HWND control, int linkId);
  static LRESULT CALLBACK LinkWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static bool IsSpaceActivation();

 private:
  int DrawPiece(HDC dc, const std::wstring& text, RECT& area);

  RECT m_area;
  HFONT m_normalFont;
  HFONT m_linkFont;
  std::wstring m_fullText;
  std::wstring m_linkText;
  std::wstring m_placeholder;
  RECT m_linkRect;
  HCURSOR m_handCursor;
  HCURSOR m_arrowCursor;
  COLORREF m_linkColor;
  bool m_focus;
};
