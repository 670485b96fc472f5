// Helpers for tests that drive real wizard pages from inside the process:
// a driver thread that waits for the page to come up and then acts on it
// like a user would (posted clicks and keys, or real mouse clicks and keys
// through the input queue), and the one-time set-up of
// the texts and the shadow class.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "wizard/MessageDialog.h"

namespace wizardtest {

// Loads the embedded texts into the store (once), selects English and
// registers the shadow class.
void PrepareWizard();

// The first visible dialog window of the thread that accept (when given)
// takes, or null.
HWND VisibleDialog(DWORD thread, const std::function<bool(HWND)>& accept = nullptr);

// Runs action(dialog) on a second thread as soon as the calling thread
// shows a visible dialog window; joins in its destructor.
class DialogDriver {
 public:
  explicit DialogDriver(std::function<void(HWND)> action);
  ~DialogDriver();
  DialogDriver(const DialogDriver&) = delete;
  DialogDriver& operator=(const DialogDriver&) = delete;
  bool Found() const { return m_found; }

 private:
  std::thread m_thread;
  bool m_found = false;
};

std::wstring WindowText(HWND window);
std::wstring ItemText(HWND dialog, int id);
// A control's window rectangle in the dialog's client coordinates.
RECT ItemRect(HWND dialog, int id);
// A rectangle of the template in dialog units, in pixels.
RECT DialogUnits(HWND dialog, int x, int y, int w, int h);
bool ItemVisible(HWND dialog, int id);
void Click(HWND dialog, int id);
void PressKey(HWND dialog, int id, WPARAM key);

// What a person sees of a dialog's control: shown, enabled, and the window
// on screen at its centre is the control itself (nothing hides or covers
// it there).
struct Seen {
  bool visible = false;
  bool enabled = false;
  bool inFront = false;
  POINT centre = {};  // screen coordinates
};
Seen SeenOnScreen(HWND dialog, int id);
// A real left click of the mouse at a point of the screen, through the
// input queue: only a window that a person could click there receives it.
// Moves the one cursor of the display: tests that use it run alone.
bool MouseClickAt(POINT screen);
// The same at the centre of a dialog's control.
bool MouseClick(HWND dialog, int id);
// A key pressed and released through the input queue; it reaches the
// window that has the keyboard focus.
bool TypeKey(WORD key);

// A top-down 32-bit drawing surface (a DIB section in a memory DC): draw
// into Dc(), then read the colours back, row after row, with Pixels().
class Surface32 {
 public:
  Surface32(int width, int height);
  ~Surface32();
  Surface32(const Surface32&) = delete;
  Surface32& operator=(const Surface32&) = delete;
  // Null when the surface could not be made.
  HDC Dc() const { return m_bits ? m_dc : nullptr; }
  // 0x00RRGGBB for each pixel (the unused top byte cleared); empty when the
  // surface could not be made.
  std::vector<uint32_t> Pixels() const;

 private:
  int m_width, m_height;
  HDC m_dc = nullptr;
  HBITMAP m_bitmap = nullptr;
  HGDIOBJ m_old = nullptr;
  uint32_t* m_bits = nullptr;
};

// A message page that runs a check on its own thread 150 ms after it is up,
// then ends with 42.
class ProbePage : public MessageDialog {
 public:
  ProbePage(std::function<void(ProbePage&)> probe, const wchar_t* title, const wchar_t* text)
      : MessageDialog(nullptr), m_probe(probe) {
    SetContent(title, text, 0, false);
  }
  INT_PTR OnInitDialog() override {
    MessageDialog::OnInitDialog();
    SetTimer(m_window, 1, 150, nullptr);
    return 0;
  }
  INT_PTR OnTimer(WPARAM id) override {
    KillTimer(m_window, id);
    m_probe(*this);
    EndDialog(m_window, 42);
    return 0;
  }

 private:
  std::function<void(ProbePage&)> m_probe;
};

}  // namespace wizardtest
