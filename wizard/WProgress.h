// WProgress shows a percentage in a label and turns a 64x64 spinner
// animation on its own thread. It is the progress sink that the download
// facade and the Windows Installer run move from their own threads: the
// caller sets the range that a file or phase covers and reports
// percentages of it.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <atomic>

#include "download/ProgressSink.h"
#include "wizard/Static.h"

class WProgress : public Static, public ProgressSink {
 public:
  // Throws std::runtime_error("failed to create event") when the stop
  // event cannot be created.
  WProgress();
  ~WProgress() override;

  // Centres the label and the spinner in the parent's client area.
  void CenterInParent();

  void SetRange(int minimum, int maximum) override;
  void GetRange(int& minimum, int& maximum) override;
  void SetSubProgress(int percent) override;
  int GetPos() override;
  void SetPos(int value) override;
  void StepIt() override;
  // Hands over the spinner frames (not owned); returns their count.
  virtual int SetImageList(HIMAGELIST images);
  virtual void StartAnimation();
  virtual void StopAnimation();
  // Shrinks the label to nothing so that only the spinner shows.
  virtual void CollapseLabel();
  virtual void DrawFrame(int index);
  virtual unsigned AnimationLoop();

  bool IsAnimating() const { return m_thread != nullptr; }
  POINT GetSpinnerPosition() const { return POINT{m_spinnerX, m_spinnerY}; }

 private:
  static unsigned __stdcall ThreadStart(void* self);

  std::atomic<int> m_minimum;
  std::atomic<int> m_maximum;
  std::atomic<int> m_position;
  HANDLE m_stopEvent;
  HANDLE m_thread;
  HDC m_parentDc;
  int m_spinnerX;
  int m_spinnerY;
  RECT m_labelRect;
  int m_imageCount;
  HIMAGELIST m_images;
};
