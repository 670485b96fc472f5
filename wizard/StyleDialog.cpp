// Painting, hit testing and dragging of the styled frame.
#include "wizard/StyleDialog.h"

#include <cwchar>

#include "logging/Log.h"
#include "settings/LarkProperties.h"
#include "wizard/Static.h"

namespace {

class StyleDialogIDs : public DialogIDs {
 public:
  int GetSmallIconId() const override { return 107; }
  int GetBigIconId() const override { return 108; }
  int GetLogoBitmapId() const override { return 1111; }
  int GetIconListBitmapId() const override { return 145; }
  int GetDefaultFocusId() const override { return 1001; }
  int GetContentFrameId() const override { return 142; }
  int GetCloseButtonId() const override { return 8; }
  int GetCloseButtonBitmapId() const override { return 138; }
  int GetMaximizeButtonId() const override { return 0; }
  int GetMaximizeButtonBitmapId() const override { return 0; }
  int GetMinimizeButtonId() const override { return 0; }
  int GetMinimizeButtonBitmapId() const override { return 0; }
  int GetContentPanelId() const override { return 1006; }
  int GetTitleId() const override { return 1003; }
  int GetHeaderId() const override { return 1004; }
};

const StyleDialogIDs g_styleDialogIds;

const COLORREF kDefaultBaseColor = RGB(99, 124, 213);
const COLORREF kFrameColor = RGB(77, 77, 77);
const COLORREF kPanelPenColor = RGB(153, 153, 153);

void FillSolid(HDC dc, const RECT& r, COLORREF color) {
  TRIVERTEX v[2] = {};
  v[0].x = r.left;
  v[0].y = r.top;
  v[1].x = r.right;
  v[1].y = r.bottom;
  for (TRIVERTEX& t : v) {
    t.Red = static_cast<COLOR16>(GetRValue(color) << 8);
    t.Green = static_cast<COLOR16>(GetGValue(color) << 8);
    t.Blue = static_cast<COLOR16>(GetBValue(color) << 8);
  }
  GRADIENT_RECT g = {0, 1};
  GradientFill(dc, v, 2, &g, 1, GRADIENT_FILL_RECT_V);
}

void FillVertical(HDC dc, int left, int top, int right, int bottom, COLORREF from, COLORREF to) {
  TRIVERTEX v[2] = {};
  v[0].x = left;
  v[0].y = top;
  v[0].Red = static_cast<COLOR16>(GetRValue(from) << 8);
  v[0].Green = static_cast<COLOR16>(GetGValue(from) << 8);
  v[0].Blue = static_cast<COLOR16>(GetBValue(from) << 8);
  v[1].x = right;
  v[1].y = bottom;
  v[1].Red = static_cast<COLOR16>(GetRValue(to) << 8);
  v[1].Green = static_cast<COLOR16>(GetGValue(to) << 8);
  v[1].Blue = static_cast<COLOR16>(GetBValue(to) << 8);
  GRADIENT_RECT g = {0, 1};
  GradientFill(dc, v, 2, &g, 1, GRADIENT_FILL_RECT_V);
}

}  // namespace

const DialogIDs& GetStyleDialogIDs() { return g_styleDialogIds; }

CaptionColors ComputeCaptionColors(COLORREF base, bool active) {
  const int r = GetRValue(base), g = GetGValue(base), b = GetBValue(base);
  CaptionColors colors;
  colors.darkBase = r + g + b / 2 < 400;
  colors.bottom = RGB(r * 7 / 10, g * 7 / 10, b * 7 / 10);
  if (active) {
    colors.top = base;
    colors.text = colors.darkBase ? RGB(255, 255, 255) : RGB(0, 0, 0);
  } else {
    colors.top = RGB(r + (255 - r) * 4 / 10, g + (255 - g) * 4 / 10, b + (255 - b) * 4 / 10);
    colors.text = colors.darkBase ? RGB(151, 151, 151) : RGB(104, 104, 104);
  }
  return colors;
}

int DpiAdjustForRatio(int value, int extra, float ratio) {
  struct Band {
    double low, high;
    int offset;
  };
  static const Band kBands[] = {{1.2, 1.3, 2}, {1.31, 1.4, 4}, {1.41, 1.7, 8}, {1.71, 1.9, 12}, {1.91, 2.1, 16}};
  for (const Band& band : kBands) {
    if (ratio >= band.low && ratio <= band.high) return value + extra + band.offset;
  }
  return value;
}

