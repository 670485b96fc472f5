// Texts replaced on a page that is on screen: the installation page's
// header and progress label, set by the page itself or by a worker thread,
// and the welcome page's title and instructions on a language change. Read back pixel by
// pixel from the page and compared with a page that only ever showed the
// new text: no pixel of the replaced text may remain.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "settings/LarkProperties.h"
#include "testsupport/TestEnv.h"
#include "wizard/InstallDialog.h"
#include "wizard/WelcomeDialog.h"
#include "wizard/tests/InstallPageTestSupport.h"
#include "wizard/tests/WizardTestSupport.h"

using namespace wizardtest;

namespace {

// The pixels of rect (client coordinates) as the window shows them.
std::vector<uint32_t> Capture(HWND window, const RECT& rect) {
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  Surface32 surface(width, height);
  std::vector<uint32_t> pixels;
  HDC source = GetDC(window);
  if (surface.Dc()) {
    BitBlt(surface.Dc(), 0, 0, width, height, source, rect.left, rect.top, SRCCOPY);
    pixels = surface.Pixels();
  }
  ReleaseDC(window, source);
  return pixels;
}

// How many pixels differ; -1 when the captures cannot be compared.
int Differences(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
  if (a.empty() || a.size() != b.size()) return -1;
  int count = 0;
  for (size_t i = 0; i < a.size(); ++i) count += a[i] != b[i];
  return count;
}

RECT Union(const RECT& a, const RECT& b) {
  RECT r = {};
  UnionRect(&r, &a, &b);
  return r;
}

// A page on which the driver runs probes on the page's own thread, through
// a timer message: a capture there never meets a paint half done (other
// test programs on the display move the activation, which repaints pages).
template <class Page>
class Probed : public Page {
 public:
  static const UINT_PTR kProbeTimer = 0x7F03;
  template <class... Args>
  explicit Probed(Args... args) : Page(args...) {}
  INT_PTR OnTimer(WPARAM id) override {
    if (id != kProbeTimer) return Page::OnTimer(id);
    m_probe();
    return 0;
  }
  void Probe(HWND page, std::function<void()> probe) {
    m_probe = probe;
    SendMessageW(page, WM_TIMER, kProbeTimer, 0);
  }

