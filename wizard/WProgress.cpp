#include "wizard/WProgress.h"

#include <process.h>

#include <cwchar>
#include <stdexcept>

WProgress::WProgress()
    : m_minimum(0),
      m_maximum(100),
      m_position(-1),
      m_stopEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      m_thread(nullptr),
      m_parentDc(nullptr),
      m_spinnerX(0),
      m_spinnerY(0),
      m_labelRect(),
      m_imageCount(0),
      m_images(nullptr) {
  if (!m_stopEvent) throw std::runtime_error("failed to create event");
}

WProgress::~WProgress() {
  SetEvent(m_stopEvent);
  if (m_thread) {
    WaitForSingleObject(m_thread, INFINITE);
    CloseHandle(m_thread);
  }
  CloseHandle(m_stopEvent);
}

void WProgress::CenterInParent() {
  HWND parent = GetParent(m_window);
  RECT p = {};
  GetClientRect(parent, &p);
  const int pw = p.right - p.left, ph = p.bottom - p.top;
  m_spinnerX = pw / 2 - 32;
  m_spinnerY = ph / 2 - 32;
  RECT l = {};
  GetClientRect(m_window, &l);
  SetWindowPos(m_window, nullptr, pw / 2 - (l.right - l.left) / 2, ph / 2 - (l.bottom - l.top) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOREDRAW);
  GetClientRect(m_window, &l);
  MapWindowPoints(m_window, nullptr, reinterpret_cast<POINT*>(&l), 2);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&l), 2);
  m_labelRect = l;
}

void WProgress::SetRange(int minimum, int maximum) {
  m_minimum = minimum;
  m_maximum = maximum;
  SetPos(minimum);
}

void WProgress::GetRange(int& minimum, int& maximum) {
  minimum = m_minimum;
  maximum = m_maximum;
}

void WProgress::SetSubProgress(int percent) {
  const unsigned minimum = static_cast<unsigned>(m_minimum.load());
  const unsigned span = static_cast<unsigned>(m_maximum.load()) - minimum;
  SetPos(static_cast<int>(minimum + span * static_cast<unsigned>(percent) / 100u));
}

int WProgress::GetPos() { return m_position; }

void WProgress::SetPos(int value) {
  // The exchange makes "same value, no repaint" hold when two threads
  // report at once.
  if (m_position.exchange(value) == value) return;
  wchar_t text[16];
  swprintf(text, 16, L"%u%%", static_cast<unsigned>(value));
  SetText(text, false);
}

void WProgress::StepIt() {
  const int position = m_position;
  if (static_cast<unsigned>(position) >= 100u) return;
  SetPos(position + 1);
}

int WProgress::SetImageList(HIMAGELIST images) {
  m_images = images;
  m_imageCount = images ? ImageList_GetImageCount(images) : 0;
  return m_imageCount;
}

void WProgress::StartAnimation() {
  if (m_thread) return;
  ResetEvent(m_stopEvent);
  m_thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &WProgress::ThreadStart, this, 0, nullptr));
}

void WProgress::StopAnimation() {
  SetEvent(m_stopEvent);
  if (m_thread) {
    WaitForSingleObject(m_thread, INFINITE);
    CloseHandle(m_thread);
    m_thread = nullptr;
  }
}

void WProgress::CollapseLabel() { SetWindowPos(m_window, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOZORDER); }

void WProgress::DrawFrame(int index) {
  if (!m_parentDc) {
    m_parentDc = GetDC(GetParent(m_window));
    if (!m_parentDc) return;
    ExcludeClipRect(m_parentDc, m_labelRect.left, m_labelRect.top, m_labelRect.right, m_labelRect.bottom);
  }
  ImageList_DrawEx(m_images, index, m_parentDc, m_spinnerX, m_spinnerY, 64, 64, CLR_NONE, CLR_NONE,
                   ILD_TRANSPARENT);
}

unsigned WProgress::AnimationLoop() {
  unsigned counter = 0;
  do {
    // A list without frames is not supported; the loop then only waits.
    if (m_imageCount > 0) DrawFrame(static_cast<int>(counter % static_cast<unsigned>(m_imageCount)));
    ++counter;
  } while (WaitForSingleObject(m_stopEvent, 100) == WAIT_TIMEOUT);
  if (m_parentDc) {
    ReleaseDC(GetParent(m_window), m_parentDc);
    m_parentDc = nullptr;
  }
  return 0;
}

unsigned __stdcall WProgress::ThreadStart(void* self) { return static_cast<WProgress*>(self)->AnimationLoop(); }
