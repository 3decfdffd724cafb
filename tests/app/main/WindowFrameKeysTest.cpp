#include <gtest/gtest.h>

#include "main/WindowFrameKeys.h"

using corvane::WindowFrameKeys;

TEST(WindowFrameKeys, ArrowsMoveByFiveFramePixelsOtherKeysKeepTheRectangle) {
  const QRectF rect(100, 200, 300, 150);
  struct Case {
    int key;
    QRectF expected;
  } cases[] = {
      {Qt::Key_Up, QRectF(100, 195, 300, 150)},   {Qt::Key_Down, QRectF(100, 205, 300, 150)},
      {Qt::Key_Left, QRectF(95, 200, 300, 150)},  {Qt::Key_Right, QRectF(105, 200, 300, 150)},
      {Qt::Key_Delete, rect},                     {Qt::Key_Backspace, rect},
      {Qt::Key_A, rect},
  };
  for (const Case& c : cases) EXPECT_EQ(WindowFrameKeys::nudged(rect, c.key), c.expected) << c.key;
  EXPECT_TRUE(WindowFrameKeys::isDelete(Qt::Key_Delete));
  EXPECT_TRUE(WindowFrameKeys::isDelete(Qt::Key_Backspace)) << "as on any Linux desktop";
  EXPECT_FALSE(WindowFrameKeys::isDelete(Qt::Key_Space));
}

TEST(WindowFrameKeys, SizeIsKeptOutsideFullScreenPlaceAlsoInFullScreenNothingInTheSimpleLayout) {
  using Entries = WindowFrameKeys::Entries;
  EXPECT_EQ(WindowFrameKeys::onResize({1200, 700}, false, false, true),
            (Entries{{"WindowWidth", 1200}, {"WindowHeight", 700}}));
  EXPECT_TRUE(WindowFrameKeys::onResize({1200, 700}, false, true, true).empty());
  EXPECT_TRUE(WindowFrameKeys::onResize({1200, 700}, true, false, true).empty());
  EXPECT_TRUE(WindowFrameKeys::onResize({1200, 700}, false, false, false).empty());

  EXPECT_EQ(WindowFrameKeys::onMove({-40, 25}, false, true, true),
            (Entries{{"WindowX", -40}, {"WindowY", 25}}));
  EXPECT_TRUE(WindowFrameKeys::onMove({10, 20}, true, true, true).empty());
  EXPECT_TRUE(WindowFrameKeys::onMove({10, 20}, false, false, true).empty());
  // Where the compositor places the window its reported place is no place at all (0, 0).
  EXPECT_TRUE(WindowFrameKeys::onMove({0, 0}, false, true, false).empty());
}
