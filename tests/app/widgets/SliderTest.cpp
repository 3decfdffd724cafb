#include <gtest/gtest.h>

#include <QTest>
#include <cmath>
#include <limits>
#include <vector>

#include "WidgetTestSupport.h"
#include "widgets/CustomBalanceSlider.h"
#include "widgets/CustomSlider.h"
#include "widgets/CustomView.h"
#include "widgets/NamedColors.h"
#include "widgets/SliderGeometry.h"
#include "widgets/ThumbView.h"

using corvane::CustomBalanceSlider;
using corvane::CustomSlider;
using corvane::CustomSliderType;
using corvane::NamedColors;
using corvane::SliderGeometry;

namespace {

TEST(SliderGeometryBar, ThicknessIsKeptWithinTwoToFiveAndCentredInTheBand) {
  struct Case {
    double lineHeight, kept, top;
  };
  const Case cases[] = {{8, 5, 10}, {5, 5, 10}, {3, 3, 11}, {1, 2, 11.5}, {NAN, 2, 11.5}};
  for (const auto& c : cases) {
    const auto bar = SliderGeometry::bar(c.lineHeight, QRectF(4, 10, 100, 5), 108, 50, 0, 100);
    EXPECT_DOUBLE_EQ(bar.lineHeight, c.kept) << c.lineHeight;
    EXPECT_DOUBLE_EQ(bar.track.y(), c.top) << c.lineHeight;
    EXPECT_DOUBLE_EQ(bar.track.height(), c.kept);
  }
}

TEST(SliderGeometryBar, FillFollowsTheValueOverTheControlLessEight) {
  struct Case {
    double value, minimum, maximum, controlWidth, fill;
  };
  const Case cases[] = {
      {0, 0, 100, 108, 0},     {50, 0, 100, 108, 50}, {100, 0, 100, 108, 100},
      {-5, -10, 10, 28, 5},    {5, 5, 5, 108, 0},  // empty range: no division by zero
      {7, 0, 10, 4, 0},                            // narrower than the inset
      {150, 0, 100, 108, 100},                     // a value beyond the range stays inside
  };
  for (const auto& c : cases) {
    const auto bar =
        SliderGeometry::bar(3, QRectF(0, 0, 100, 5), c.controlWidth, c.value, c.minimum, c.maximum);
    EXPECT_DOUBLE_EQ(bar.fill.width(), c.fill)
        << c.value << " in " << c.minimum << ".." << c.maximum;
  }
}

TEST(SliderGeometryBalance, TrackAndTicks) {
  const QRectF track = SliderGeometry::track(110, 20, QSizeF(10, 10), 2);
  EXPECT_EQ(track, QRectF(5, 9, 100, 2));
  EXPECT_EQ(SliderGeometry::tickCentres(4, track), (std::vector<double>{5, 30, 55, 80, 105}));
  EXPECT_TRUE(SliderGeometry::tickCentres(0, track).empty());
  EXPECT_TRUE(SliderGeometry::tickCentres(-3, track).empty());
  EXPECT_EQ(SliderGeometry::track(0, 0, QSizeF(10, 10), 2).width(), 0) << "zero-wide slider";
}

TEST(SliderGeometryBalance, ThumbCentreStaysOnTheTrack) {
  EXPECT_DOUBLE_EQ(SliderGeometry::clampThumbCentre(-40, 10, 100), 5);
  EXPECT_DOUBLE_EQ(SliderGeometry::clampThumbCentre(60, 10, 100), 60);
  EXPECT_DOUBLE_EQ(SliderGeometry::clampThumbCentre(400, 10, 100), 105);
  EXPECT_DOUBLE_EQ(SliderGeometry::clampThumbCentre(30, 10, 0), 5);
  EXPECT_DOUBLE_EQ(SliderGeometry::clampThumbCentre(NAN, 10, 100), 5);
}

TEST(SliderGeometryBalance, FillRunsFromTheLeftOrFromTheMiddle) {
  const QRectF track(5, 9, 100, 2);
  EXPECT_EQ(SliderGeometry::fill(CustomSliderType::Normal, 30, track, 10, 1), QRectF(5, 9, 30, 2));
  // Middle at 55: left of it the fill runs from the thumb to the middle, right of it the
  // other way.
  EXPECT_EQ(SliderGeometry::fill(CustomSliderType::Balance, 30, track, 10, 1),
            QRectF(29, 9, 25, 2));
  EXPECT_EQ(SliderGeometry::fill(CustomSliderType::Balance, 55, track, 10, 1), QRectF(54, 9, 0, 2));
  EXPECT_EQ(SliderGeometry::fill(CustomSliderType::Balance, 80, track, 10, 1),
            QRectF(55, 9, 25, 2));
}

TEST(SliderGeometryBalance, PositionStaysWithinZeroAndOne) {
  EXPECT_FLOAT_EQ(SliderGeometry::position(0, 100), 0);
  EXPECT_FLOAT_EQ(SliderGeometry::position(25, 100), 0.25f);
  EXPECT_FLOAT_EQ(SliderGeometry::position(100, 100), 1);
  EXPECT_FLOAT_EQ(SliderGeometry::position(-2, 100), 0) << "thumb wider than it is tall";
  EXPECT_FLOAT_EQ(SliderGeometry::position(104, 100), 1);
  EXPECT_FLOAT_EQ(SliderGeometry::position(3, 0), 0) << "no track, no division by zero";
}

TEST(CustomSlider, DrawingStoresTheKeptLineHeight) {
  CustomSlider slider;
  slider.resize(120, 20);
  slider.setRange(0, 100);
  slider.setValue(40);
  slider.lineHeight = 8;
  slider.grab();
  EXPECT_DOUBLE_EQ(slider.lineHeight, 5);
  slider.lineHeight = 1;
  widgettest::grabTo(&slider, "custom_slider");
  slider.grab();
  EXPECT_DOUBLE_EQ(slider.lineHeight, 2);
  slider.setRange(3, 3);
  slider.grab();  // an empty range draws an empty fill
}

class BalanceSliderTest : public ::testing::Test {
 protected:
  BalanceSliderTest() : slider(QRect(0, 0, 110, 20)) {
    slider.sliderHandler = [this](float p) { moves.push_back(p); };
    slider.sliderCompletedHandler = [this](float p) { ends.push_back(p); };
    slider.show();
  }
  // Press on the thumb, then move through xs, then release at the last one.
  void dragThumbThrough(const std::vector<int>& xs) {
    const QPoint start = slider.thumbView()->geometry().center();
    QTest::mousePress(&slider, Qt::LeftButton, {}, start);
    widgettest::move(&slider, QPointF(start), Qt::LeftButton);
    for (int x : xs) widgettest::move(&slider, QPointF(x, 10), Qt::LeftButton);
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(xs.back(), 10));
  }
  CustomBalanceSlider slider;
  std::vector<float> moves, ends;
};

