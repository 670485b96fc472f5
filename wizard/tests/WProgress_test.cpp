// The percentage label: positions, ranges, steps, repaint economy, the
// spinner thread, and the label fed from a second thread while a page runs.
#include "wizard/WProgress.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "wizard/DialogBase.h"
#include "wizard/MessageDialog.h"
#include "wizard/tests/WizardTestSupport.h"

using namespace wizardtest;

namespace {

// A hidden static control that counts the texts it is sent.
class Label {
 public:
  Label() {
    m_window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 80, 20, nullptr, nullptr, nullptr, nullptr);
    SetPropW(m_window, L"LarkTestLabel", this);
    m_previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(m_window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Label::Proc)));
  }
  ~Label() { DestroyWindow(m_window); }
  HWND window() const { return m_window; }
  int texts() const { return m_texts; }
  std::wstring text() const { return WindowText(m_window); }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Label* self = static_cast<Label*>(GetPropW(window, L"LarkTestLabel"));
    if (message == WM_SETTEXT) ++self->m_texts;
    return CallWindowProcW(self->m_previous, window, message, wParam, lParam);
  }
  HWND m_window;
  WNDPROC m_previous;
  int m_texts = 0;
};

TEST(WProgressTest, StepItStopsAtOneHundredAndNeverStartsFromNothing) {
  Label label;
  WProgress progress;
  progress.Bind(label.window());
  progress.StepIt();
  EXPECT_EQ(-1, progress.GetPos());
  EXPECT_EQ(0, label.texts());
  progress.SetPos(99);
  progress.StepIt();
  EXPECT_EQ(100, progress.GetPos());
  EXPECT_EQ(L"100%", label.text());
  progress.StepIt();
  EXPECT_EQ(100, progress.GetPos());
  EXPECT_EQ(2, label.texts());
}

TEST(WProgressTest, SubProgressIsAShareOfTheRange) {
  Label label;
  WProgress progress;
  progress.Bind(label.window());
  struct Case {
    int minimum, maximum, percent;
    const wchar_t* shown;
  } cases[] = {{10, 70, 50, L"40%"}, {10, 70, 0, L"10%"}, {10, 70, 100, L"70%"}, {0, 100, 33, L"33%"},
               {90, 100, 55, L"95%"}};
  for (const Case& c : cases) {
    progress.SetRange(c.minimum, c.maximum);
    progress.SetSubProgress(c.percent);
    EXPECT_EQ(c.shown, label.text()) << c.minimum << ".." << c.maximum << " " << c.percent;
    int minimum = 0, maximum = 0;
    progress.GetRange(minimum, maximum);
    EXPECT_EQ(c.minimum, minimum);
    EXPECT_EQ(c.maximum, maximum);
  }
}

TEST(WProgressTest, SameValueTwiceChangesTheLabelOnce) {
  Label label;
  WProgress progress;
  progress.Bind(label.window());
  progress.SetPos(40);
  progress.SetPos(40);
  EXPECT_EQ(1, label.texts());
  EXPECT_EQ(L"40%", label.text());
  EXPECT_EQ(L"40%", progress.GetText());
}

class CountingProgress : public WProgress {
 public:
  void DrawFrame(int index) override {
    frames.push_back(index);
    WProgress::DrawFrame(index);
  }
  std::vector<int> frames;
};

TEST(WProgressTest, AnimationTurnsThroughTheFramesUntilStopped) {
  Label label;
  CountingProgress progress;
  progress.Bind(label.window());
  progress.StopAnimation();  // nothing running: only signals
  EXPECT_FALSE(progress.IsAnimating());
  HIMAGELIST images = ImageList_Create(64, 64, ILC_COLOR32, 3, 0);
  HBITMAP strip = CreateBitmap(192, 64, 1, 32, nullptr);
  ImageList_Add(images, strip, nullptr);
  EXPECT_EQ(3, progress.SetImageList(images));
  progress.StartAnimation();
  EXPECT_TRUE(progress.IsAnimating());
  Sleep(450);
  progress.StopAnimation();
  EXPECT_FALSE(progress.IsAnimating());
  ASSERT_GE(progress.frames.size(), 3u);
  for (size_t i = 0; i < progress.frames.size(); ++i) EXPECT_EQ(static_cast<int>(i % 3), progress.frames[i]);
  const size_t drawn = progress.frames.size();
  Sleep(150);
  EXPECT_EQ(drawn, progress.frames.size());
  ImageList_Destroy(images);
  DeleteObject(strip);
}

// A message page whose text label is a progress sink; a worker thread moves
// it while the page runs and reports with a posted command when done.
class ProgressPage : public MessageDialog {
 public:
  static constexpr int kWorkerDone = 5000;
  ProgressPage() : MessageDialog(nullptr) { SetContent(L"Progress", L"", 0, false); }
  INT_PTR OnInitDialog() override {
    MessageDialog::OnInitDialog();
    progress.Bind(GetDlgItem(m_window, kTextId));
    worker = std::thread([this] {
      ProgressSink* sink = &progress;
      sink->SetRange(10, 70);
      for (int percent = 0; percent <= 100; percent += 10) {
        sink->SetSubProgress(percent);
        seenByWorker.push_back(WindowText(progress.GetHwnd()));
      }
      sink->SetSubProgress(50);
      PostDialogCommand(this, kWorkerDone, 3);
    });
    return 0;
  }
  INT_PTR OnCommand(int id, int event) override {
    if (id == kWorkerDone) {
      worker.join();
      doneEvent = event;
      shown = WindowText(GetDlgItem(m_window, kTextId));
      EndDialog(m_window, 77);
      return 0;
    }
    return MessageDialog::OnCommand(id, event);
  }
  WProgress progress;
  std::thread worker;
  std::vector<std::wstring> seenByWorker;
  std::wstring shown;
  int doneEvent = -1;
};

TEST(WProgressTest, SecondThreadFeedsTheLabelWhileThePageRuns) {
  PrepareWizard();
  ProgressPage page;
  EXPECT_EQ(77, page.DoModal());
  EXPECT_EQ(3, page.doneEvent);
  EXPECT_EQ(L"40%", page.shown);
  ASSERT_EQ(11u, page.seenByWorker.size());
  EXPECT_EQ(L"10%", page.seenByWorker.front());
  EXPECT_EQ(L"40%", page.seenByWorker[5]);
  EXPECT_EQ(L"70%", page.seenByWorker.back());
}

}  // namespace
