#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <vector>

#include "WidgetTestSupport.h"
#include "widgets/CustomButton.h"
#include "widgets/CustomButtonDelegate.h"
#include "widgets/NamedColors.h"

using corvane::CustomButton;
using corvane::NamedColors;

namespace {

struct RecordingDelegate : corvane::CustomButtonDelegate {
  std::vector<std::string> calls;
  void customButtonDidHover(CustomButton*) override { calls.push_back("hover"); }
  void customButtonDidEndHover(CustomButton*) override { calls.push_back("end"); }
};

QPixmap filled(QColor c) {
  QPixmap p(8, 8);
  p.fill(c);
  return p;
}

class CustomButtonTest : public ::testing::Test {
 protected:
  CustomButtonTest() : button(QRect(0, 0, 80, 30), &host) {
    host.resize(200, 100);
    button.delegate = &delegate;
    button.setTitle(QStringLiteral("Grid"));
    button.setHoverColor(QColor(10, 20, 30));
  }
  QWidget host;
  CustomButton button;
  RecordingDelegate delegate;
};

TEST(CustomButtonSetup, StartsWithTheNormalLook) {
  CustomButton b(QRect(0, 0, 50, 20));
  EXPECT_TRUE(b.buttonEnabled());
  EXPECT_FALSE(b.isSelected);
  EXPECT_EQ(b.layerBorderColor(), NamedColors::lightGray());
  EXPECT_EQ(b.titleColor(), NamedColors::gray());
  EXPECT_EQ(b.activeBorderColor(), QColor(Qt::white));
  EXPECT_TRUE(NamedColors::isClear(b.layerBackgroundColor()));
  EXPECT_EQ(b.alphaValue(), 1.0);
  EXPECT_EQ(b.hoverArea(), QRectF(0, 0, 50, 20));
}

TEST_F(CustomButtonTest, StateOnShowsTheActiveLookWhenAPropertyChanges) {
  button.setSelectedImage(filled(Qt::red));
  button.setUnselectedImage(filled(Qt::blue));
  button.setActiveTextColor(Qt::yellow);
  button.setState(true);
  EXPECT_EQ(button.titleColor(), NamedColors::gray()) << "state alone changes nothing";
  button.setTitle(QStringLiteral("Focus"));
  EXPECT_EQ(button.titleColor(), QColor(Qt::yellow));
  EXPECT_EQ(button.layerBorderColor(), QColor(Qt::white));
  EXPECT_EQ(button.image().toImage().pixelColor(0, 0), QColor(Qt::red));
  button.setState(false);
  button.setTextColor(Qt::green);
  EXPECT_EQ(button.titleColor(), QColor(Qt::green));
  EXPECT_EQ(button.image().toImage().pixelColor(0, 0), QColor(Qt::blue));
}

TEST_F(CustomButtonTest, HoverShowsTheHoverLookAndEndsOnLeave) {
  button.setHoverImage(filled(Qt::magenta));
  button.setHoverTextColor(Qt::cyan);
  widgettest::enter(&button, QPointF(10, 10));
  EXPECT_TRUE(button.isHovered());
  EXPECT_EQ(delegate.calls, std::vector<std::string>{"hover"});
  EXPECT_EQ(button.layerBackgroundColor(), QColor(10, 20, 30));
  EXPECT_EQ(button.layerBorderColor(), QColor(10, 20, 30));
  EXPECT_EQ(button.titleColor(), QColor(Qt::cyan));
  EXPECT_EQ(button.image().toImage().pixelColor(0, 0), QColor(Qt::magenta));
  widgettest::grabTo(&button, "button_hover");

  widgettest::leave(&button);
  EXPECT_FALSE(button.isHovered());
  EXPECT_EQ(delegate.calls, (std::vector<std::string>{"hover", "end"}));
  EXPECT_TRUE(NamedColors::isClear(button.layerBackgroundColor()));
  EXPECT_EQ(button.layerBorderColor(), NamedColors::lightGray());
  EXPECT_EQ(button.titleColor(), NamedColors::gray());
}

TEST_F(CustomButtonTest, ClearHoverTextColorKeepsTheTitleColour) {
  button.setTextColor(Qt::darkGreen);
  widgettest::enter(&button, QPointF(5, 5));
  ASSERT_TRUE(button.isHovered());
  EXPECT_EQ(button.titleColor(), QColor(Qt::darkGreen));
}

TEST_F(CustomButtonTest, PressSendsTheActionAndEndsTheHover) {
  host.show();
  QSignalSpy clicked(&button, &QAbstractButton::clicked);
  widgettest::enter(&button, QPointF(5, 5));
  QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_FALSE(button.isHovered());
  EXPECT_EQ(delegate.calls, (std::vector<std::string>{"hover", "end"}));
  QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(clicked.count(), 1);
}

TEST_F(CustomButtonTest, DisablingAHoveredButtonEndsTheHoverFirstAndOnlyOnce) {
  widgettest::enter(&button, QPointF(5, 5));
  button.setButtonEnabled(false);
  EXPECT_EQ(delegate.calls, (std::vector<std::string>{"hover", "end"}));
  EXPECT_TRUE(NamedColors::isClear(button.layerBackgroundColor()));
  EXPECT_DOUBLE_EQ(button.alphaValue(), 0.3);
  const QColor dim = NamedColors::color(QStringLiteral("veryLightPinkColor"));
  EXPECT_EQ(button.layerBorderColor(), dim);
  EXPECT_EQ(button.titleColor(), dim);
  widgettest::grabTo(&button, "button_disabled");

  button.setButtonEnabled(false);
  EXPECT_EQ(delegate.calls.size(), 2u) << "an already disabled button tells nobody";
}

TEST_F(CustomButtonTest, ADisabledButtonIgnoresClicksAndHovering) {
  host.show();
  button.setButtonEnabled(false);
  delegate.calls.clear();
  QSignalSpy clicked(&button, &QAbstractButton::clicked);
  widgettest::enter(&button, QPointF(5, 5));
  QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(clicked.count(), 0);
  EXPECT_TRUE(delegate.calls.empty());
  EXPECT_FALSE(button.isHovered());
}

TEST_F(CustomButtonTest, EnablingAgainFollowsIsSelected) {
  button.setActiveTextColor(Qt::yellow);
  button.setButtonEnabled(false);
  button.isSelected = true;
  button.setButtonEnabled(true);
  EXPECT_DOUBLE_EQ(button.alphaValue(), 1.0);
  EXPECT_EQ(button.layerBorderColor(), QColor(Qt::white));
  EXPECT_EQ(button.titleColor(), QColor(Qt::yellow));
  button.isSelected = false;
  button.setButtonEnabled(true);
  EXPECT_EQ(button.layerBorderColor(), NamedColors::lightGray());
  EXPECT_EQ(button.titleColor(), NamedColors::gray());
}

TEST_F(CustomButtonTest, TheBorderAnimatesOnlyToANewColour) {
  QPropertyAnimation* first = button.borderAnimation();
  ASSERT_NE(first, nullptr);
  first->setCurrentTime(first->duration());
  first->stop();
  button.setBorderColor(NamedColors::lightGray());
  EXPECT_EQ(button.borderAnimation(), first) << "the same colour starts no animation";
  EXPECT_EQ(first->state(), QAbstractAnimation::Stopped);

  button.setBorderColor(Qt::red);
  QPropertyAnimation* second = button.borderAnimation();
  ASSERT_NE(second, first);
  EXPECT_EQ(second->state(), QAbstractAnimation::Running);
  EXPECT_EQ(second->duration(), 100);
  EXPECT_EQ(button.layerBorderColor(), QColor(Qt::red)) << "the model value is set at once";
  second->setCurrentTime(100);
  EXPECT_EQ(button.presentedBorderColor(), QColor(Qt::red));
}

TEST(CustomButtonHoverArea, AButtonMadeWithAnEmptyFrameNeverHovers) {
  RecordingDelegate delegate;
  CustomButton b;
  b.delegate = &delegate;
  b.setHoverColor(Qt::red);
  b.resize(60, 30);
  widgettest::enter(&b, QPointF(10, 10));
  widgettest::move(&b, QPointF(20, 15));
  EXPECT_FALSE(b.isHovered());
  EXPECT_TRUE(delegate.calls.empty());
}

TEST(CustomButtonHoverArea, TheAreaKeepsTheSetUpSize) {
  CustomButton b(QRect(0, 0, 40, 20));
  b.setHoverColor(Qt::red);
  b.resize(100, 20);
  widgettest::enter(&b, QPointF(70, 10));
  EXPECT_FALSE(b.isHovered());
  widgettest::move(&b, QPointF(30, 10));
  EXPECT_TRUE(b.isHovered());
  widgettest::move(&b, QPointF(50, 10));
  EXPECT_FALSE(b.isHovered());
}

}  // namespace

namespace {

TEST(CustomButtonPainting, ShowsTheBorderAndTheHoverFill) {
  CustomButton b(QRect(0, 0, 60, 24));
  b.setBorderWidth(2);
  b.setCornerRadius(4);
  b.setBorderColor(Qt::red);
  b.borderAnimation()->setCurrentTime(b.borderAnimation()->duration());
  b.setHoverColor(QColor(0, 0, 200));
  QImage shot = b.grab().toImage();
  EXPECT_EQ(shot.pixelColor(30, 0), QColor(Qt::red));
  EXPECT_NE(shot.pixelColor(30, 12), QColor(0, 0, 200));

  widgettest::enter(&b, QPointF(30, 12));
  b.borderAnimation()->setCurrentTime(b.borderAnimation()->duration());
  shot = b.grab().toImage();
  EXPECT_EQ(shot.pixelColor(30, 12), QColor(0, 0, 200));
  EXPECT_EQ(shot.pixelColor(30, 0), QColor(0, 0, 200)) << "the border takes the hover colour";
}

}  // namespace