TEST_F(BalanceSliderTest, MadeWithTrackFillAndThumbAtTheLeft) {
  EXPECT_EQ(slider.backgroundView()->geometry(), QRect(5, 9, 100, 2));
  EXPECT_EQ(slider.thumbView()->geometry(), QRect(0, 5, 10, 10));
  EXPECT_EQ(slider.tintView()->width(), 0);
  EXPECT_TRUE(slider.itemViewArray().empty());
  EXPECT_EQ(slider.thumbView()->layerBackgroundColor(),
            NamedColors::color(QStringLiteral("veryLightPinkColor")));
}

TEST_F(BalanceSliderTest, TickMarksSpanTheTrack) {
  slider.itemCount = 4;
  slider.layoutItems();
  ASSERT_EQ(slider.itemViewArray().size(), 5u);
  EXPECT_EQ(slider.itemViewArray().front()->geometry().center().x(), 5);
  EXPECT_EQ(slider.itemViewArray().back()->geometry().x(), 105) << "centred on the right end";
  slider.layoutItems();
  EXPECT_EQ(slider.itemViewArray().size(), 5u) << "laying out again replaces the marks";
  widgettest::grabTo(&slider, "balance_ticks");
  slider.itemCount = 0;
  slider.layoutItems();
  EXPECT_TRUE(slider.itemViewArray().empty());
}

TEST_F(BalanceSliderTest, ABalanceSliderHasAMiddleMarkAndFillsTowardsTheThumb) {
  slider.type = CustomSliderType::Balance;
  slider.itemCount = 4;
  slider.layoutItems();
  EXPECT_TRUE(slider.itemViewArray().empty());
  ASSERT_NE(slider.centerView(), nullptr);
  slider.updateThumb(55);

  dragThumbThrough({40, 30});
  EXPECT_EQ(slider.tintFrame(), QRectF(29, 9, 25, 2));
  widgettest::grabTo(&slider, "balance_left");
  dragThumbThrough({70, 80});
  EXPECT_EQ(slider.tintFrame(), QRectF(55, 9, 25, 2));
  widgettest::grabTo(&slider, "balance_right");
}

