// Placing a control under an anchor and rectangle conversions.
#include "platform/Geometry.h"

#include <gtest/gtest.h>

namespace {

class GeometryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RECT r = {0, 0, 300, 200};
    AdjustWindowRectEx(&r, WS_POPUP, FALSE, 0);
    m_parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 50, 40, r.right - r.left, r.bottom - r.top, nullptr,
                               nullptr, nullptr, nullptr);
    m_anchor = Child(20, 20, 200, 100);
  }
  void TearDown() override { DestroyWindow(m_parent); }
  HWND Child(int x, int y, int w, int h) {
    return CreateWindowExW(0, L"STATIC", L"", WS_CHILD, x, y, w, h, m_parent, nullptr, nullptr, nullptr);
  }
  HWND m_parent = nullptr;
  HWND m_anchor = nullptr;
};

TEST_F(GeometryTest, ControlLinesUpRightAndCentresInTheBandBelow) {
  struct Case {
    const char* name;
    int width, height;
    POINT expected;
  } cases[] = {
      {"fits the band", 80, 24, {140, 148}},
      {"odd remainder", 80, 25, {140, 147}},
      {"taller than the band", 80, 100, {140, 110}},
  };
  for (const Case& c : cases) {
    HWND control = Child(0, 0, c.width, c.height);
    POINT at = PlaceControlAfter(m_anchor, control, m_parent);
    EXPECT_EQ(c.expected.x, at.x) << c.name;
    EXPECT_EQ(c.expected.y, at.y) << c.name;
    DestroyWindow(control);
  }
}

TEST_F(GeometryTest, RectanglesConvertBothWaysAndStayOnFailure) {
  POINT origin = {0, 0};
  ClientToScreen(m_parent, &origin);
  RECT r = {10, 20, 30, 40};
  ASSERT_TRUE(RectClientToScreen(r, m_parent));
  EXPECT_EQ(origin.x + 10, r.left);
  EXPECT_EQ(origin.y + 40, r.bottom);
  ASSERT_TRUE(RectScreenToClient(r, m_parent));
  EXPECT_EQ(10, r.left);
  EXPECT_EQ(20, r.top);
  EXPECT_EQ(30, r.right);
  EXPECT_EQ(40, r.bottom);

  HWND invalid = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7fff1234));
  RECT kept = {1, 2, 3, 4};
  EXPECT_FALSE(RectScreenToClient(kept, invalid));
  EXPECT_FALSE(RectClientToScreen(kept, invalid));
  EXPECT_EQ(1, kept.left);
  EXPECT_EQ(2, kept.top);
  EXPECT_EQ(3, kept.right);
  EXPECT_EQ(4, kept.bottom);
}

}  // namespace
