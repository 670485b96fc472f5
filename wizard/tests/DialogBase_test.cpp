// The shared dialog procedure: binding without a page object, message
// routing order, posted worker reports, and the link widget's events.
#include "wizard/DialogBase.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/tests/PlatformLogCapture.h"
#include "wizard/MessageDialog.h"
#include "wizard/StaticLink.h"
#include "wizard/WrongOSDialog.h"
#include "wizard/tests/WizardTestSupport.h"

using namespace wizardtest;

namespace {

bool HasLine(const std::vector<std::wstring>& lines, const std::wstring& text) {
  for (const std::wstring& line : lines) {
    if (line.find(text) != std::wstring::npos) return true;
  }
  return false;
}

TEST(DialogBaseTest, PageWithoutObjectStillComesUpAndLogs) {
  PrepareWizard();
  bool seen = false;
  INT_PTR result;
  std::vector<std::wstring> lines;
  {
    PlatformLogCapture log;
    {
      DialogDriver driver([&](HWND d) {
        seen = IsWindowVisible(d) != FALSE;
        EndDialog(d, 5);
        PostMessageW(d, WM_NULL, 0, 0);
      });
      result = DialogBoxParamW(GetModuleInstance(), MAKEINTRESOURCEW(134), nullptr, DialogBase::DialogBaseProc, 0);
    }
    lines = log.Texts();
  }
  EXPECT_TRUE(seen);
  EXPECT_EQ(5, result);
  EXPECT_TRUE(HasLine(lines, L"DialogBase::DialogBaseProc: WM_INITDIALOG dialog pointer NULL"));
  EXPECT_TRUE(HasLine(lines, L"DialogBase::DialogBaseProc: GetWindowLongPtr dialog pointer NULL"));
}

// Records the order in which the frame's operations are called.
class RecordingPage : public MessageDialog {
 public:
  RecordingPage() : MessageDialog(nullptr) { SetContent(L"Recording", L"text", 0, false); }
  INT_PTR OnInitDialog() override {
    MessageDialog::OnInitDialog();
    SetTimer(m_window, 1, 150, nullptr);
    return 1;  // must not change the procedure's answer
  }
  void Invalidate() override {
    calls.push_back(L"Invalidate");
    MessageDialog::Invalidate();
  }
  INT_PTR OnNcActivate(WPARAM active) override {
    calls.push_back(L"OnNcActivate");
    return MessageDialog::OnNcActivate(active);
  }
  INT_PTR OnTimer(WPARAM id) override {
    KillTimer(m_window, id);
    calls.clear();
    SendMessageW(m_window, WM_NCACTIVATE, TRUE, 0);
    ncActivate = calls;
    // A worker's report arrives as a posted command on the page's thread.
    std::thread worker([this] { PostDialogCommand(this, IDNO, 0); });
    worker.join();
    return 0;
  }
  std::vector<std::wstring> calls;
  std::vector<std::wstring> ncActivate;
};

TEST(DialogBaseTest, NcActivateInvalidatesFirstAndWorkerReportsReachOnCommand) {
  PrepareWizard();
  RecordingPage page;
  EXPECT_EQ(IDNO, page.DoModal());
  ASSERT_EQ(2u, page.ncActivate.size());
  EXPECT_EQ(L"Invalidate", page.ncActivate[0]);
  EXPECT_EQ(L"OnNcActivate", page.ncActivate[1]);
}

TEST(WrongOSDialogLogTest, EveryWayOutLogsTheAbort) {
  PrepareWizard();
  for (int id : {IDCANCEL, 8}) {
    std::vector<std::wstring> lines;
    {
      PlatformLogCapture log;
      {
        DialogDriver driver([id](HWND d) { Click(d, id); });
        WrongOSDialog page;
        EXPECT_EQ(8, page.DoModal());
      }
      lines = log.Texts();
    }
    EXPECT_TRUE(HasLine(lines, L"WrongOSDialog::OnClose: User clicked Close. Aborting the installation")) << id;
    EXPECT_TRUE(HasLine(lines, L"WrongOSDialog::OnCommand: id " + std::to_wstring(id) + L" event 0")) << id;
  }
}

// A page with one subclassed link over its text control.
class LinkPage : public MessageDialog {
 public:
  LinkPage() : MessageDialog(nullptr) { SetContent(L"Link", L"", 0, false); }
  INT_PTR OnInitDialog() override {
    MessageDialog::OnInitDialog();
    link.Bind(GetDlgItem(m_window, kTextId));
    link.SetFonts(m_normalFont, m_linkFont);
    link.SetTexts(L"Read the terms", L"Read the terms", L"Read the terms");
    StaticLink::Subclass(link.GetHwnd(), kTextId);
    SetTimer(m_window, 1, 150, nullptr);
    return 0;
  }
  INT_PTR OnCommand(int id, int event) override {
    if (id == kTextId) {
      events.push_back(event);
      if (event == StaticLink::kSpaceActivation) overLinkDuringSpace = link.IsCursorOverLink();
      if (event == StaticLink::kSetFocus) link.SetHover(true);
      if (event == StaticLink::kKillFocus) link.SetHover(false);
      return 0;
    }
    return MessageDialog::OnCommand(id, event);
  }
  INT_PTR OnTimer(WPARAM id) override {
    KillTimer(m_window, id);
    HWND control = link.GetHwnd();
    SendMessageW(control, WM_SETFOCUS, 0, 0);
    focusAfterSet = link.HasFocus();
    SendMessageW(control, WM_CHAR, L' ', 0);
    overLinkAfterSpace = StaticLink::IsSpaceActivation();
    dlgCode = SendMessageW(control, WM_GETDLGCODE, 0, 0);
    SendMessageW(control, WM_KILLFOCUS, 0, 0);
    focusAfterKill = link.HasFocus();

    HDC dc = GetDC(m_window);
    HGDIOBJ old = SelectObject(dc, m_normalFont);
    link.Paint(dc);
    SelectObject(dc, m_linkFont);
    SIZE size = {};
    GetTextExtentPoint32W(dc, L"Read the terms", 14, &size);
    linkWidth = size.cx;
    SelectObject(dc, old);
    ReleaseDC(m_window, dc);
    EndDialog(m_window, 42);
    return 0;
  }
  StaticLink link;
  std::vector<int> events;
  bool overLinkDuringSpace = false, overLinkAfterSpace = true, focusAfterSet = false, focusAfterKill = true;
  LRESULT dlgCode = 0;
  int linkWidth = 0;
};

TEST(StaticLinkTest, ReportsFocusAndSpaceAndDrawsTheWholeTextAsLink) {
  PrepareWizard();
  LinkPage page;
  EXPECT_EQ(42, page.DoModal());
  EXPECT_EQ((std::vector<int>{13, 11, 14}), page.events);
  EXPECT_TRUE(page.focusAfterSet);
  EXPECT_FALSE(page.focusAfterKill);
  EXPECT_TRUE(page.overLinkDuringSpace);
  EXPECT_FALSE(page.overLinkAfterSpace);
  EXPECT_EQ(DLGC_WANTCHARS, page.dlgCode);
  const RECT& r = page.link.GetLinkRect();
  EXPECT_EQ(page.linkWidth + 2, r.right - r.left);
}

}  // namespace
