// DialogBase binds one C++ page object to a modal dialog made from a
// template in the program's resources, routes the messages that the wizard
// uses to virtual operations and attaches the page's drop shadow once the
// window is on screen. All operations run on the thread that called
// DoModal; worker threads talk to a page only through PostDialogCommand.
#pragma once

#include <windows.h>

class CWndShadow;

// The module whose resources (templates, icons, bitmaps) the wizard loads.
// Set by the program before the first page; defaults to the executable.
void SetModuleInstance(HINSTANCE instance);
HINSTANCE GetModuleInstance();

// The message that asks a page to attach its shadow once it is visible.
// From the application's own range: the numbers from WM_USER on are the
// dialog manager's (WM_USER+1 is DM_SETDEFID, which would clear the page's
// default button each time the page is shown).
const UINT WM_DIALOG_CREATE_SHADOW = WM_APP + 1;

class DialogBase {
 public:
  DialogBase(HWND parent, int templateId);
  virtual ~DialogBase();
  DialogBase(const DialogBase&) = delete;
  DialogBase& operator=(const DialogBase&) = delete;

  virtual INT_PTR OnInitDialog();
  virtual INT_PTR OnCommand(int id, int event);
  virtual INT_PTR OnSysCommand(WPARAM wParam, LPARAM lParam);
  virtual INT_PTR OnEraseBkgnd(HDC dc);
  virtual INT_PTR OnPaint();
  virtual INT_PTR OnNcPaint(WPARAM region);
  virtual INT_PTR OnNcActivate(WPARAM active);
  virtual INT_PTR OnNcHitTest(int x, int y);
  virtual INT_PTR OnMouseMove(WPARAM flags, int x, int y);
  virtual INT_PTR OnNcLButtonDown(WPARAM hit, int x, int y);
  virtual INT_PTR OnLButtonUp(WPARAM flags, int x, int y);
  virtual INT_PTR OnCtlColor(HDC dc, HWND control);
  virtual INT_PTR OnDestroy();
  virtual INT_PTR OnTimer(WPARAM id);
  virtual void Invalidate();

  // Runs the page modally; the value the page passed to EndDialog, or -1
  // when the dialog could not be created.
  int DoModal();
  // Attaches the shadow when the window exists and is visible.
  void CreateShadow();

  HWND GetWindow() const { return m_window; }
  HWND GetParentWindow() const { return m_parent; }
  int GetTemplateId() const { return m_templateId; }
  CWndShadow* GetShadow() const { return m_shadow; }

  static INT_PTR CALLBACK DialogBaseProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 protected:
  HWND m_window;
  HWND m_parent;
  int m_templateId;
  CWndShadow* m_shadow;
};

// Posts WM_COMMAND(MAKEWPARAM(id, event), 0) to the page's window; the one
// way in which worker threads report to a page.
void PostDialogCommand(DialogBase* dialog, int id, int event);
