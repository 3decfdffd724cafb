#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "main/RoiRecordRules.h"

using corvane::PresetModel;
using corvane::RectPoint;
using corvane::RoiRecordRules;

TEST(RoiRecordRules, QuadsAreFractionsOfTheFrameClockwiseFromTopLeft) {
  auto q = RoiRecordRules::quad(960, 270, 480, 540, 1920, 1080);
  ASSERT_TRUE(q);
  EXPECT_EQ(*q, RectPoint(0.5, 0.25, 0.75, 0.25, 0.75, 0.75, 0.5, 0.75));
  EXPECT_FALSE(RoiRecordRules::quad(1, 1, 1, 1, 0, 1080));
  EXPECT_FALSE(RoiRecordRules::quad(1, 1, 1, 1, 1920, 0));
}

TEST(RoiRecordRules, CropIsTheBannerOffsetOverItsRoomAndZeroWhenThatIsNotANumber) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    double y, H, W, ratio, expected;
  } cases[] = {
      {100, 1080, 3840, 6.0, 100.0 / (1080 - 640)},
      {0, 1080, 3840, 6.0, 0},
      {100, 640, 3840, 6.0, 0},   // six times as wide as high: no room
      {100, 600, 3840, 6.0, 0},   // less than none
      {100, 1080, 3840, 0.0, 0},  // a zero ratio
      {100, 1080, 3840, -2.0, 0},
      {inf, 1080, 3840, 6.0, 0},
      {nan, 1080, 3840, 6.0, 0},
  };
  for (const Case& c : cases) {
    double crop = RoiRecordRules::cropY(c.y, c.H, c.W, c.ratio);
    EXPECT_TRUE(std::isfinite(crop));
    EXPECT_DOUBLE_EQ(crop, c.expected) << c.y << " " << c.H << " " << c.ratio;
  }
}

// A load puts the band back on the row crop x room truncates to: every row of every room
// comes back as it was saved, however the quotient rounds.
TEST(RoiRecordRules, EveryRowComesBackFromItsCrop) {
  const double W = 1920;  // a band of 320 rows
  int wrong = 0;
  for (int room = 1; room <= 1200; ++room) {
    const double H = room + W / 6;
    for (int row = 0; row <= room; ++row) {
      const double crop = RoiRecordRules::cropY(row, H, W, 6.0);
      if (int(std::trunc(crop * (H - W / 6))) != row && wrong++ < 5)
        ADD_FAILURE() << "row " << row << " of " << room << " comes back as "
                      << std::trunc(crop * (H - W / 6));
    }
  }
  EXPECT_EQ(wrong, 0);
}

TEST(RoiRecordRules, PresetByNameKeepsTheCustomOneWhateverItsTitle) {
  std::vector<PresetModel> presets(3);
  presets[0].name = "Default";
  presets[1].name = "Custom";
  presets[1].displayName = "Benutzerdefiniert";
  presets[2].name = "Bright";
  auto none = RoiRecordRules::preset(QVariant(), presets);
  EXPECT_EQ(none.index, 0);
  EXPECT_FALSE(none.custom);
  EXPECT_EQ(RoiRecordRules::preset(QVariant(7), presets).index, 0);  // not a string
  auto unknown = RoiRecordRules::preset(QVariant(QStringLiteral("Gone")), presets);
  EXPECT_EQ(unknown.index, 0);
  EXPECT_FALSE(unknown.custom);
  auto bright = RoiRecordRules::preset(QVariant(QStringLiteral("Bright")), presets);
  EXPECT_EQ(bright.index, 2);
  EXPECT_FALSE(bright.custom);
  auto custom = RoiRecordRules::preset(QVariant(QStringLiteral("Custom")), presets);
  EXPECT_EQ(custom.index, 1);
  ASSERT_TRUE(custom.custom);
  EXPECT_EQ(custom.custom->displayName, "Benutzerdefiniert");
  // A localised title is not a name.
  EXPECT_EQ(RoiRecordRules::preset(QVariant(QStringLiteral("Benutzerdefiniert")), presets).index,
            0);
}

TEST(RoiRecordRules, ChooserItemsAndRecords) {
  EXPECT_EQ(RoiRecordRules::recordOfItem(0, true), 1);
  EXPECT_EQ(RoiRecordRules::recordOfItem(2, true), 3);
  EXPECT_EQ(RoiRecordRules::recordOfItem(0, false), 0);
  EXPECT_EQ(RoiRecordRules::recordOfItem(3, false), 3);
  EXPECT_EQ(RoiRecordRules::itemOfRecord(0, false), 0);
  EXPECT_EQ(RoiRecordRules::itemOfRecord(2, false), 2);
  EXPECT_EQ(RoiRecordRules::itemOfRecord(2, true), 1);
  EXPECT_EQ(RoiRecordRules::itemOfRecord(0, true), 0);
  EXPECT_EQ(RoiRecordRules::itemOfRecord(9, false), 0);
}
