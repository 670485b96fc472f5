#include "wizard/TitlebarButton.h"

#include "logging/Log.h"
#include "wizard/DialogBase.h"
#include "wizard/StyleDialog.h"

TitlebarButton::TitlebarButton(int id, int w, int h, int y, int x, bool isVisible)
    : owner(nullptr),
      controlId(id),
      width(w),
      height(h),
      yOffset(y),
      xOffset(x),
      imageList(nullptr),
      visible(isVisible),
      pendingEnable(0) {}

TitlebarButton::~TitlebarButton() { DestroyImageList(); }

void TitlebarButton::Init(StyleDialogBase* newOwner, int bitmapId) {
  if (!newOwner) {
    LogW(2, L"%s: Null parent pointer", L"TitlebarButton::Init");
    return;
  }
  owner = newOwner;
  if (!imageList && bitmapId != 0) {
    imageList = ImageList_LoadImageW(GetModuleInstance(), MAKEINTRESOURCEW(bitmapId), width, 2,
                                     RGB(255, 255, 255), IMAGE_BITMAP, LR_CREATEDIBSECTION);
  }
  if (pendingEnable != 0) {
    HWND control = GetDlgItem(owner->GetWindow(), controlId);
    if (control) EnableWindow(control, pendingEnable == 1);
    pendingEnable = 0;
  }
}

void TitlebarButton::Enable(bool enable) {
  HWND control = owner ? GetDlgItem(owner->GetWindow(), controlId) : nullptr;
  if (control) {
    EnableWindow(control, enable);
  } else {
    pendingEnable = enable ? 1 : 2;
  }
}

void TitlebarButton::Draw(HDC dc, bool active, const RECT& box) {
  if (!visible || !imageList || !owner) return;
  HWND control = GetDlgItem(owner->GetWindow(), controlId);
  if (!control) {
    LogW(3, L"%s: Null window pointer", L"TitlebarButton::Draw");
    return;
  }
  int image = (active && IsWindowEnabled(control)) ? 0 : 1;
  int x = box.right - xOffset - width;
  int y = (box.top + box.bottom - yOffset - height) / 2;
  ImageList_DrawEx(imageList, image, dc, x, y, width, height, CLR_NONE, CLR_NONE, ILD_TRANSPARENT);
}

void TitlebarButton::DestroyImageList() {
  if (imageList) ImageList_Destroy(imageList);
  imageList = nullptr;
}
