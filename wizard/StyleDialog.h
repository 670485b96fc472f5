// The styled frame that every wizard page draws for itself: the window is
// cut to its client area with rounded corners, a 26-pixel caption band with
// a colour gradient, the title and a small icon is painted at the top, a
// dark one-pixel ring outlines the shape, and the body shows a white-to-grey
// gradient, a white rounded content panel, a 48x48 page image and a logo.
// StyleDialog adds the one customer setting that changes it, the base
// colour "CustomBaseColor".
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "wizard/DialogBase.h"
#include "wizard/DialogIDs.h"
#include "wizard/TitlebarButton.h"

// The identifier table of every styled page.
const DialogIDs& GetStyleDialogIDs();

// Colours of the caption band for a base colour.
struct CaptionColors {
  bool darkBase;
  COLORREF top;     // the band down to four rows above its bottom line
  COLORREF bottom;  // the band's last shaded row
  COLORREF text;    // the title
};
CaptionColors ComputeCaptionColors(COLORREF base, bool active);

// Grows a position by the screen's DPI: value + extra + a fixed offset in
// a few DPI bands, value unchanged outside them (96 dpi moves nothing).
int DpiAdjust(int value, int extra);
// The same for a given ratio of the screen's DPI to 96.
int DpiAdjustForRatio(int value, int extra, float ratio);

// Moves control `moved` so that its top equals the top of `reference` and
// its right edge lies 8 pixels left of reference's left edge.
void PlaceLeftOf(HWND reference, HWND moved);

class StyleDialogBase : public DialogBase {
 public:
  // Page image selector values besides an index into the page images.
  static constexpr int kNoPageImage = -1;
  static constexpr int kBigIconPageImage = 3;
  static constexpr int kCaptionHeight = 26;

  StyleDialogBase(int templateId, HWND parent);
  ~StyleDialogBase() override;

  INT_PTR OnInitDialog() override;
  INT_PTR OnCommand(int id, int event) override;
  INT_PTR OnEraseBkgnd(HDC dc) override;
  INT_PTR OnPaint() override;
  INT_PTR OnNcPaint(WPARAM region) override;
  INT_PTR OnNcActivate(WPARAM active) override;
  INT_PTR OnNcHitTest(int x, int y) override;
  INT_PTR OnMouseMove(WPARAM flags, int x, int y) override;
  INT_PTR OnNcLButtonDown(WPARAM hit, int x, int y) override;
  INT_PTR OnLButtonUp(WPARAM flags, int x, int y) override;
  INT_PTR OnCtlColor(HDC dc, HWND control) override;
  void Invalidate() override;

  // Sets the page text label and repaints its area before it returns;
  // callable from worker threads that hold no lock the page's thread waits
  // for.
  void SetHeaderText(const std::wstring& text);
  // Sizes the window to its client area plus the frame and the content
  // panel to the client's width; pages call it after OnInitDialog.
  void FitToClient();
  // Cuts the window to its client area with rounded corners.
  void SetRoundedRegion();

  // Regions in client coordinates (windowCoordinates false) or window
  // coordinates; the caller deletes them.
  HRGN GetCaptionRegion(bool windowCoordinates) const;
  HRGN GetBodyRegion(bool windowCoordinates) const;
  HRGN GetOuterShape(bool windowCoordinates) const;

  void DrawCaption(bool windowCoordinates, HDC dc, bool active);
  void DrawFrame(HDC dc, bool windowCoordinates);
  void DrawBackground(HDC dc, const RECT& rect);
  // Replaces the logo by bitmap and builds its transparency mask from the
  // colour of its top-left pixel.
  void MakeLogoMask(HBITMAP bitmap);
  HFONT CreateCaptionFont(HDC dc, bool bold, int points, bool underline);

  COLORREF GetBaseColor() const { return m_baseColor; }
  void SetBaseColor(COLORREF color) { m_baseColor = color; }
  int GetPageImage() const { return m_pageImage; }
  void SetPageImage(int selector) { m_pageImage = selector; }
  bool GetShowLogo() const { return m_showLogo; }
  void SetShowLogo(bool show) { m_showLogo = show; }
  const DialogIDs& GetIds() const { return *m_ids; }
  TitlebarButton& GetCloseButton() { return m_closeButton; }
  HFONT GetTitleFont() const { return m_titleFont; }
  HFONT GetLinkFont() const { return m_linkFont; }
  HFONT GetNormalFont() const { return m_normalFont; }
  HFONT GetBoldFont() const { return m_boldFont; }
  bool IsDragging() const { return m_dragging; }

 protected:
  RECT GetFrameRect(bool windowCoordinates) const;
  HRGN GetInnerShape(bool windowCoordinates) const;
  HRGN GetCaptionBand(bool windowCoordinates) const;
  HFONT CreatePageFont(int points, int weight, bool underline);

  const DialogIDs* m_ids;
  TitlebarButton m_closeButton;
  TitlebarButton m_maximizeButton;
  TitlebarButton m_minimizeButton;
  HFONT m_titleFont;
  HFONT m_linkFont;
  HFONT m_normalFont;
  HFONT m_boldFont;
  bool m_dragging;
  int m_pressX;
  int m_pressY;
  HICON m_smallIcon;
  HICON m_bigIcon;
  bool m_showLogo;
  HBITMAP m_logo;
  HBITMAP m_logoMask;
  HIMAGELIST m_pageImages;
  int m_pageImage;
  COLORREF m_baseColor;
};

class StyleDialog : public StyleDialogBase {
 public:
  // Reads "CustomBaseColor" ("red,green,blue"; missing parts are 0, each
  // part taken modulo 256) over the default base colour.
  StyleDialog(int templateId, HWND parent);
  ~StyleDialog() override;

  static COLORREF ParseBaseColor(const std::wstring& text, COLORREF fallback);
};
