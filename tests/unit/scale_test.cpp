// The display scale: DPI / 96, shrunk so that the window fits the work area.
#include "app/scale.h"

#include <gtest/gtest.h>

namespace {

struct ScaleCase {
  int dpi, work_width, work_height;
  double scale;
  int client_width, client_height, body_font;
};

const ScaleCase kCases[] = {
    // 96 DPI on a large work area: design units are pixels.
    {96, 1920, 1040, 1.0, 840, 552, 15},
    // Exactly fits: the rules shrink only when the work area is smaller.
    {96, 880, 600, 1.0, 840, 552, 15},
    {120, 1920, 1080, 1.25, 1050, 690, 19},
    {144, 1920, 1080, 1.5, 1260, 828, 23},
    // 144 DPI on 1280 x 680: the width rule gives 1280/880, after which the
    // height 873 still exceeds 680, so the height rule decides.
    {144, 1280, 680, 680 / 600.0, 952, 626, 17},
    // Only the width rule applies.
    {144, 1280, 1024, 1280 / 880.0, 1222, 803, 22},
    // Only the height rule applies.
    {192, 1920, 1040, 1040 / 600.0, 1456, 957, 26},
    // Smaller than the design size at 96 DPI: there is no lower bound.
    {96, 879, 600, 879 / 880.0, 839, 551, 15},
    {96, 800, 400, 400 / 600.0, 560, 368, 10},
};

TEST(Scale, FromDpiAndWorkArea) {
  for (const ScaleCase& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.dpi << " DPI, " << c.work_width << " x " << c.work_height);
    const double scale = ComputeUiScale(c.dpi, c.work_width, c.work_height);
    EXPECT_DOUBLE_EQ(scale, c.scale);
    EXPECT_EQ(ScaleValueAt(scale, 840), c.client_width);
    EXPECT_EQ(ScaleValueAt(scale, 552), c.client_height);
    EXPECT_EQ(-ScaleValueAt(scale, 15), -c.body_font);
  }
}

TEST(Scale, ScaleValueRoundsHalfUpFromTheGlobalScale) {
  const double saved = ui_scale;
  ui_scale = 1.5;
  EXPECT_EQ(ScaleValue(1), 2);    // 1.5 + 0.5
  EXPECT_EQ(ScaleValue(3), 5);    // 4.5 + 0.5
  EXPECT_EQ(ScaleValue(0.2), 0);  // 0.3 + 0.5 truncates
  EXPECT_EQ(ScaleValue(0), 0);
  ui_scale = 680 / 600.0;
  EXPECT_EQ(ScaleValue(840), 952);
  EXPECT_EQ(ScaleValue(552), 626);
  EXPECT_EQ(ScaleValue(15), 17);
  EXPECT_EQ(ScaleValue(29), 33);
  ui_scale = saved;
}

TEST(Scale, WindowCentredInScaledWorkAreaFitsIt) {
  // Whatever the scale, the window (880 x 600 design units with its frame)
  // is no larger than the work area.
  const int dpis[] = {96, 120, 144, 168, 192, 240, 288};
  const int areas[][2] = {{800, 560}, {1024, 728}, {1280, 680}, {1366, 728}, {1920, 1040}, {3840, 2100}};
  for (int dpi : dpis) {
    for (const auto& area : areas) {
      const double scale = ComputeUiScale(dpi, area[0], area[1]);
      EXPECT_LE(ScaleValueAt(scale, 880), area[0]) << dpi << " " << area[0];
      EXPECT_LE(ScaleValueAt(scale, 600), area[1]) << dpi << " " << area[1];
      EXPECT_LE(scale, dpi / 96.0);
    }
  }
}

}  // namespace