TEST_F(BalanceSliderTest, ADragHighlightsTheThumbAndReportsPositions) {
  const QPoint start = slider.thumbView()->geometry().center();
  QTest::mousePress(&slider, Qt::LeftButton, {}, start);
  widgettest::move(&slider, QPointF(start), Qt::LeftButton);
  widgettest::move(&slider, QPointF(30, 10), Qt::LeftButton);
  EXPECT_EQ(slider.thumbView()->layerBackgroundColor(),
            NamedColors::color(QStringLiteral("lightPinkColor")));
  widgettest::move(&slider, QPointF(55, 10), Qt::LeftButton);
  QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(55, 10));
  EXPECT_EQ(moves, (std::vector<float>{0.25f, 0.5f}));
  EXPECT_EQ(ends, (std::vector<float>{0.5f}));
  EXPECT_EQ(slider.thumbView()->layerBackgroundColor(), slider.backgroundColor);
}

TEST_F(BalanceSliderTest, DraggingBeyondTheEndsStopsTheThumb) {
  dragThumbThrough({-50});
  EXPECT_EQ(slider.thumbView()->x(), 0);
  dragThumbThrough({500});
  EXPECT_EQ(slider.thumbView()->x(), 100);
  EXPECT_EQ(moves, (std::vector<float>{0, 1}));
  EXPECT_EQ(ends, (std::vector<float>{0, 1}));
}

TEST_F(BalanceSliderTest, ADisabledSliderIgnoresDrags) {
  slider.setEnabled(false);
  dragThumbThrough({60, 80});
  EXPECT_EQ(slider.thumbView()->x(), 0);
  EXPECT_TRUE(moves.empty());
  EXPECT_TRUE(ends.empty());
}

TEST_F(BalanceSliderTest, DisablingMidDragCancelsIt) {
  const QPoint start = slider.thumbView()->geometry().center();
  QTest::mousePress(&slider, Qt::LeftButton, {}, start);
  widgettest::move(&slider, QPointF(start), Qt::LeftButton);
  widgettest::move(&slider, QPointF(30, 10), Qt::LeftButton);
  slider.setEnabled(false);
  EXPECT_EQ(ends, (std::vector<float>{0.25f}));
  EXPECT_EQ(slider.thumbView()->layerBackgroundColor(), slider.backgroundColor);
}

TEST_F(BalanceSliderTest, APressOffTheThumbDoesNothing) {
  QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(80, 10));
  widgettest::move(&slider, QPointF(81, 10), Qt::LeftButton);
  widgettest::move(&slider, QPointF(90, 10), Qt::LeftButton);
  QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(90, 10));
  EXPECT_TRUE(moves.empty());
  EXPECT_TRUE(ends.empty());
}

TEST(BalanceSliderSizes, AZeroWideSliderReportsZero) {
  CustomBalanceSlider slider;
  std::vector<float> moves;
  slider.sliderHandler = [&](float p) { moves.push_back(p); };
  slider.show();
  slider.updateThumb(50);
  QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(0, 0));
  EXPECT_TRUE(std::isfinite(slider.thumbCentre()));
}

TEST(BalanceSliderSizes, ResizingKeepsTheThumbOnTheTrack) {
  CustomBalanceSlider slider(QRect(0, 0, 110, 20));
  slider.updateThumb(105);
  slider.resize(60, 30);
  slider.show();
  EXPECT_EQ(slider.backgroundView()->geometry(), QRect(5, 14, 50, 2));
  EXPECT_DOUBLE_EQ(slider.thumbCentre(), 55);
  EXPECT_EQ(slider.thumbView()->geometry(), QRect(50, 10, 10, 10));
}

}  // namespace

namespace {

TEST(CustomSliderPainting, FillsUpToTheValueInTheTintColour) {
  CustomSlider slider;
  slider.resize(108, 20);
  slider.setRange(0, 100);
  slider.setValue(50);
  slider.lineColor = Qt::green;
  slider.tintColor = Qt::red;
  const QImage shot = slider.grab().toImage();
  // Find the bar's row: the first row with the tint colour near the left end.
  int row = -1;
  for (int y = 0; y < shot.height() && row < 0; ++y)
    if (shot.pixelColor(10, y) == QColor(Qt::red)) row = y;
  ASSERT_GE(row, 0);
  EXPECT_EQ(shot.pixelColor(shot.width() - 10, row), QColor(Qt::green));
}

}  // namespace
