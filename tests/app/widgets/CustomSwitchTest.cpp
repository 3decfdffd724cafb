#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "WidgetTestSupport.h"
#include "widgets/CustomSwitch.h"
#include "widgets/CustomSwitchDelegate.h"
#include "widgets/CustomView.h"
#include "widgets/NSSwitchThumbView.h"
#include "widgets/SwitchGeometry.h"

using corvane::CustomSwitch;
using corvane::SwitchGeometry;

namespace {

struct DragCase {
  double t, x, expected;
};

// Track 40 wide, thumb 20 wide, gain 0.3.
TEST(SwitchGeometry, DragMovesAFractionOfTheTranslationAndStopsAtTheEnds) {
  const DragCase cases[] = {
      {10, 0, 3},       // right: 0.3 of the translation
      {100, 0, 6},      // right, limited by the room left (20)
      {100, 18, 18.6},  // close to the end: 0.3 of the 2 left
      {100, 20, 20},    // at the end it stays
      {-5, 10, 8.5},    // left: 0.3 of the translation
      {-15, 10, 7},     // left past the start: 0.3 of x
      {-50, 0, 0},      // at the start it stays
  };
  for (const auto& c : cases)
    EXPECT_NEAR(SwitchGeometry::dragX(c.t, c.x, 20, 40, 0.3), c.expected, 1e-9)
        << "t " << c.t << " x " << c.x;
}

TEST(SwitchGeometry, NoGainOrSizePushesTheThumbOutOfTheTrack) {
  EXPECT_DOUBLE_EQ(SwitchGeometry::dragX(100, 0, 20, 40, 3.0), 20);
  EXPECT_DOUBLE_EQ(SwitchGeometry::dragX(-100, 10, 20, 40, 3.0), 0);
  EXPECT_DOUBLE_EQ(SwitchGeometry::dragX(10, 0, 30, 20, 0.3), 0) << "thumb wider than track";
  EXPECT_DOUBLE_EQ(SwitchGeometry::restX(true, 20, 30), 0);
}

TEST(SwitchGeometry, RestAndStateFollowTheThumbCentre) {
  EXPECT_DOUBLE_EQ(SwitchGeometry::restX(true, 40, 20), 20);
  EXPECT_DOUBLE_EQ(SwitchGeometry::restX(false, 40, 20), 0);
  EXPECT_FALSE(SwitchGeometry::isOnAt(9.9, 20, 40));
  EXPECT_TRUE(SwitchGeometry::isOnAt(10, 20, 40));
}

TEST(SwitchGeometry, TimingFunctionsByName) {
  const QEasingCurve easeIn = SwitchGeometry::easing(QStringLiteral("easeIn"));
  EXPECT_LT(easeIn.valueForProgress(0.5), 0.5) << "ease-in starts slowly";
  EXPECT_DOUBLE_EQ(SwitchGeometry::easing(QStringLiteral("linear")).valueForProgress(0.5), 0.5);
  EXPECT_GT(SwitchGeometry::easing(QStringLiteral("easeOut")).valueForProgress(0.5), 0.5);
  EXPECT_EQ(SwitchGeometry::easing(QStringLiteral("bogus")).valueForProgress(0.3),
            easeIn.valueForProgress(0.3));
}

struct CountingDelegate : corvane::CustomSwitchDelegate {
  int calls = 0;
  void customSwitchDidChange(CustomSwitch*) override { ++calls; }
};

class CustomSwitchTest : public ::testing::Test {
 protected:
  CustomSwitchTest() : sw(QRect(0, 0, 40, 20)), actions(&sw, &CustomSwitch::actionTriggered) {
    sw.delegate = &delegate;
    sw.show();
  }
  void finishSlide() {
    if (auto* a = sw.thumbAnimation()) a->setCurrentTime(a->duration());
  }
  QColor trackColor() const { return sw.backgroundView()->layerBackgroundColor(); }
  int thumbX() const { return sw.thumbView()->x(); }
  void drag(const std::vector<int>& xs) {
    QTest::mousePress(&sw, Qt::LeftButton, {}, QPoint(xs.front(), 10));
    for (size_t i = 1; i < xs.size(); ++i)
      widgettest::move(&sw, QPointF(xs[i], 10), Qt::LeftButton);
    QTest::mouseRelease(&sw, Qt::LeftButton, {}, QPoint(xs.back(), 10));
  }

