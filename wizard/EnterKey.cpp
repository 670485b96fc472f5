#include "wizard/EnterKey.h"

int ResolveEnterKey(HWND dialog, int defaultId) {
  HWND focus = GetFocus();
  if (focus && GetParent(focus) == dialog) {
    const LRESULT code = SendMessageW(focus, WM_GETDLGCODE, 0, 0);
    if (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) return GetDlgCtrlID(focus);
  }
  return defaultId;
}
