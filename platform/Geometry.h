// Rectangle conversions and the placing of a control under an anchor,
// used by the wizard pages to lay out their buttons.
#pragma once

#include <windows.h>

// Where to put control so that its right edge lines up with the anchor's
// and it sits vertically centred in the band between the anchor's bottom
// and the bottom of area's client rectangle; in the anchor's parent's
// client coordinates. A control taller than the band ends partly above the
// anchor's bottom.
POINT PlaceControlAfter(HWND anchor, HWND control, HWND area);
// Both corners with ScreenToClient / ClientToScreen; the rectangle changes
// only when both conversions succeed.
bool RectScreenToClient(RECT& rect, HWND window);
bool RectClientToScreen(RECT& rect, HWND window);
