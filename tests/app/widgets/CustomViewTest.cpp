#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QTest>

#include "WidgetTestSupport.h"
#include "widgets/CustomView.h"
#include "widgets/NamedColors.h"

using corvane::CustomView;
using corvane::NamedColors;

namespace {

// Counts the clicks that reach it from the views above.
class Host : public QWidget {
 public:
  int presses = 0;

 protected:
  void mousePressEvent(QMouseEvent*) override { ++presses; }
};

TEST(CustomView, ColoursReachTheDrawingOnlyThroughTheirSetters) {
  CustomView v(QRect(0, 0, 40, 40));
  EXPECT_EQ(v.color(), QColor(Qt::black));
  EXPECT_TRUE(NamedColors::isClear(v.layerBackgroundColor()));
  v.setColor(Qt::darkBlue);
  v.setBorderColor(Qt::white);
  v.setBorderWidth(2);
  v.setCornerRadius(8);
  EXPECT_EQ(v.layerBackgroundColor(), QColor(Qt::darkBlue));
  EXPECT_EQ(v.layerBorderColor(), QColor(Qt::white));
  const QImage shot = v.grab().toImage();
  EXPECT_EQ(shot.pixelColor(20, 20), QColor(Qt::darkBlue));
  EXPECT_NE(shot.pixelColor(0, 0), QColor(Qt::darkBlue)) << "the rounded corner stays unfilled";
  widgettest::grabTo(&v, "custom_view");
}

TEST(CustomView, HoverColourShowsWhileThePointerIsIn) {
  CustomView v(QRect(0, 0, 40, 40));
  v.setColor(Qt::black);
  v.setHoverColor(Qt::gray);
  widgettest::enter(&v, QPointF(10, 10));
  EXPECT_EQ(v.layerBackgroundColor(), QColor(Qt::gray));
  widgettest::leave(&v);
  EXPECT_EQ(v.layerBackgroundColor(), QColor(Qt::black));
}

TEST(CustomView, ClearHoverColourChangesNothing) {
  CustomView v(QRect(0, 0, 40, 40));
  v.setColor(Qt::darkRed);
  widgettest::enter(&v, QPointF(10, 10));
  EXPECT_EQ(v.layerBackgroundColor(), QColor(Qt::darkRed));
  widgettest::leave(&v);
  EXPECT_EQ(v.layerBackgroundColor(), QColor(Qt::darkRed));
}

TEST(CustomView, DisabledMouseEventsShowNoHoverAndSwallowClicks) {
  Host host;
  host.resize(100, 100);
  auto* v = new CustomView(QRect(0, 0, 40, 40), &host);
  v->setColor(Qt::black);
  v->setHoverColor(Qt::gray);
  host.show();

  QTest::mousePress(v, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(host.presses, 1) << "a live view passes the click on";

  v->disableMouseEvent = true;
  QTest::mousePress(v, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(host.presses, 1);
  widgettest::enter(v, QPointF(5, 5));
  EXPECT_EQ(v->layerBackgroundColor(), QColor(Qt::black));
}

TEST(CustomView, DisabledClickIgnoresPressesButKeepsTheHover) {
  Host host;
  host.resize(100, 100);
  auto* v = new CustomView(QRect(0, 0, 40, 40), &host);
  v->setColor(Qt::black);
  v->setHoverColor(Qt::gray);
  std::vector<bool> pointer;
  v->mouseCallback = [&pointer](bool entered) { pointer.push_back(entered); };
  host.show();

  v->disableClick = true;
  QTest::mousePress(v, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(host.presses, 0);
  widgettest::enter(v, QPointF(5, 5));
  EXPECT_EQ(v->layerBackgroundColor(), QColor(Qt::gray));
  widgettest::leave(v);
  v->disableClick = false;
  QTest::mousePress(v, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(host.presses, 1);
  EXPECT_EQ(pointer, (std::vector<bool>{true, false}));
}

TEST(CustomView, MouseCallbackHearsEnterAndLeaveOnceEach) {
  CustomView v(QRect(0, 0, 40, 40));  // clear hover colour: no look change, still told
  std::vector<bool> pointer;
  v.mouseCallback = [&pointer](bool entered) { pointer.push_back(entered); };
  widgettest::enter(&v, QPointF(10, 10));
  widgettest::enter(&v, QPointF(12, 12));
  widgettest::leave(&v);
  widgettest::leave(&v);
  EXPECT_EQ(pointer, (std::vector<bool>{true, false}));
  v.disableMouseEvent = true;
  widgettest::enter(&v, QPointF(10, 10));
  EXPECT_EQ(pointer.size(), 2u);
}

}  // namespace