int DpiAdjust(int value, int extra) {
  HDC screen = GetDC(nullptr);
  int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  float ratio = static_cast<float>(dpi) / 96.0f;
  return DpiAdjustForRatio(value, extra, ratio);
}

void PlaceLeftOf(HWND reference, HWND moved) {
  HWND parent = GetParent(reference);
  RECT ref = {}, mov = {};
  GetWindowRect(reference, &ref);
  GetWindowRect(moved, &mov);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&ref), 2);
  int x = ref.left - (mov.right - mov.left) - 8;
  SetWindowPos(moved, nullptr, x, ref.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

StyleDialogBase::StyleDialogBase(int templateId, HWND parent)
    : DialogBase(parent, templateId),
      m_ids(&g_styleDialogIds),
      m_closeButton(g_styleDialogIds.GetCloseButtonId(), 43, 17, 7, 8, true),
      m_maximizeButton(g_styleDialogIds.GetMaximizeButtonId(), 25, 17, 7, 51, false),
      m_minimizeButton(g_styleDialogIds.GetMinimizeButtonId(), 25, 17, 7, 76, false),
      m_titleFont(nullptr),
      m_linkFont(nullptr),
      m_normalFont(nullptr),
      m_boldFont(nullptr),
      m_dragging(false),
      m_pressX(0),
      m_pressY(0),
      m_showLogo(true),
      m_logo(nullptr),
      m_logoMask(nullptr),
      m_pageImages(nullptr),
      m_pageImage(kBigIconPageImage),
      m_baseColor(kDefaultBaseColor) {
  HINSTANCE module = GetModuleInstance();
  m_smallIcon = static_cast<HICON>(
      LoadImageW(module, MAKEINTRESOURCEW(m_ids->GetSmallIconId()), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
  m_bigIcon = static_cast<HICON>(
      LoadImageW(module, MAKEINTRESOURCEW(m_ids->GetBigIconId()), IMAGE_ICON, 48, 48, LR_DEFAULTCOLOR));
  MakeLogoMask(static_cast<HBITMAP>(
      LoadImageW(module, MAKEINTRESOURCEW(m_ids->GetLogoBitmapId()), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR)));
}

StyleDialogBase::~StyleDialogBase() {
  if (m_smallIcon) DestroyIcon(m_smallIcon);
  if (m_bigIcon) DestroyIcon(m_bigIcon);
  if (m_logoMask) DeleteObject(m_logoMask);
  if (m_logo) DeleteObject(m_logo);
  m_closeButton.DestroyImageList();
  m_maximizeButton.DestroyImageList();
  m_minimizeButton.DestroyImageList();
  if (m_pageImages) ImageList_Destroy(m_pageImages);
  for (HFONT font : {m_titleFont, m_linkFont, m_normalFont, m_boldFont}) {
    if (font) DeleteObject(font);
  }
}

RECT StyleDialogBase::GetFrameRect(bool windowCoordinates) const {
  RECT r = {};
  GetClientRect(m_window, &r);
  if (windowCoordinates) {
    RECT window = {};
    GetWindowRect(m_window, &window);
    POINT origin = {0, 0};
    ClientToScreen(m_window, &origin);
    OffsetRect(&r, origin.x - window.left, origin.y - window.top);
  }
  return r;
}

HRGN StyleDialogBase::GetOuterShape(bool windowCoordinates) const {
  RECT r = GetFrameRect(windowCoordinates);
  return CreateRoundRectRgn(r.left, r.top + 1, r.right, r.bottom, 16, 16);
}

HRGN StyleDialogBase::GetInnerShape(bool windowCoordinates) const {
  RECT r = GetFrameRect(windowCoordinates);
  InflateRect(&r, -1, -1);
  r.top += 1;
  return CreateRoundRectRgn(r.left, r.top, r.right, r.bottom, 14, 14);
}

HRGN StyleDialogBase::GetCaptionBand(bool windowCoordinates) const {
  RECT r = GetFrameRect(windowCoordinates);
  return CreateRectRgn(0, r.top, 2048, r.top + kCaptionHeight);
}

HRGN StyleDialogBase::GetCaptionRegion(bool windowCoordinates) const {
  HRGN inner = GetInnerShape(windowCoordinates);
  HRGN band = GetCaptionBand(windowCoordinates);
  CombineRgn(inner, inner, band, RGN_AND);
  DeleteObject(band);
  return inner;
}

HRGN StyleDialogBase::GetBodyRegion(bool windowCoordinates) const {
  HRGN inner = GetInnerShape(windowCoordinates);
  HRGN band = GetCaptionBand(windowCoordinates);
  CombineRgn(inner, inner, band, RGN_DIFF);
  DeleteObject(band);
  return inner;
}

void StyleDialogBase::SetRoundedRegion() {
  HRGN region = GetOuterShape(true);
  if (!SetWindowRgn(m_window, region, TRUE)) DeleteObject(region);
}

HFONT StyleDialogBase::CreatePageFont(int points, int weight, bool underline) {
  HDC dc = GetWindowDC(m_window);
  LOGFONTW lf = {};
  lf.lfHeight = -MulDiv(points, GetDeviceCaps(dc, LOGPIXELSY), 72);
  lf.lfWeight = weight;
  lf.lfUnderline = underline ? TRUE : FALSE;
  lf.lfQuality = CLEARTYPE_QUALITY;
  wcscpy(lf.lfFaceName, L"Arial");
  ReleaseDC(m_window, dc);
  return CreateFontIndirectW(&lf);
}

HFONT StyleDialogBase::CreateCaptionFont(HDC dc, bool bold, int points, bool underline) {
  HDC used = dc ? dc : GetWindowDC(m_window);
  LOGFONTW lf = {};
  lf.lfHeight = -MulDiv(points, GetDeviceCaps(used, LOGPIXELSY), 72);
  lf.lfWeight = bold ? 700 : 400;
  lf.lfUnderline = underline ? TRUE : FALSE;
  lf.lfQuality = CLEARTYPE_QUALITY;
  wcscpy(lf.lfFaceName, L"Arial");
  if (!dc) ReleaseDC(m_window, used);
  return CreateFontIndirectW(&lf);
}

INT_PTR StyleDialogBase::OnInitDialog() {
  LogW(5, L"%s: ", L"StyleDialogBase::OnInitDialog");
  SetRoundedRegion();
  m_closeButton.Init(this, m_ids->GetCloseButtonBitmapId());
  m_maximizeButton.Init(this, m_ids->GetMaximizeButtonBitmapId());
  m_minimizeButton.Init(this, m_ids->GetMinimizeButtonBitmapId());
  m_maximizeButton.Enable(false);
  if (m_pageImage != kNoPageImage && m_pageImage != kBigIconPageImage && !m_pageImages) {
    m_pageImages = ImageList_LoadImageW(GetModuleInstance(), MAKEINTRESOURCEW(m_ids->GetIconListBitmapId()), 48, 3,
                                        RGB(255, 0, 255), IMAGE_BITMAP, LR_CREATEDIBSECTION);
  }
  SetFocus(GetDlgItem(m_window, m_ids->GetDefaultFocusId()));
  m_titleFont = CreatePageFont(14, 400, false);
  m_linkFont = CreatePageFont(8, 400, true);
  m_normalFont = CreatePageFont(8, 400, false);
  m_boldFont = CreatePageFont(8, 700, false);
  return 0;
}

INT_PTR StyleDialogBase::OnCommand(int id, int) {
  // An id of 0 in the table means the page has no such button.
  if (id != 0 && id == m_ids->GetMinimizeButtonId()) ShowWindow(m_window, SW_MINIMIZE);
  return 0;
}

INT_PTR StyleDialogBase::OnCtlColor(HDC dc, HWND control) {
  wchar_t className[31] = {};
  GetClassNameW(control, className, 31);
  if (wcscmp(className, L"Button") == 0) {
    RECT controlRect = {};
    GetClientRect(control, &controlRect);
    HRGN clip = CreateRectRgnIndirect(&controlRect);
    SelectClipRgn(dc, clip);
    DeleteObject(clip);
    RECT dialogRect = {};
    GetClientRect(m_window, &dialogRect);
    MapWindowPoints(m_window, control, reinterpret_cast<POINT*>(&dialogRect), 2);
    DrawBackground(dc, dialogRect);
  }
  return reinterpret_cast<INT_PTR>(static_cast<HBRUSH>(nullptr));
}

void StyleDialogBase::Invalidate() { InvalidateRect(m_window, nullptr, FALSE); }

INT_PTR StyleDialogBase::OnEraseBkgnd(HDC) {
  OnPaint();
  return 1;
}

INT_PTR StyleDialogBase::OnPaint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(m_window, &ps);
  if (!dc) return 0;
  HRGN body = GetBodyRegion(false);
  SelectClipRgn(dc, body);
  DeleteObject(body);

  RECT client = {};
  GetClientRect(m_window, &client);
  DrawBackground(dc, client);

  HPEN pen = CreatePen(PS_SOLID, 1, kPanelPenColor);
  HGDIOBJ oldPen = SelectObject(dc, pen);
  if (HWND panel = GetDlgItem(m_window, m_ids->GetContentPanelId())) {
    RECT r = {};
    GetWindowRect(panel, &r);
    MapWindowPoints(nullptr, m_window, reinterpret_cast<POINT*>(&r), 2);
    RoundRect(dc, r.left, r.top, r.right, r.bottom, 8, 8);
  }
  if (HWND frame = GetDlgItem(m_window, m_ids->GetContentFrameId())) {
    RECT r = {};
    GetWindowRect(frame, &r);
    MapWindowPoints(nullptr, m_window, reinterpret_cast<POINT*>(&r), 2);
    Rectangle(dc, r.left, r.top, r.right, r.bottom);
  }
  SelectObject(dc, oldPen);
  DeleteObject(pen);

  const int imageX = DpiAdjust(33, 2);
  const int imageY = DpiAdjust(56, 8);
  if (m_pageImage == kBigIconPageImage) {
    if (m_bigIcon) DrawIconEx(dc, imageX, imageY, m_bigIcon, 48, 48, 0, nullptr, DI_NORMAL);
  } else if (m_pageImage != kNoPageImage && m_pageImages) {
    ImageList_DrawEx(m_pageImages, m_pageImage, dc, imageX, imageY, 48, 48, CLR_NONE, CLR_NONE, ILD_TRANSPARENT);
  }

  HRGN outer = GetOuterShape(false);
  SelectClipRgn(dc, outer);
  DeleteObject(outer);
  DrawFrame(dc, false);
  DrawCaption(false, dc, GetActiveWindow() == m_window);
  EndPaint(m_window, &ps);
  return 0;
}

INT_PTR StyleDialogBase::OnNcPaint(WPARAM region) {
  const DWORD flags = DCX_WINDOW | DCX_CACHE | DCX_CLIPSIBLINGS;
  // wParam 1 means the whole window; it is no region handle.
  HDC dc = region > 1 ? GetDCEx(m_window, reinterpret_cast<HRGN>(region), flags | DCX_INTERSECTRGN) : nullptr;
  if (!dc) dc = GetDCEx(m_window, nullptr, flags);
  if (!dc) return 1;
  DrawFrame(dc, true);
  DrawCaption(true, dc, GetActiveWindow() == m_window);
  ReleaseDC(m_window, dc);
  return 1;
}

INT_PTR StyleDialogBase::OnNcActivate(WPARAM active) {
  HDC dc = GetDCEx(m_window, nullptr, DCX_WINDOW | DCX_CACHE | DCX_CLIPSIBLINGS);
  if (dc) {
    DrawCaption(true, dc, active != 0);
    ReleaseDC(m_window, dc);
  }
  return 0;
}

INT_PTR StyleDialogBase::OnNcHitTest(int x, int y) {
  RECT window = {};
  GetWindowRect(m_window, &window);
  const int wx = x - window.left;
  const int wy = y - window.top;
  HRGN shape = GetOuterShape(true);
  HRGN caption = GetCaptionRegion(true);
  LRESULT result = (PtInRegion(shape, wx, wy) && PtInRegion(caption, wx, wy)) ? HTCAPTION : 0;
  DeleteObject(shape);
  DeleteObject(caption);
  SetWindowLongPtrW(m_window, DWLP_MSGRESULT, result);
  return result;
}

INT_PTR StyleDialogBase::OnNcLButtonDown(WPARAM hit, int x, int y) {
  // The press arrives in screen coordinates. A press that the hit test
  // answered with HTCAPTION is moved by the system; dragging it here as
  // well would move the window twice.
  if (hit == HTCAPTION) return 0;
  POINT p = {x, y};
  ScreenToClient(m_window, &p);
  HRGN caption = GetCaptionRegion(false);
  if (PtInRegion(caption, p.x, p.y)) {
    SetCapture(m_window);
    m_dragging = true;
    m_pressX = p.x;
    m_pressY = p.y;
  }
  DeleteObject(caption);
  return 0;
}

INT_PTR StyleDialogBase::OnMouseMove(WPARAM, int x, int y) {
  if (m_dragging) {
    RECT r = {};
    GetWindowRect(m_window, &r);
    SetWindowPos(m_window, nullptr, r.left + x - m_pressX, r.top + y - m_pressY, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  }
  return 0;
}

INT_PTR StyleDialogBase::OnLButtonUp(WPARAM, int, int) {
  if (m_dragging) {
    ReleaseCapture();
    m_dragging = false;
  }
  return 0;
}

void StyleDialogBase::SetHeaderText(const std::wstring& text) {
  HWND header = GetDlgItem(m_window, m_ids->GetHeaderId());
  SetWindowTextW(header, text.c_str());
  // The repaint is sent to the page's thread; the installation worker calls
  // this outside the lock that the page's thread takes, so it cannot wait on
  // the worker.
  if (header) RepaintWithBackground(header);
  InvalidateRect(m_window, nullptr, FALSE);
}

void StyleDialogBase::FitToClient() {
  RECT client = {};
  GetClientRect(m_window, &client);
  SetWindowPos(m_window, nullptr, 0, 0, client.right + 6, client.bottom + 31, SWP_NOMOVE | SWP_NOZORDER);
  if (HWND panel = GetDlgItem(m_window, m_ids->GetContentPanelId())) {
    RECT r = {};
    GetClientRect(panel, &r);
    SetWindowPos(panel, nullptr, 0, 0, r.right - 1, r.bottom + 1, SWP_NOMOVE | SWP_NOZORDER);
  }
}

void StyleDialogBase::DrawFrame(HDC dc, bool windowCoordinates) {
  HRGN outer = GetOuterShape(windowCoordinates);
  HRGN inner = GetInnerShape(windowCoordinates);
  HRGN ring = CreateRectRgn(0, 0, 0, 0);
  CombineRgn(ring, outer, inner, RGN_DIFF);
  HRGN current = CreateRectRgn(0, 0, 0, 0);
  if (GetClipRgn(dc, current) == 1) CombineRgn(ring, ring, current, RGN_AND);
  SelectClipRgn(dc, ring);
  RECT box = {};
  GetRgnBox(outer, &box);
  FillSolid(dc, box, kFrameColor);
  DeleteObject(current);
  DeleteObject(ring);
  DeleteObject(inner);
  DeleteObject(outer);
}

void StyleDialogBase::DrawBackground(HDC dc, const RECT& rect) {
  FillVertical(dc, rect.left, rect.top, rect.right, rect.bottom, RGB(255, 255, 255), RGB(217, 217, 217));
  if (m_showLogo && rect.left == 0 && rect.top == 0 && m_logo && m_logoMask) {
    BITMAP bm = {};
    GetObjectW(m_logo, sizeof(bm), &bm);
    const int x = DpiAdjust(15, 0);
    const int y = rect.bottom - DpiAdjust(31, 0);
    HDC memory = CreateCompatibleDC(dc);
    COLORREF oldText = SetTextColor(dc, RGB(0, 0, 0));
    COLORREF oldBack = SetBkColor(dc, RGB(255, 255, 255));
    HGDIOBJ old = SelectObject(memory, m_logoMask);
    BitBlt(dc, x, y, bm.bmWidth, bm.bmHeight, memory, 0, 0, SRCAND);
    SelectObject(memory, m_logo);
    BitBlt(dc, x, y, bm.bmWidth, bm.bmHeight, memory, 0, 0, SRCPAINT);
    SelectObject(memory, old);
    SetTextColor(dc, oldText);
    SetBkColor(dc, oldBack);
    DeleteDC(memory);
  }
}

void StyleDialogBase::MakeLogoMask(HBITMAP bitmap) {
  if (m_logo && m_logo != bitmap) DeleteObject(m_logo);
  if (m_logoMask) DeleteObject(m_logoMask);
  m_logo = bitmap;
  m_logoMask = nullptr;
  if (!bitmap) return;
  BITMAP bm = {};
  GetObjectW(bitmap, sizeof(bm), &bm);
  m_logoMask = CreateBitmap(bm.bmWidth, bm.bmHeight, 1, 1, nullptr);
  HDC logoDc = CreateCompatibleDC(nullptr);
  HDC maskDc = CreateCompatibleDC(nullptr);
  HGDIOBJ oldLogo = SelectObject(logoDc, bitmap);
  HGDIOBJ oldMask = SelectObject(maskDc, m_logoMask);
  SetBkColor(logoDc, GetPixel(logoDc, 0, 0));
  BitBlt(maskDc, 0, 0, bm.bmWidth, bm.bmHeight, logoDc, 0, 0, SRCCOPY);
  SetTextColor(logoDc, RGB(255, 255, 255));
  SetBkColor(logoDc, RGB(0, 0, 0));
  BitBlt(logoDc, 0, 0, bm.bmWidth, bm.bmHeight, maskDc, 0, 0, SRCAND);
  SelectObject(logoDc, oldLogo);
  SelectObject(maskDc, oldMask);
  DeleteDC(logoDc);
  DeleteDC(maskDc);
}

void StyleDialogBase::DrawCaption(bool windowCoordinates, HDC dc, bool active) {
  HRGN caption = GetCaptionRegion(windowCoordinates);
  SelectClipRgn(dc, caption);
  RECT box = {};
  GetRgnBox(caption, &box);
  DeleteObject(caption);

  const CaptionColors colors = ComputeCaptionColors(m_baseColor, active);
  FillVertical(dc, box.left, box.top, box.right, box.bottom - 5, colors.top, colors.top);
  FillVertical(dc, box.left, box.bottom - 5, box.right, box.bottom - 1, colors.top, colors.bottom);

  HPEN pen = CreatePen(PS_SOLID, 1, kFrameColor);
  HGDIOBJ oldPen = SelectObject(dc, pen);
  MoveToEx(dc, 0, box.bottom - 1, nullptr);
  LineTo(dc, box.right, box.bottom - 1);
  SelectObject(dc, oldPen);
  DeleteObject(pen);

  wchar_t title[256] = {};
  GetWindowTextW(m_window, title, 256);
  HFONT font = CreateCaptionFont(dc, false, 10, false);
  HGDIOBJ oldFont = SelectObject(dc, font);
  int oldMode = SetBkMode(dc, TRANSPARENT);
  COLORREF oldColor = SetTextColor(dc, colors.text);
  RECT textRect = {box.left + 28, box.top, box.right, box.bottom};
  DrawTextW(dc, title, -1, &textRect, DT_NOPREFIX | DT_SINGLELINE | DT_VCENTER);
  SetTextColor(dc, oldColor);
  SetBkMode(dc, oldMode);
  SelectObject(dc, oldFont);
  DeleteObject(font);

  if (m_smallIcon) DrawIconEx(dc, box.left + 8, box.top + 3, m_smallIcon, 16, 16, 0, nullptr, DI_NORMAL);
  m_closeButton.Draw(dc, active, box);
  m_maximizeButton.Draw(dc, active, box);
  m_minimizeButton.Draw(dc, active, box);
}

StyleDialog::StyleDialog(int templateId, HWND parent) : StyleDialogBase(templateId, parent) {
  m_baseColor = ParseBaseColor(LarkProperties::Instance()->GetSetting(L"CustomBaseColor"), m_baseColor);
}

StyleDialog::~StyleDialog() {}

COLORREF StyleDialog::ParseBaseColor(const std::wstring& text, COLORREF fallback) {
  if (text.empty()) return fallback;
  int red = 0, green = 0, blue = 0;
  swscanf(text.c_str(), L"%d,%d,%d", &red, &green, &blue);
  return RGB(red & 0xFF, green & 0xFF, blue & 0xFF);
}
