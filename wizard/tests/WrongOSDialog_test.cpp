// The wrong operating-system page: every way out returns 8, its texts come
// from the store and its caption stays "System Requirements".
#include "wizard/WrongOSDialog.h"

#include <gtest/gtest.h>

#include "settings/LarkProperties.h"
#include "wizard/tests/WizardTestSupport.h"

using namespace wizardtest;

namespace {

std::string Describe(HWND window) {
  if (!window) return "no focus";
  char name[64] = {};
  GetClassNameA(window, name, 64);
  return std::string(name) + " id " + std::to_string(GetDlgCtrlID(window));
}

struct Seen {
  std::wstring caption, title, description, close;
  HWND closeButton = nullptr;
  // Where the focus was on the page's thread right after the page's own
  // start-up code, and later while the page was on screen.
  HWND focusAfterInit = nullptr, focusOnScreen = nullptr;
  std::string focusAfterInitName, focusOnScreenName;
  bool activeOnScreen = false;
};

// Samples the focus on the page's own thread: once when the page's start-up
// code is done (the dialog procedure answers WM_INITDIALOG with 0, so the
// dialog manager keeps that choice), and once on screen through a WM_TIMER
// that the driver sends. Other test processes on the same display can take
// the activation away from the page at any time, and a thread without an
// active window has no focus at all; so the on-screen sample only counts
// while the page is still the active window.
class FocusProbe : public WrongOSDialog {
 public:
  static const UINT_PTR kSampleFocus = 0x7F01;

  INT_PTR OnInitDialog() override {
    INT_PTR result = WrongOSDialog::OnInitDialog();
    seen.focusAfterInit = GetFocus();
    seen.focusAfterInitName = Describe(seen.focusAfterInit);
    return result;
  }
  INT_PTR OnTimer(WPARAM id) override {
    if (id != kSampleFocus) return WrongOSDialog::OnTimer(id);
    seen.activeOnScreen = GetActiveWindow() == m_window;
    seen.focusOnScreen = GetFocus();
    seen.focusOnScreenName = Describe(seen.focusOnScreen);
    return 0;
  }
  Seen seen;
};

class WrongOSDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PrepareWizard();
    LarkProperties::Instance()->SetLanguage(L"en");
  }

  int Show(std::function<void(HWND)> finish, Seen* seen = nullptr) {
    FocusProbe page;
    Seen& s = page.seen;
    int result;
    {
      DialogDriver driver([&](HWND dialog) {
        s.caption = WindowText(dialog);
        s.title = ItemText(dialog, 1003);
        s.description = ItemText(dialog, 1004);
        s.close = ItemText(dialog, IDCANCEL);
        s.closeButton = GetDlgItem(dialog, IDCANCEL);
        SendMessageW(dialog, WM_TIMER, FocusProbe::kSampleFocus, 0);
        finish(dialog);
      });
      result = page.DoModal();
    }
    if (seen) *seen = s;
    return result;
  }
};

TEST_F(WrongOSDialogTest, EveryWayOutEndsWithEight) {
  struct Case {
    const char* name;
    std::function<void(HWND)> action;
  } cases[] = {
      {"close button", [](HWND d) { Click(d, IDCANCEL); }},
      {"caption close button", [](HWND d) { Click(d, 8); }},
      {"escape", [](HWND d) { PressKey(d, IDCANCEL, VK_ESCAPE); }},
      {"system close", [](HWND d) { PostMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0); }},
  };
  for (const Case& c : cases) EXPECT_EQ(WrongOSDialog::kResultAbort, Show(c.action)) << c.name;
}

TEST_F(WrongOSDialogTest, ShowsLocalizedTextsAndFocusesClose) {
  Seen s;
  Show([](HWND d) { Click(d, IDCANCEL); }, &s);
  LarkProperties* store = LarkProperties::Instance();
  EXPECT_EQ(L"System Requirements", s.caption);
  EXPECT_EQ(store->GetLocalizedString(L"WrongOSTitle"), s.title);
  EXPECT_EQ(L"Unsupported operating system", s.title);
  EXPECT_EQ(store->GetLocalizedString(L"WrongOSDescription"), s.description);
  EXPECT_EQ(L"&Close", s.close);
  ASSERT_NE(nullptr, s.closeButton);
  EXPECT_EQ(s.closeButton, s.focusAfterInit) << s.focusAfterInitName;
  if (s.activeOnScreen) {
    EXPECT_EQ(s.closeButton, s.focusOnScreen) << s.focusOnScreenName;
  }
}

TEST_F(WrongOSDialogTest, MissingTextsShowHashAndKeyUnderTheTemplateCaption) {
  LarkProperties::Instance()->SetLanguage(L"no-such-language");
  Seen s;
  Show([](HWND d) { Click(d, IDCANCEL); }, &s);
  LarkProperties::Instance()->SetLanguage(L"en");
  EXPECT_EQ(L"System Requirements", s.caption);
  EXPECT_EQ(L"#WrongOSTitle", s.title);
  EXPECT_EQ(L"#WrongOSDescription", s.description);
  EXPECT_EQ(L"#Close", s.close);
}

TEST_F(WrongOSDialogTest, CloseSitsAtThePanelsRightEdgeBelowIt) {
  RECT panel = {}, close = {}, client = {};
  Show([&](HWND d) {
    panel = ItemRect(d, 1006);
    close = ItemRect(d, IDCANCEL);
    GetClientRect(d, &client);
    Click(d, IDCANCEL);
  });
  EXPECT_EQ(panel.right, close.right);
  const int band = client.bottom - panel.bottom;
  const int height = close.bottom - close.top;
  EXPECT_EQ(panel.bottom + (band - height) / 2, close.top);
}

// A line that mixes Latin and Japanese glyphs from a linked font must not
// run into the description's right edge, where the control clips it.
TEST_F(WrongOSDialogTest, JapaneseDescriptionStaysClearOfItsRightEdge) {
  LarkProperties::Instance()->SetLanguage(L"ja");
  int width = 0, height = 0, inked = 0, rightmost = -1;
  Show([&](HWND d) {
    HWND description = GetDlgItem(d, 1004);
    RECT client = {};
    GetClientRect(description, &client);
    width = client.right;
    height = client.bottom;
    Surface32 surface(width, height);
    PatBlt(surface.Dc(), 0, 0, width, height, WHITENESS);
    SendMessageW(description, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(surface.Dc()), PRF_CLIENT);
    const std::vector<uint32_t> pixels = surface.Pixels();
    for (int y = 0; y < height && !pixels.empty(); ++y) {
      for (int x = 0; x < width; ++x) {
        if (pixels[y * width + x] != 0xFFFFFF) {
          ++inked;
          if (x > rightmost) rightmost = x;
        }
      }
    }
    Click(d, IDCANCEL);
  });
  LarkProperties::Instance()->SetLanguage(L"en");
  ASSERT_GT(width, 0);
  EXPECT_GT(inked, 100);
  EXPECT_LT(rightmost, width - 2) << "width " << width;
}

}  // namespace