  CustomSwitch sw;
  CountingDelegate delegate;
  QSignalSpy actions;
};

TEST_F(CustomSwitchTest, StartsOffWithTheThumbAtTheLeft) {
  EXPECT_FALSE(sw.on());
  EXPECT_EQ(trackColor(), QColor(114, 114, 114));
  EXPECT_EQ(sw.thumbView()->geometry(), QRect(0, 0, 20, 20));
  EXPECT_EQ(sw.backgroundView()->layerBorderColor(), QColor(117, 117, 117));
  widgettest::grabTo(&sw, "switch_off");
}

TEST_F(CustomSwitchTest, AClickFlipsTheStateSlidesAndSendsTheAction) {
  QTest::mouseClick(&sw, Qt::LeftButton, {}, QPoint(30, 10));
  EXPECT_TRUE(sw.on());
  EXPECT_EQ(trackColor(), QColor(40, 150, 245));
  EXPECT_EQ(actions.count(), 1);
  EXPECT_EQ(delegate.calls, 1);
  ASSERT_NE(sw.thumbAnimation(), nullptr);
  EXPECT_EQ(sw.thumbAnimation()->duration(), 200);
  finishSlide();
  EXPECT_EQ(thumbX(), 20);
  widgettest::grabTo(&sw, "switch_on");

  QTest::mouseClick(&sw, Qt::LeftButton, {}, QPoint(10, 10));
  finishSlide();
  EXPECT_FALSE(sw.on());
  EXPECT_EQ(thumbX(), 0);
  EXPECT_EQ(actions.count(), 2);
}

TEST_F(CustomSwitchTest, ADimmedSwitchIgnoresClicks) {
  sw.setAlphaValue(0.3);
  QTest::mouseClick(&sw, Qt::LeftButton, {}, QPoint(30, 10));
  EXPECT_FALSE(sw.on());
  EXPECT_EQ(actions.count(), 0);
  EXPECT_EQ(delegate.calls, 0);
}

TEST_F(CustomSwitchTest, TheDelegateHearsAlsoAnUnchangedState) {
  sw.setOn(false, true);
  EXPECT_EQ(delegate.calls, 1);
  EXPECT_EQ(actions.count(), 0) << "only the user's changes send the action";
}

TEST_F(CustomSwitchTest, OffColourShowsAtOnceAndTheNextChangeSetsTheRightColour) {
  sw.setOn(true, true);
  sw.setOffColor(Qt::darkGray);
  EXPECT_EQ(trackColor(), QColor(Qt::darkGray));
  sw.setOn(true, true);
  EXPECT_EQ(trackColor(), QColor(40, 150, 245));
  sw.setThumbColor(Qt::yellow);
  EXPECT_EQ(sw.thumbView()->layerBackgroundColor(), QColor(Qt::yellow));
}

TEST_F(CustomSwitchTest, DraggingPastTheRightEndStopsTheThumbAtTheEnd) {
  std::vector<int> xs{5};
  for (int x = 10; x <= 200; x += 10) xs.push_back(x);
  QTest::mousePress(&sw, Qt::LeftButton, {}, QPoint(5, 10));
  int last = 0;
  for (size_t i = 1; i < xs.size(); ++i) {
    widgettest::move(&sw, QPointF(xs[i], 10), Qt::LeftButton);
    EXPECT_LE(thumbX(), 20);
    EXPECT_GE(thumbX(), last) << "moving right never goes back";
    last = thumbX();
  }
  EXPECT_EQ(thumbX(), 20);
  EXPECT_TRUE(sw.on()) << "the state follows the thumb during the drag";
  QTest::mouseRelease(&sw, Qt::LeftButton, {}, QPoint(200, 10));
  EXPECT_EQ(actions.count(), 1);
  EXPECT_TRUE(sw.on());
}

TEST_F(CustomSwitchTest, ADragThatStaysLeftOfTheMiddleKeepsTheStateAndStillActs) {
  drag({5, 7, 9, 11});
  EXPECT_FALSE(sw.on());
  EXPECT_EQ(actions.count(), 1);
  finishSlide();
  EXPECT_EQ(thumbX(), 0) << "the end of the drag snaps the thumb back";
}

TEST_F(CustomSwitchTest, ADragWorksOnADimmedSwitch) {
  sw.setAlphaValue(0.3);
  std::vector<int> xs{5};
  for (int x = 20; x <= 300; x += 20) xs.push_back(x);
  drag(xs);
  EXPECT_TRUE(sw.on());
  finishSlide();
  EXPECT_EQ(thumbX(), 20);
}

}  // namespace
