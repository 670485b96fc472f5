// What Enter means on a page whose dialog manager has lost the default
// button. The framework asks for the shadow with WM_USER+1, the number
// that the dialog manager also reads as DM_SETDEFID(0): each time a page
// is shown its default button is cleared, and Enter then arrives as IDOK,
// which no page has. The pages map IDOK back to the button that Enter
// would have pressed.
#pragma once

#include <windows.h>

// The id of the page's push button that has the focus, otherwise
// defaultId.
int ResolveEnterKey(HWND dialog, int defaultId);