 private:
  std::function<void()> m_probe;
};

// The installation page without a worker.
class HeaderPage : public Probed<TestInstallDialog> {
 public:
  HeaderPage() : Probed<TestInstallDialog>(PageOptions().NoWorker()) {}
};

// Runs action on a second thread while this (the page's) thread handles
// only sent messages: no paint of the page can come in between, so what
// action sees is what the calls it made left on screen.
void OnWorkerWhilePageWaits(const std::function<void()>& action) {
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread worker([&] {
    action();
    SetEvent(done);
  });
  while (MsgWaitForMultipleObjects(1, &done, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
    MSG message;
    PeekMessageW(&message, nullptr, WM_APP + 0x3FFF, WM_APP + 0x3FFF, PM_NOREMOVE);
  }
  worker.join();
  CloseHandle(done);
}

class HeaderTextTest : public ::testing::Test {
 protected:
  void SetUp() override { PrepareInstallPage(m_scratch.path()); }
  void TearDown() override { LarkProperties::Instance()->SetLanguage(L"en"); }

  // Shows the installation page; act runs on the driver thread, then the
  // page ends.
  int ShowInstallPage(HeaderPage& page, const std::function<void(HWND)>& act) {
    DialogDriver driver([&](HWND dialog) {
      act(dialog);
      PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(InstallDialog::kWorkerDoneId, InstallDialog::kCodeInstalled), 0);
    });
    return page.DoModal();
  }

  larktest::ScratchDir m_scratch{L"header-text"};
};

// A label right after its new text is set, whoever sets it: the header's
// long download text replaced by "Paused..." (SetHeaderText) and the
// progress label's "100%" replaced by "8%" (a Static) must look like the
// new text alone, which a second page shows after it has painted at
// leisure.
TEST_F(HeaderTextTest, ReplacedTextLeavesNothingOfTheOldText) {
  struct Label {
    const char* name;
    int id;
    std::function<void(HeaderPage&, bool)> set;  // the long text, or the short one
  } labels[] = {
      {"header", InstallDialog::kTextId,
       [](HeaderPage& p, bool longText) {
         p.SetHeaderText(longText ? L"Downloading files, please wait..." : L"Paused...");
       }},
      {"progress label", InstallDialog::kPercentId,
       [](HeaderPage& p, bool longText) { p.GetProgress().SetPos(longText ? 100 : 8); }},
  };
  struct Caller {
    const char* name;
    std::function<void(const std::function<void()>&)> run;
  } callers[] = {
      {"the page's own thread", [](const std::function<void()>& calls) { calls(); }},
      {"a worker thread", OnWorkerWhilePageWaits},
  };
  for (const Label& label : labels) {
    RECT rect = {};
    std::vector<uint32_t> alone;
    {
      HeaderPage page;
      EXPECT_EQ(0, ShowInstallPage(page, [&](HWND dialog) {
        rect = ItemRect(dialog, label.id);
        label.set(page, false);
        Sleep(300);
        page.Probe(dialog, [&] { alone = Capture(dialog, rect); });
      }));
    }
    ASSERT_FALSE(alone.empty()) << label.name;
    for (const Caller& caller : callers) {
      std::vector<uint32_t> withLong, replaced;
      HeaderPage page;
      EXPECT_EQ(0, ShowInstallPage(page, [&](HWND dialog) {
        page.Probe(dialog, [&] {
          caller.run([&] {
            label.set(page, true);
            withLong = Capture(dialog, rect);
            label.set(page, false);
            replaced = Capture(dialog, rect);
          });
        });
      }));
      // The long text was on screen, so that it could have been left behind.
      EXPECT_GT(Differences(alone, withLong), 0) << label.name << ", " << caller.name;
      EXPECT_EQ(0, Differences(alone, replaced)) << label.name << ", " << caller.name;
    }
  }
}

// A language change re-texts the welcome page's title (fitted to its text)
// and instructions: once the page has painted, the area of both shows the
// new language's texts only.
TEST_F(HeaderTextTest, LanguageChangeLeavesNothingOfTheOldTexts) {
  LarkProperties* store = LarkProperties::Instance();
  store->GenerateSelectableLanguages(1252);
  const std::vector<std::wstring> languages = store->GetSelectableLanguages();
  int english = -1;
  for (size_t i = 0; i < languages.size(); ++i) {
    if (languages[i] == L"en") english = static_cast<int>(i);
  }
  ASSERT_GE(english, 0);

  auto textArea = [](HWND dialog) {
    return Union(ItemRect(dialog, WelcomeDialog::kTitleId), ItemRect(dialog, WelcomeDialog::kInstructionsId));
  };
  RECT englishArea = {};
  std::vector<uint32_t> alone;
  {
    store->SetLanguage(L"en");
    Probed<WelcomeDialog> page;
    DialogDriver driver([&](HWND dialog) {
      Sleep(200);
      englishArea = textArea(dialog);
      page.Probe(dialog, [&] { alone = Capture(dialog, englishArea); });
      Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(IDCANCEL, page.DoModal());
  }
  ASSERT_FALSE(alone.empty());

  for (const wchar_t* from : {L"de", L"fr", L"ru"}) {
    store->SetLanguage(from);
    std::vector<uint32_t> after;
    Probed<WelcomeDialog> page;
    DialogDriver driver([&](HWND dialog) {
      Sleep(200);
      HWND combo = GetDlgItem(dialog, WelcomeDialog::kLanguageComboId);
      SendMessageW(combo, CB_SETCURSEL, english, 0);
      SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(WelcomeDialog::kLanguageComboId, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(combo));
      Sleep(300);
      page.Probe(dialog, [&] { after = Capture(dialog, englishArea); });
      Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(IDCANCEL, page.DoModal()) << larktest::Narrow(from);
    EXPECT_EQ(0, Differences(alone, after)) << larktest::Narrow(from);
  }
}

}  // namespace
