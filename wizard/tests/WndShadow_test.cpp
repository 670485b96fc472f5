// The drop shadow of a running page: created once, 12 pixels around the
// page, following its moves and its visibility, gone with the page.
#include "wizard/WndShadow.h"

#include <gtest/gtest.h>

#include <functional>

#include "wizard/MessageDialog.h"
#include "wizard/tests/WizardTestSupport.h"

using namespace wizardtest;

namespace {

int CountShadowWindows() {
  struct Count {
    static BOOL CALLBACK Visit(HWND window, LPARAM param) {
      wchar_t name[32] = {};
      GetClassNameW(window, name, 32);
      if (wcscmp(name, L"ZelboShadowWnd") == 0) ++*reinterpret_cast<int*>(param);
      return TRUE;
    }
  };
  int count = 0;
  EnumThreadWindows(GetCurrentThreadId(), Count::Visit, reinterpret_cast<LPARAM>(&count));
  return count;
}

void PumpMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

TEST(WndShadowTest, ClassRegistersOncePerProcess) {
  PrepareWizard();
  EXPECT_FALSE(CWndShadow::RegisterShadowClass(GetModuleHandleW(nullptr)));
}

TEST(WndShadowTest, ShadowIsCreatedOnceAroundThePageAndFollowsIt) {
  PrepareWizard();
  HWND shadowWindow = nullptr;
  ProbePage page([&](ProbePage& p) {
    HWND window = p.GetWindow();
    shadowWindow = p.GetShadow()->GetShadowWindow();
    ASSERT_TRUE(IsWindow(shadowWindow));
    EXPECT_EQ(1, CountShadowWindows());
    EXPECT_EQ(1u, CWndShadow::AttachedCount());
    EXPECT_TRUE(IsWindowVisible(shadowWindow));
    EXPECT_EQ(window, GetWindow(shadowWindow, GW_OWNER));
    EXPECT_TRUE(GetWindowLongPtrW(shadowWindow, GWL_EXSTYLE) & WS_EX_LAYERED);
    EXPECT_TRUE(GetWindowLongPtrW(shadowWindow, GWL_EXSTYLE) & WS_EX_TRANSPARENT);

    RECT pageRect = {}, shadowRect = {};
    GetWindowRect(window, &pageRect);
    GetWindowRect(shadowWindow, &shadowRect);
    EXPECT_EQ(pageRect.left - 12, shadowRect.left);
    EXPECT_EQ(pageRect.top - 12, shadowRect.top);
    EXPECT_EQ(pageRect.right + 12, shadowRect.right);
    EXPECT_EQ(pageRect.bottom + 12, shadowRect.bottom);

    // Further attach requests change nothing.
    SendMessageW(window, WM_DIALOG_CREATE_SHADOW, 0, 0);
    p.CreateShadow();
    EXPECT_EQ(shadowWindow, p.GetShadow()->GetShadowWindow());
    EXPECT_EQ(1, CountShadowWindows());

    SetWindowPos(window, nullptr, pageRect.left + 30, pageRect.top + 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    PumpMessages();
    GetWindowRect(shadowWindow, &shadowRect);
    EXPECT_EQ(pageRect.left + 30 - 12, shadowRect.left);
    EXPECT_EQ(pageRect.top + 20 - 12, shadowRect.top);

    ShowWindow(window, SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(shadowWindow));
    ShowWindow(window, SW_SHOW);
    EXPECT_TRUE(IsWindowVisible(shadowWindow));

    ShowWindow(window, SW_MINIMIZE);
    EXPECT_FALSE(IsWindowVisible(shadowWindow));
    ShowWindow(window, SW_RESTORE);
    PumpMessages();
    EXPECT_TRUE(IsWindowVisible(shadowWindow)) << int(p.GetShadow()->GetStatus()) << " " << IsIconic(window) << " " << IsWindowVisible(window);
  }, L"Shadow", L"Shadow text");
  EXPECT_EQ(42, page.DoModal());
  EXPECT_FALSE(IsWindow(shadowWindow));
  EXPECT_EQ(0u, CWndShadow::AttachedCount());
}

TEST(WndShadowTest, HiddenPageGetsNoShadow) {
  PrepareWizard();
  ProbePage page([&](ProbePage& p) {
    HWND window = p.GetWindow();
    // A fresh object stands for a page whose shadow is not attached yet.
    DialogBase other(nullptr, 134);
    ShowWindow(window, SW_HIDE);
    other.CreateShadow();  // no window: nothing
    EXPECT_EQ(1u, CWndShadow::AttachedCount());
    ShowWindow(window, SW_SHOW);
  }, L"Shadow", L"Shadow text");
  EXPECT_EQ(42, page.DoModal());
}

}  // namespace
