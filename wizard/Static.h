// Window and Static wrap a control of a page's template: a label is its
// control window and the text it shows. The control belongs to the dialog;
// the wrapper only keeps the text.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>

// Repaints the parent's background under control and then control itself
// before it returns. The wizard's labels are transparent: a label that only
// draws its new text leaves the old one showing through until the page's
// next paint. Callable from any thread; the painting is sent to the windows'
// own thread, which therefore must not be waiting for the caller.
void RepaintWithBackground(HWND control);

class Window {
 public:
  Window() : m_window(nullptr) {}
  void Bind(HWND window) { m_window = window; }
  HWND GetHwnd() const { return m_window; }

 protected:
  HWND m_window;
};

class Static : public Window {
 public:
  Static() {}
  Static(const Static&) = delete;
  Static& operator=(const Static&) = delete;

  // Stores and shows text, optionally fits the control's height to it, and
  // repaints the control's area in the parent (RepaintWithBackground).
  // Returns WM_SETTEXT's result.
  // Safe from any thread: the control's owner thread does the drawing.
  LRESULT SetText(const std::wstring& text, bool fit);
  std::wstring GetText() const;
  // Resizes the control to the height that its word-wrapped text needs.
  void FitHeight();
  // The control's client rectangle in its parent's client coordinates.
  RECT GetRectInParent() const;

 private:
  mutable std::mutex m_textLock;
  std::wstring m_text;
};
