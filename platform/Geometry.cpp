#include "platform/Geometry.h"

POINT PlaceControlAfter(HWND anchor, HWND control, HWND area) {
  RECT window = {};
  GetWindowRect(anchor, &window);
  POINT topLeft = {window.left, window.top};
  ScreenToClient(GetParent(anchor), &topLeft);
  RECT anchorClient = {}, controlClient = {}, areaClient = {};
  GetClientRect(anchor, &anchorClient);
  GetClientRect(control, &controlClient);
  GetClientRect(area, &areaClient);
  const int right = topLeft.x + anchorClient.right;
  const int bottom = topLeft.y + anchorClient.bottom;
  POINT result;
  result.x = right - controlClient.right;
  result.y = bottom + (areaClient.bottom - bottom - controlClient.bottom) / 2;
  return result;
}

bool RectScreenToClient(RECT& rect, HWND window) {
  POINT a = {rect.left, rect.top}, b = {rect.right, rect.bottom};
  if (!ScreenToClient(window, &a) || !ScreenToClient(window, &b)) return false;
  rect = {a.x, a.y, b.x, b.y};
  return true;
}

bool RectClientToScreen(RECT& rect, HWND window) {
  POINT a = {rect.left, rect.top}, b = {rect.right, rect.bottom};
  if (!ClientToScreen(window, &a) || !ClientToScreen(window, &b)) return false;
  rect = {a.x, a.y, b.x, b.y};
  return true;
}
