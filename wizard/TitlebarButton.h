// One caption button that the styled frame draws over a real button control
// of the page's template: the control receives the clicks, the frame paints
// an image of a two-image strip (0 active and enabled, 1 inactive or
// disabled) over it.
#pragma once

#include <windows.h>
#include <commctrl.h>

class StyleDialogBase;

struct TitlebarButton {
  TitlebarButton(int controlId, int width, int height, int yOffset, int xOffset, bool visible);
  ~TitlebarButton();
  TitlebarButton(const TitlebarButton&) = delete;
  TitlebarButton& operator=(const TitlebarButton&) = delete;

  // Binds the owner, loads the image strip once and applies a pending
  // enable state to the control.
  void Init(StyleDialogBase* owner, int bitmapId);
  // Draws the image at the right end of the caption box.
  void Draw(HDC dc, bool active, const RECT& captionBox);
  void DestroyImageList();
  // Enables or disables the control now, or as soon as the owner is bound.
  void Enable(bool enable);

  StyleDialogBase* owner;
  int controlId;
  int width;
  int height;
  int yOffset;
  int xOffset;  // from the right end of the caption
  HIMAGELIST imageList;
  bool visible;
  int pendingEnable;  // 0 none, 1 enable, 2 disable
};
