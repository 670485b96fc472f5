// What the wizard's page screenshot programs share. Each shows one page, in
// a language of the embedded texts, for a script that grabs the screen: the
// page stands on a plain backdrop; once it has its final look the program
// writes the page's window rectangle ("x y width height") to RECTFILE, and
// it closes the page when RECTFILE.done exists or a time limit has passed.
#pragma once

#include <windows.h>

#include <string>

// When the rectangle is written and how the page ends; a tick is 100 ms.
struct ScreenshotTiming {
  // Whether the page has its final look; nullptr: as soon as it is on screen.
  bool (*ready)(HWND page) = nullptr;
  // Ticks from the first one at which the page is ready to the rectangle;
  // the default writes it at the tenth tick for a page that is there at once.
  int settleTicks = 9;
  // After this tick the page is closed even without RECTFILE.done.
  int lastTick = 150;
  // The command posted to the page to close it.
  WORD closeCommand = IDCANCEL;
};

// Makes this module the pages' own, registers the shadow's window class and
// covers the screen with the backdrop.
void PrepareScreenshotDesktop();

// Starts the thread timer that writes the rectangle of the thread's page to
// `rectFile` and closes the page; call it before the page's DoModal.
void StartScreenshotTimer(const std::wstring& rectFile, const ScreenshotTiming& timing);
