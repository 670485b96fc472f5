// The styled frame: caption colours for the base colour setting, hit
// testing of the caption band, caption pixels, and the DPI offsets.
#include "wizard/StyleDialog.h"

#include <gtest/gtest.h>

#include <functional>

#include "settings/LarkProperties.h"
#include "testsupport/TestEnv.h"
#include "wizard/MessageDialog.h"
#include "wizard/tests/WizardTestSupport.h"

using namespace wizardtest;
using larktest::Narrow;

namespace {

TEST(CaptionColorsTest, FollowTheBaseColour) {
  struct Case {
    const char* name;
    COLORREF base;
    bool dark;
    COLORREF bottom, activeText, inactiveTop, inactiveText;
  } cases[] = {
      {"default", RGB(99, 124, 213), true, RGB(69, 86, 149), RGB(255, 255, 255), RGB(161, 176, 229),
       RGB(151, 151, 151)},
      {"0,128,255", RGB(0, 128, 255), true, RGB(0, 89, 178), RGB(255, 255, 255), RGB(102, 178, 255),
       RGB(151, 151, 151)},
      {"light", RGB(250, 240, 200), false, RGB(175, 168, 140), RGB(0, 0, 0), RGB(252, 246, 222),
       RGB(104, 104, 104)},
  };
  for (const Case& c : cases) {
    CaptionColors active = ComputeCaptionColors(c.base, true);
    CaptionColors inactive = ComputeCaptionColors(c.base, false);
    EXPECT_EQ(c.dark, active.darkBase) << c.name;
    EXPECT_EQ(c.base, active.top) << c.name;
    EXPECT_EQ(c.bottom, active.bottom) << c.name;
    EXPECT_EQ(c.bottom, inactive.bottom) << c.name;
    EXPECT_EQ(c.activeText, active.text) << c.name;
    EXPECT_EQ(c.inactiveTop, inactive.top) << c.name;
    EXPECT_EQ(c.inactiveText, inactive.text) << c.name;
  }
}

TEST(BaseColorTest, SettingTextGivesTheBaseColour) {
  const COLORREF fallback = RGB(99, 124, 213);
  struct Case {
    const wchar_t* text;
    COLORREF expected;
  } cases[] = {
      {L"0,128,255", RGB(0, 128, 255)}, {L"300,10", RGB(44, 10, 0)}, {L"", fallback},
      {L"-1,256,513", RGB(255, 0, 1)},  {L"junk", RGB(0, 0, 0)},      {L"12", RGB(12, 0, 0)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, StyleDialog::ParseBaseColor(c.text, fallback)) << Narrow(c.text);
  }
}

TEST(BaseColorTest, StyleDialogReadsCustomBaseColor) {
  PrepareWizard();
  LarkProperties* store = LarkProperties::Instance();
  store->StoreProperty(L"CustomBaseColor", L"0,128,255", LarkProperties::CustomizedSettings);
  StyleDialog custom(134, nullptr);
  store->StoreProperty(L"CustomBaseColor", L"", LarkProperties::CustomizedSettings);
  StyleDialog plain(134, nullptr);
  EXPECT_EQ(RGB(0, 128, 255), custom.GetBaseColor());
  EXPECT_EQ(RGB(99, 124, 213), plain.GetBaseColor());
}

TEST(DpiAdjustTest, OffsetsInsideTheBandsOnly) {
  struct Case {
    float ratio;
    int expected;
  } cases[] = {{1.0f, 33}, {1.25f, 37}, {1.35f, 39}, {1.5f, 43}, {1.8f, 47}, {2.0f, 51}, {1.302f, 33}, {2.2f, 33}};
  for (const Case& c : cases) EXPECT_EQ(c.expected, DpiAdjustForRatio(33, 2, c.ratio)) << c.ratio;
  EXPECT_EQ(33, DpiAdjust(33, 2));  // the test prefix runs at 96 dpi
}

TEST(StyleFrameTest, CaptionBandHitTestsAsCaptionAndBodyAsClient) {
  PrepareWizard();
  LRESULT caption = 0, body = 0, corner = 0;
  int result;
  {
    DialogDriver driver([&](HWND d) {
      auto hit = [d](int x, int y) {
        POINT p = {x, y};
        ClientToScreen(d, &p);
        return SendMessageW(d, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y));
      };
      caption = hit(100, 10);
      body = hit(100, 60);
      corner = hit(0, 0);  // cut away by the rounded shape
      Click(d, IDOK);
    });
    result = ShowMessageDialog(L"Hit test", L"text", nullptr, 0, false);
  }
  EXPECT_EQ(1, result);
  EXPECT_EQ(HTCAPTION, caption);
  EXPECT_NE(HTCAPTION, body);
  EXPECT_NE(HTCAPTION, corner);
}

