#include <gtest/gtest.h>

#include <QApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include "widgets/CustomButton.h"
#include "widgets/CustomSwitch.h"
#include "widgets/FocusRing.h"

using corvane::CustomButton;
using corvane::CustomSwitch;
using corvane::FocusRing;

namespace {

// A shown, active window with a tight row (no room around its controls) inside a roomier panel.
class FocusRingTest : public ::testing::Test {
 protected:
  FocusRingTest() {
    window.resize(300, 200);
    panel = new QWidget(&window);
    panel->setGeometry(10, 10, 280, 180);
    row = new QWidget(panel);
    row->setGeometry(20, 20, 200, 24);
    first = new CustomButton(QRect(0, 0, 90, 24), row);
    second = new CustomButton(QRect(100, 0, 90, 24), row);
    second->setCornerRadius(4);
    ring = new FocusRing(panel);
    window.show();
    QApplication::setActiveWindow(&window);
    QCoreApplication::processEvents();
  }
  ~FocusRingTest() override { QApplication::setActiveWindow(nullptr); }

  static QRect inWindow(QWidget* w) {
    return QRect(w->mapTo(w->window(), QPoint(0, 0)), w->size());
  }

  QWidget window;
  QWidget* panel = nullptr;
  QWidget* row = nullptr;
  CustomButton* first = nullptr;
  CustomButton* second = nullptr;
  QPointer<FocusRing> ring;
};

TEST_F(FocusRingTest, OutlinesTheFocusedControlWhereThereIsRoomAndFollowsIt) {
  first->setFocus(Qt::TabFocusReason);
  ASSERT_EQ(ring->target(), first);
  EXPECT_TRUE(ring->isVisible());
  EXPECT_EQ(ring->parentWidget(), panel) << "the tight row would cut the outline";
  const int m = FocusRing::kGap + FocusRing::kWidth;
  EXPECT_EQ(inWindow(ring), inWindow(first).adjusted(-m, -m, m, m));
  // Drawn on the screen, above the control.
  const QImage shot = window.grab(inWindow(ring)).toImage();
  EXPECT_EQ(shot.pixelColor(shot.width() / 2, 1), FocusRing::color());

  QTest::keyClick(first, Qt::Key_Tab);
  EXPECT_EQ(ring->target(), second);
  EXPECT_EQ(inWindow(ring), inWindow(second).adjusted(-m, -m, m, m));
  row->move(30, 60);
  EXPECT_EQ(inWindow(ring), inWindow(second).adjusted(-m, -m, m, m)) << "it moves along";
  // Hidden, the control hands the focus on, and the outline goes with it.
  second->hide();
  EXPECT_EQ(ring->target(), first);
  EXPECT_EQ(inWindow(ring), inWindow(first).adjusted(-m, -m, m, m));
  first->clearFocus();
  EXPECT_EQ(ring->target(), nullptr);
  EXPECT_FALSE(ring->isVisible());
}

TEST_F(FocusRingTest, OnlyControlsInsideItsRootAreOutlined) {
  QWidget elsewhere;
  auto* outside = new QLineEdit(&elsewhere);
  (void)outside;
  panel->setFocus(Qt::OtherFocusReason);  // the root itself takes no Tab focus
  EXPECT_EQ(ring->target(), nullptr);
  EXPECT_FALSE(ring->isVisible());
  auto* field = new QLineEdit(&window);  // beside the root, not in it
  field->show();
  field->setFocus(Qt::TabFocusReason);
  EXPECT_EQ(ring->target(), nullptr);
  EXPECT_FALSE(ring->isVisible());
}

// As the desktop's toolkits do, the outline shows while the keyboard leads: the focus a press of
// the mouse gave (or that moved on after one) is not outlined until the next key.
TEST_F(FocusRingTest, ShowsOnlyWhileTheKeyboardLeads) {
  auto* list = new QLineEdit(panel);
  list->setGeometry(20, 80, 120, 24);
  list->show();
  QTest::mouseClick(list, Qt::LeftButton);
  ASSERT_EQ(QApplication::focusWidget(), list);
  EXPECT_EQ(ring->target(), list);
  EXPECT_FALSE(ring->isVisible()) << "a click gave the focus";
  // Handed on by code after the click (a control that went away, a popup that opened).
  first->setFocus(Qt::TabFocusReason);
  EXPECT_FALSE(ring->isVisible());
  QTest::keyClick(first, Qt::Key_Shift);
  EXPECT_FALSE(ring->isVisible()) << "a modifier alone does not lead";
  QTest::keyClick(first, Qt::Key_Tab);
  EXPECT_EQ(ring->target(), second);
  EXPECT_TRUE(ring->isVisible());
  QTest::mouseClick(list, Qt::LeftButton);
  EXPECT_FALSE(ring->isVisible());
  QTest::keyClick(list, Qt::Key_Right);
  EXPECT_TRUE(ring->isVisible()) << "the next key shows where the focus is";
}

// The container the outline lives in may go with the focused control: the outline stays.
TEST_F(FocusRingTest, OutlivesTheContainerItWasDrawnIn) {
  auto* box = new QWidget(panel);
  box->setGeometry(0, 100, 200, 60);
  auto* inside = new CustomButton(QRect(20, 20, 60, 20), box);
  box->show();
  inside->setFocus(Qt::TabFocusReason);
  ASSERT_EQ(ring->parentWidget(), box);
  delete box;
  ASSERT_TRUE(ring);
  EXPECT_EQ(ring->target(), nullptr);
  first->setFocus(Qt::TabFocusReason);
  EXPECT_EQ(ring->target(), first);
  EXPECT_TRUE(ring->isVisible());
}

// Both controls: out of the Tab order while they cannot be used, back after; Space and Return
// press them, the arrows are left to the window.
TEST(KeyboardControls, UnusableControlsLeaveTheTabOrderAndKeysPressTheOthers) {
  QWidget window;
  auto* button = new CustomButton(QRect(0, 0, 60, 20), &window);
  auto* toggle = new CustomSwitch(QRect(0, 30, 40, 20), &window);
  EXPECT_EQ(button->focusPolicy(), Qt::TabFocus) << "a click leaves the focus where it was";
  EXPECT_EQ(toggle->focusPolicy(), Qt::TabFocus);

  button->setAlphaValue(0);
  EXPECT_EQ(button->focusPolicy(), Qt::NoFocus);
  button->setAlphaValue(0.3);  // dimmed, still a choice
  EXPECT_EQ(button->focusPolicy(), Qt::TabFocus);
  button->setButtonEnabled(false);
  EXPECT_EQ(button->focusPolicy(), Qt::NoFocus);
  button->setButtonEnabled(true);
  EXPECT_EQ(button->focusPolicy(), Qt::TabFocus);
  button->setFocusPolicy(Qt::NoFocus);  // an owner's own choice outlives the round
  button->setAlphaValue(0);
  button->setAlphaValue(1);
  EXPECT_EQ(button->focusPolicy(), Qt::NoFocus);
  button->setFocusPolicy(Qt::TabFocus);

  QSignalSpy clicked(button, &QAbstractButton::clicked);
  QTest::keyClick(button, Qt::Key_Space);
  QTest::keyClick(button, Qt::Key_Return);
  QTest::keyClick(button, Qt::Key_Enter);
  EXPECT_EQ(clicked.size(), 3);
  QKeyEvent arrow(QEvent::KeyPress, Qt::Key_Left, Qt::NoModifier);
  QApplication::sendEvent(button, &arrow);
  EXPECT_FALSE(arrow.isAccepted()) << "the window's arrows move the rectangle being edited";
  button->setButtonEnabled(false);
  QTest::keyClick(button, Qt::Key_Return);
  EXPECT_EQ(clicked.size(), 3);

  QSignalSpy flipped(toggle, &CustomSwitch::actionTriggered);
  QTest::keyClick(toggle, Qt::Key_Space);
  EXPECT_TRUE(toggle->on());
  QTest::keyClick(toggle, Qt::Key_Return);
  EXPECT_FALSE(toggle->on());
  EXPECT_EQ(flipped.size(), 2);
  toggle->setAlphaValue(0.3);
  EXPECT_EQ(toggle->focusPolicy(), Qt::NoFocus);
  QTest::keyClick(toggle, Qt::Key_Space);
  EXPECT_FALSE(toggle->on());
  toggle->setAlphaValue(1.0);
  EXPECT_EQ(toggle->focusPolicy(), Qt::TabFocus);
}

}  // namespace
