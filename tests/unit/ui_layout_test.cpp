// Pixel geometry of the installer window at the scales that round differently.
#include "ui/layout.h"

#include <gtest/gtest.h>

// Comparison and printing of the pixel types, found by argument lookup in the
// global namespace where the types live.
static bool operator==(const PixelBox& a, const PixelBox& b) {
  return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}
static bool operator==(const PixelRect& a, const PixelRect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
static bool operator==(const PixelPoint& a, const PixelPoint& b) { return a.x == b.x && a.y == b.y; }

static std::ostream& operator<<(std::ostream& out, const PixelBox& b) {
  return out << "(" << b.x << ", " << b.y << ") " << b.width << " x " << b.height;
}
static std::ostream& operator<<(std::ostream& out, const PixelRect& r) {
  return out << "(" << r.left << ", " << r.top << ")-(" << r.right << ", " << r.bottom << ")";
}
static std::ostream& operator<<(std::ostream& out, const PixelPoint& p) {
  return out << "(" << p.x << ", " << p.y << ")";
}

namespace {

struct ControlCase {
  ControlSlot slot;
  PixelBox at_1_00;
  PixelBox at_1_25;
};

// At 1.25 every number is rounded on its own: 296 -> 370, 34 -> 43 (not 42),
// 698 -> 873, 102 -> 128, so Browse ends at 1001 while its design edge is 800.
const ControlCase kControlCases[] = {
    {kFolderField, {40, 296, 644, 34}, {50, 370, 805, 43}},
    {kBrowseButton, {698, 296, 102, 34}, {873, 370, 128, 43}},
    {kDesktopCheck, {40, 351, 232, 30}, {50, 439, 290, 38}},
    {kStartMenuCheck, {280, 351, 240, 30}, {350, 439, 300, 38}},
    {kStartupCheck, {536, 351, 264, 30}, {670, 439, 330, 38}},
    {kProgressBar, {40, 454, 760, 6}, {50, 568, 950, 8}},
    {kMainButton, {554, 482, 246, 44}, {693, 603, 308, 55}},
    {kWebsiteButton, {40, 482, 224, 44}, {50, 603, 280, 55}},
};

TEST(UiLayout, EveryControlBoxAtScale1And125) {
  ASSERT_EQ(sizeof kControlCases / sizeof kControlCases[0], static_cast<size_t>(kControlCount));
  for (const ControlCase& c : kControlCases) {
    SCOPED_TRACE(c.slot);
    EXPECT_EQ(ControlBox(c.slot, 1.0), c.at_1_00);
    EXPECT_EQ(ControlBox(c.slot, 1.25), c.at_1_25);
  }
}

TEST(UiLayout, ProgressBarAtScale15) {
  EXPECT_EQ(ControlBox(kProgressBar, 1.5), (PixelBox{60, 681, 1140, 9}));
}

TEST(UiLayout, StatusBandAndItsRoundingAgainstBrowse) {
  EXPECT_EQ(StatusBand(1.0), (PixelRect{40, 400, 800, 448}));
  EXPECT_EQ(StatusBand(1.25), (PixelRect{50, 500, 1000, 560}));
  const PixelBox browse = ControlBox(kBrowseButton, 1.25);
  EXPECT_EQ(browse.x + browse.width, 1001);
}

// The status band is what a status change repaints: at every scale that
// start-up can produce it must cover the whole status text rectangle.
TEST(UiLayout, StatusBandEnclosesStatusTextAtEveryScale) {
  const PaintedText& status = kPaintedTexts[kPaintedTextCount - 1];
  ASSERT_EQ(status.text, kStatusLineText);
  for (double scale : {0.5, 1.0, 1.1333333333, 1.25, 1.4545454545, 1.5, 1.7333333333, 2.0, 3.0}) {
    SCOPED_TRACE(scale);
    const PixelRect band = StatusBand(scale);
    const PixelRect text = ScaleRect(status.rect, scale);
    EXPECT_LE(band.left, text.left);
    EXPECT_LE(band.top, text.top);
    EXPECT_GE(band.right, text.right);
    EXPECT_GE(band.bottom, text.bottom);
  }
}

TEST(UiLayout, PaintedTextRectanglesAtScale125) {
  const PixelRect expected[kPaintedTextCount] = {
      {120, 40, 620, 75},   // header title
      {120, 75, 495, 100},  // subtitle
      {50, 146, 631, 203},  // headline: 146.25 -> 146, 631.25 -> 631, 202.5 -> 203
      {50, 219, 625, 285},  // introduction: 218.75 -> 219
      {50, 326, 800, 359},  // folder label: 326.25 -> 326, 358.75 -> 359
      {50, 506, 1000, 554}, // status line: 506.25 -> 506, 553.75 -> 554
  };
  for (int i = 0; i < kPaintedTextCount; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(ScaleRect(kPaintedTexts[i].rect, 1.25), expected[i]);
  }
}

TEST(UiLayout, HeaderArtAtScale1) {
  const HeaderArt art = HeaderArtAt(1.0);
  EXPECT_EQ(art.grid_pen_width, 1);
  EXPECT_EQ(art.accent_pen_width, 2);
  for (int k = 0; k < kSlantedLineCount; ++k) {
    SCOPED_TRACE(k);
    // Each line leans 32 units to the left on its way down.
    EXPECT_EQ(art.slanted[k].from, (PixelPoint{521 + 32 * k, 45}));
    EXPECT_EQ(art.slanted[k].to, (PixelPoint{489 + 32 * k, 220}));
  }
  for (int i = 0; i < kHorizontalLineCount; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(art.horizontal[i].from, (PixelPoint{525, 50 + 28 * i}));
    EXPECT_EQ(art.horizontal[i].to, (PixelPoint{803, 50 + 28 * i}));
  }
  EXPECT_EQ(art.horizontal[kHorizontalLineCount - 1].from.y, 218);  // the last below 220
  EXPECT_EQ(art.rings[0], (PixelRect{615, 63, 795, 197}));
  EXPECT_EQ(art.rings[1], (PixelRect{638, 80, 772, 180}));
  const PixelPoint points[] = {{548, 196}, {622, 170}, {677, 92}, {770, 60}};
  for (int i = 0; i < kAccentPointCount; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(art.polyline[i], points[i]);
    EXPECT_EQ(art.point_circles[i],
              (PixelRect{points[i].x - 4, points[i].y - 4, points[i].x + 4, points[i].y + 4}));
  }
}

TEST(UiLayout, HeaderArtAtScale125RoundsEachNumber) {
  const HeaderArt art = HeaderArtAt(1.25);
  EXPECT_EQ(art.grid_pen_width, 1);   // never scaled
  EXPECT_EQ(art.accent_pen_width, 3); // 2.5 + 0.5 truncates to 3
  EXPECT_EQ(art.slanted[0].from, (PixelPoint{651, 56}));
  EXPECT_EQ(art.slanted[0].to, (PixelPoint{611, 275}));
  EXPECT_EQ(art.slanted[7].from, (PixelPoint{931, 56}));
  EXPECT_EQ(art.slanted[7].to, (PixelPoint{891, 275}));
  EXPECT_EQ(art.horizontal[0].from, (PixelPoint{656, 63}));
  EXPECT_EQ(art.horizontal[0].to, (PixelPoint{1004, 63}));
  EXPECT_EQ(art.horizontal[6].from, (PixelPoint{656, 273}));
  EXPECT_EQ(art.rings[0], (PixelRect{769, 79, 994, 246}));
  EXPECT_EQ(art.rings[1], (PixelRect{798, 100, 965, 225}));
  // Circles are the scaled point plus or minus the scaled radius 5.
  const PixelPoint points[] = {{685, 245}, {778, 213}, {846, 115}, {963, 75}};
  for (int i = 0; i < kAccentPointCount; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(art.polyline[i], points[i]);
    EXPECT_EQ(art.point_circles[i],
              (PixelRect{points[i].x - 5, points[i].y - 5, points[i].x + 5, points[i].y + 5}));
  }
}

// The circles' edges come from already scaled values; at 1.1 that differs
// from scaling the circle's design rectangle (598, 211, 607, 220).
TEST(UiLayout, PointCirclesDeriveFromScaledPoint) {
  const HeaderArt art = HeaderArtAt(1.1);
  EXPECT_EQ(art.polyline[0], (PixelPoint{603, 216}));
  EXPECT_EQ(art.point_circles[0], (PixelRect{599, 212, 607, 220}));
}

TEST(UiLayout, IconCornerAndFocusInset) {
  EXPECT_EQ(IconBox(1.0), (PixelBox{40, 32, 42, 42}));
  EXPECT_EQ(IconBox(1.25), (PixelBox{50, 40, 53, 53}));
  EXPECT_EQ(ButtonCornerAt(1.0), 12);
  EXPECT_EQ(ButtonCornerAt(1.25), 15);
  EXPECT_EQ(FocusInsetAt(1.0), 4);
  EXPECT_EQ(FocusInsetAt(1.25), 5);
}

TEST(UiLayout, PaletteAsColorref) {
  // COLORREF is 0x00BBGGRR.
  EXPECT_EQ(color_background, 0x1D0F08u);
  EXPECT_EQ(color_panel, 0x321E11u);
  EXPECT_EQ(color_grid, 0x4A361Bu);
  EXPECT_EQ(color_accent, 0xF2DC6Au);
  EXPECT_EQ(color_border, 0x5D402Au);
  EXPECT_EQ(color_text, 0xFFF7EEu);
  EXPECT_EQ(color_text_muted, 0xCAB39Du);
  EXPECT_EQ(color_accent_disabled, 0x6F5D3Eu);
}

}  // namespace