COLORREF PixelAt(const std::vector<uint32_t>& bits, int width, int x, int y) {
  uint32_t v = bits[static_cast<size_t>(y) * width + x];
  return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
}

// Draws the caption into a top-down 32-bit bitmap of the page's client size.
std::vector<uint32_t> RenderCaption(StyleDialogBase& page, bool active, int& width) {
  RECT client = {};
  GetClientRect(page.GetWindow(), &client);
  width = client.right;
  Surface32 surface(client.right, client.bottom);
  if (!surface.Dc()) return {};
  page.DrawCaption(false, surface.Dc(), active);
  return surface.Pixels();
}

TEST(StyleFrameTest, CaptionIsPaintedInTheBaseColours) {
  PrepareWizard();
  LarkProperties* store = LarkProperties::Instance();
  struct Case {
    const wchar_t* setting;
    COLORREF base;
  } cases[] = {{L"", RGB(99, 124, 213)}, {L"0,128,255", RGB(0, 128, 255)}, {L"300,10", RGB(44, 10, 0)}};
  for (const Case& c : cases) {
    store->StoreProperty(L"CustomBaseColor", c.setting, LarkProperties::CustomizedSettings);
    COLORREF activeTop = 0, inactiveTop = 0, line = 0, shade = 0;
    ProbePage page([&](ProbePage& p) {
      int width = 0;
      std::vector<uint32_t> active = RenderCaption(p, true, width);
      std::vector<uint32_t> inactive = RenderCaption(p, false, width);
      // Left of the title (x 28 on) and right of the icon (8..24).
      activeTop = PixelAt(active, width, 26, 10);
      inactiveTop = PixelAt(inactive, width, 26, 10);
      line = PixelAt(active, width, 60, 25);
      shade = PixelAt(active, width, 60, 24);
    }, L"Probe", L"Probe text");
    EXPECT_EQ(42, page.DoModal());
    CaptionColors colors = ComputeCaptionColors(c.base, true);
    EXPECT_EQ(c.base, activeTop) << Narrow(c.setting);
    EXPECT_EQ(ComputeCaptionColors(c.base, false).top, inactiveTop) << Narrow(c.setting);
    EXPECT_EQ(RGB(77, 77, 77), line) << Narrow(c.setting);
    // The last shaded row lies between the top and the bottom colour.
    EXPECT_LE(GetRValue(shade), GetRValue(c.base));
    EXPECT_GE(GetRValue(shade), GetRValue(colors.bottom));
    EXPECT_LE(GetBValue(shade), GetBValue(c.base));
    EXPECT_GE(GetBValue(shade), GetBValue(colors.bottom));
  }
  store->StoreProperty(L"CustomBaseColor", L"", LarkProperties::CustomizedSettings);
}

TEST(StyleFrameTest, WindowIsCutToTheRoundedClientArea) {
  PrepareWizard();
  RECT box = {}, client = {}, window = {};
  POINT clientOrigin = {};
  int type = ERROR;
  ProbePage page([&](ProbePage& p) {
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    type = GetWindowRgn(p.GetWindow(), region);
    GetRgnBox(region, &box);
    DeleteObject(region);
    GetClientRect(p.GetWindow(), &client);
    GetWindowRect(p.GetWindow(), &window);
    ClientToScreen(p.GetWindow(), &clientOrigin);
  }, L"Probe", L"Probe text");
  EXPECT_EQ(42, page.DoModal());
  EXPECT_EQ(COMPLEXREGION, type);
  EXPECT_EQ(clientOrigin.x - window.left, box.left);
  EXPECT_EQ(clientOrigin.y - window.top + 1, box.top);
  // The round-rectangle region ends a pixel short of its right edge.
  EXPECT_NEAR(client.right, box.right - box.left, 1);
}

}  // namespace
