// The table of resource and control identifiers through which the styled
// frame finds its icons, bitmaps and standard controls. The program has one
// implementation (the styled frame's own table); the interface lets a page
// family bring other resources without touching the frame.
#pragma once

class DialogIDs {
 public:
  virtual ~DialogIDs() {}
  virtual int GetSmallIconId() const = 0;
  virtual int GetBigIconId() const = 0;
  virtual int GetLogoBitmapId() const = 0;
  virtual int GetIconListBitmapId() const = 0;
  virtual int GetDefaultFocusId() const = 0;
  virtual int GetContentFrameId() const = 0;
  virtual int GetCloseButtonId() const = 0;
  virtual int GetCloseButtonBitmapId() const = 0;
  virtual int GetMaximizeButtonId() const = 0;
  virtual int GetMaximizeButtonBitmapId() const = 0;
  virtual int GetMinimizeButtonId() const = 0;
  virtual int GetMinimizeButtonBitmapId() const = 0;
  virtual int GetContentPanelId() const = 0;
  virtual int GetTitleId() const = 0;
  virtual int GetHeaderId() const = 0;
};
