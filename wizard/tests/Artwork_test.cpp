// The wizard's bitmaps: the logo ships palettised and must load with exactly
// the pixels of its 24-bit form; the image strips must stay 24-bit.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "wizard/tests/WizardTestSupport.h"

namespace {

constexpr int kLogoId = 1111;
constexpr int kLogoReferenceId = kLogoId + 9000;

HINSTANCE Module() { return GetModuleHandleW(nullptr); }

// The bit depth that a bitmap resource is stored with (0: no such resource).
int StoredBitCount(int id) {
  HRSRC found = FindResourceW(Module(), MAKEINTRESOURCEW(id), reinterpret_cast<LPCWSTR>(RT_BITMAP));
  if (!found) return 0;
  const auto* info = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(Module(), found)));
  return info ? info->biBitCount : 0;
}

// The logo loaded as the styled frame loads it (a device-dependent bitmap,
// LR_DEFAULTCOLOR), copied into a top-down 32-bit surface.
std::vector<uint32_t> LoadedLogoPixels(int id) {
  std::vector<uint32_t> pixels;
  HBITMAP logo = static_cast<HBITMAP>(LoadImageW(Module(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
  if (!logo) return pixels;
  BITMAP bm = {};
  GetObjectW(logo, sizeof(bm), &bm);
  wizardtest::Surface32 surface(bm.bmWidth, bm.bmHeight);
  HDC logoDc = CreateCompatibleDC(nullptr);
  if (surface.Dc()) {
    HGDIOBJ oldLogo = SelectObject(logoDc, logo);
    BitBlt(surface.Dc(), 0, 0, bm.bmWidth, bm.bmHeight, logoDc, 0, 0, SRCCOPY);
    SelectObject(logoDc, oldLogo);
    pixels = surface.Pixels();
  }
  DeleteDC(logoDc);
  DeleteObject(logo);
  return pixels;
}

TEST(ArtworkTest, PalettisedLogoLoadsWithThePixelsOfIts24BitForm) {
  EXPECT_EQ(8, StoredBitCount(kLogoId));
  EXPECT_EQ(24, StoredBitCount(kLogoReferenceId));
  std::vector<uint32_t> shipped = LoadedLogoPixels(kLogoId);
  std::vector<uint32_t> reference = LoadedLogoPixels(kLogoReferenceId);
  ASSERT_EQ(162u * 18u, reference.size());
  ASSERT_EQ(reference.size(), shipped.size());
  int differing = 0;
  for (size_t p = 0; p < reference.size(); ++p) differing += shipped[p] != reference[p];
  EXPECT_EQ(0, differing);
  // The frame makes the logo's mask from the colour of its top-left pixel.
  EXPECT_EQ(0xff00ffu, shipped[0]);
}

// The spinner, the page images and the close button are loaded into image
// lists from DIB sections, and such a list takes the bitmap's depth: an 8-bit
// strip gives an 8-bit list, which does not draw the 24-bit strip's colours
// and mask. They stay 24-bit.
TEST(ArtworkTest, ImageListStripsStay24Bit) {
  for (int id : {136, 145, 138}) {
    SCOPED_TRACE(id);
    EXPECT_EQ(24, StoredBitCount(id));
  }
}

}  // namespace
