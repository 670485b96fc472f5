// Dialog procedure shared by every wizard page and the modal loop.
#include "wizard/DialogBase.h"

#include <windowsx.h>

#include "logging/Log.h"
#include "wizard/WndShadow.h"

namespace {
HINSTANCE g_moduleInstance = nullptr;
}

void SetModuleInstance(HINSTANCE instance) { g_moduleInstance = instance; }

HINSTANCE GetModuleInstance() {
  return g_moduleInstance ? g_moduleInstance : GetModuleHandleW(nullptr);
}

DialogBase::DialogBase(HWND parent, int templateId)
    : m_window(nullptr), m_parent(parent), m_templateId(templateId), m_shadow(new CWndShadow()) {
  m_shadow->SetDarkness(80);
  m_shadow->SetSharpness(12);
  m_shadow->SetSize(12);
}

DialogBase::~DialogBase() { delete m_shadow; }

INT_PTR DialogBase::OnInitDialog() { return 0; }
INT_PTR DialogBase::OnCommand(int, int) { return 0; }
INT_PTR DialogBase::OnSysCommand(WPARAM, LPARAM) { return 0; }
INT_PTR DialogBase::OnEraseBkgnd(HDC) { return 1; }
INT_PTR DialogBase::OnPaint() { return 0; }
INT_PTR DialogBase::OnNcPaint(WPARAM) { return 0; }
INT_PTR DialogBase::OnNcActivate(WPARAM) { return 0; }
INT_PTR DialogBase::OnNcHitTest(int, int) { return 0; }
INT_PTR DialogBase::OnMouseMove(WPARAM, int, int) { return 0; }
INT_PTR DialogBase::OnNcLButtonDown(WPARAM, int, int) { return 0; }
INT_PTR DialogBase::OnLButtonUp(WPARAM, int, int) { return 0; }
INT_PTR DialogBase::OnCtlColor(HDC, HWND) { return reinterpret_cast<INT_PTR>(static_cast<HBRUSH>(nullptr)); }
INT_PTR DialogBase::OnDestroy() { return 0; }
INT_PTR DialogBase::OnTimer(WPARAM) { return 0; }
void DialogBase::Invalidate() {}

int DialogBase::DoModal() {
  INT_PTR result = DialogBoxParamW(GetModuleInstance(), MAKEINTRESOURCEW(m_templateId), m_parent,
                                   DialogBase::DialogBaseProc, reinterpret_cast<LPARAM>(this));
  if (result == -1) {
    LogW(2, L"%s: Dialog closed with error = %d", L"DialogBase::DoModal", static_cast<int>(GetLastError()));
  }
  return static_cast<int>(result);
}

void DialogBase::CreateShadow() {
  if (!m_window) {
    LogW(5, L"%s: no window handle => not creating shadow", L"DialogBase::CreateShadow");
    return;
  }
  if (!IsWindowVisible(m_window)) {
    LogW(5, L"%s: window not visible => not creating shadow", L"DialogBase::CreateShadow");
    return;
  }
  m_shadow->AttachToParent(m_window);
}

INT_PTR CALLBACK DialogBase::DialogBaseProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SHOWWINDOW) {
    PostMessageW(window, WM_DIALOG_CREATE_SHADOW, 0, 0);
    return 0;
  }
  if (message == WM_INITDIALOG) {
    DialogBase* dialog = reinterpret_cast<DialogBase*>(lParam);
    if (!dialog) {
      LogW(1, L"%s: WM_INITDIALOG dialog pointer NULL", L"DialogBase::DialogBaseProc");
      return 0;
    }
    dialog->m_window = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(dialog));
    PostMessageW(window, WM_DIALOG_CREATE_SHADOW, 0, 0);
    // The page places the focus itself, so the result is 0 whatever it says.
    dialog->OnInitDialog();
    return 0;
  }
  DialogBase* dialog = reinterpret_cast<DialogBase*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!dialog) {
    LogW(5, L"%s: GetWindowLongPtr dialog pointer NULL", L"DialogBase::DialogBaseProc");
    return 0;
  }
  const int x = GET_X_LPARAM(lParam);
  const int y = GET_Y_LPARAM(lParam);
  switch (message) {
    case WM_DESTROY:
    case WM_CLOSE:
      return dialog->OnDestroy();
    case WM_PAINT:
      dialog->OnPaint();
      return 0;
    case WM_ERASEBKGND:
      return dialog->OnEraseBkgnd(reinterpret_cast<HDC>(wParam));
    case WM_NCHITTEST:
      return dialog->OnNcHitTest(x, y);
    case WM_NCPAINT:
      return dialog->OnNcPaint(wParam);
    case WM_NCACTIVATE:
      dialog->Invalidate();
      return dialog->OnNcActivate(wParam);
    case WM_NCLBUTTONDOWN:
      return dialog->OnNcLButtonDown(wParam, x, y);
    case WM_COMMAND:
      dialog->OnCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_SYSCOMMAND:
      dialog->OnSysCommand(wParam, lParam);
      return 0;
    case WM_TIMER:
      return dialog->OnTimer(wParam);
    case WM_UPDATEUISTATE:
      dialog->Invalidate();
      return 0;
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
      return dialog->OnCtlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_MOUSEMOVE:
      return dialog->OnMouseMove(wParam, x, y);
    case WM_LBUTTONUP:
      return dialog->OnLButtonUp(wParam, x, y);
    case WM_DIALOG_CREATE_SHADOW:
      if (IsWindowVisible(window)) dialog->CreateShadow();
      return 0;
    default:
      return 0;
  }
}

void PostDialogCommand(DialogBase* dialog, int id, int event) {
  if (!dialog) return;
  PostMessageW(dialog->GetWindow(), WM_COMMAND, MAKEWPARAM(id, event), 0);
}
