// The progress sink that long operations move: the caller sets the range
// that an operation covers and reports percentages of it. The wizard's
// percentage widget implements it; the download facade and the Windows
// Installer run call it from their own threads, so an implementation must
// accept calls from any thread. It lives beside the download facade, the
// lowest of the layers that use it, so that the download library, the wizard
// and the engine all reach it without depending on a layer above them.
#pragma once

class ProgressSink {
 public:
  virtual ~ProgressSink() {}
  // Sets the range and moves the position to its minimum.
  virtual void SetRange(int minimum, int maximum) = 0;
  virtual void GetRange(int& minimum, int& maximum) = 0;
  // Moves to minimum + (maximum - minimum) * percent / 100.
  virtual void SetSubProgress(int percent) = 0;
  // The last position shown, -1 before the first.
  virtual int GetPos() = 0;
  virtual void SetPos(int value) = 0;
  // One step forward, up to 100.
  virtual void StepIt() = 0;
};
