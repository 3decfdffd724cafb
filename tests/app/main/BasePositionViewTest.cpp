#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QTest>

#include "ManualClock.h"
#include "dispatch/MainQueue.h"
#include "main/BasePositionView.h"

using corvane::BasePositionView;
using namespace std::chrono_literals;

namespace {

class BasePositionViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::MainQueue::shared().drain();
    view = std::make_unique<BasePositionView>(QRect(0, 0, 145, 30), nullptr, clock);
    view->setupView();
    view->show();
  }
  void TearDown() override {
    view.reset();
    platform::MainQueue::shared().drain();
  }

  void enter() {
    QEnterEvent e(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(view.get(), &e);
  }
  void leave() {
    QEvent e(QEvent::Leave);
    QApplication::sendEvent(view.get(), &e);
  }
  // Runs what the main queue holds, then ends the animations it started.
  void settle() {
    platform::MainQueue::shared().drain();
    view->finishAnimations();
  }
  bool collapsed() const {
    return view->backgroundView->width() == BasePositionView::kCollapsedWidth &&
           view->captionOpacity() == 0.0;
  }

  testsupport::ManualClock clock;
  std::unique_ptr<BasePositionView> view;
};

}  // namespace

TEST_F(BasePositionViewTest, PointerOutCollapsesAndBackInExpands) {
  EXPECT_EQ(view->backgroundView->geometry(), view->rect());
  EXPECT_EQ(view->captionOpacity(), 1.0);
  leave();
  EXPECT_TRUE(view->close);
  settle();
  EXPECT_TRUE(collapsed());
  EXPECT_EQ(view->backgroundView->height(), 30);
  enter();
  EXPECT_FALSE(view->close);
  settle();
  EXPECT_EQ(view->backgroundView->geometry(), view->rect());
  EXPECT_EQ(view->captionOpacity(), 1.0);
}

TEST_F(BasePositionViewTest, ReentryBeforeTheDelayedStepCancelsTheCollapse) {
  // Pointer out and back in before the main queue runs the step.
  leave();
  enter();
  settle();
  EXPECT_FALSE(collapsed());
  // The owner's two-second collapse, with a pointer entry within those two seconds.
  view->scheduleCollapse(2.0);
  clock.advance(1500ms);
  settle();
  EXPECT_FALSE(collapsed());
  enter();
  clock.advance(600ms);
  settle();
  EXPECT_FALSE(collapsed());
  EXPECT_EQ(view->backgroundView->width(), view->width());
  // Left alone, it collapses when the time has come, not before.
  view->scheduleCollapse(2.0);
  clock.advance(1999ms);
  settle();
  EXPECT_FALSE(collapsed());
  clock.advance(1ms);
  settle();
  EXPECT_TRUE(collapsed());
}

// A Tab onto the button shows the caption as the pointer's hover does, a Tab away folds it; what
// the owner opened since (the connection pane) stays open.
TEST_F(BasePositionViewTest, TheKeyboardsFocusOpensThePillAsHoverDoes) {
  leave();
  settle();
  ASSERT_TRUE(collapsed());
  QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason), out(QEvent::FocusOut, Qt::TabFocusReason);
  QApplication::sendEvent(view->button, &in);
  settle();
  EXPECT_EQ(view->backgroundView->geometry(), view->rect());
  EXPECT_EQ(view->captionOpacity(), 1.0);
  QApplication::sendEvent(view->button, &out);
  settle();
  EXPECT_TRUE(collapsed());

  QApplication::sendEvent(view->button, &in);
  view->expand();
  QApplication::sendEvent(view->button, &out);
  settle();
  EXPECT_FALSE(collapsed());
  view->scheduleCollapse(2.0);
  clock.advance(2s);
  settle();
  EXPECT_TRUE(collapsed());
}

TEST_F(BasePositionViewTest, CaptionFontBySize) {
  QString eighteen(18, 'x'), nineteen(19, 'x');
  EXPECT_EQ(BasePositionView::captionFrame(eighteen.size()), QRect(25, 8, 115, 12));
  EXPECT_EQ(BasePositionView::captionFontSize(eighteen.size()), 12);
  EXPECT_EQ(BasePositionView::captionFrame(nineteen.size()), QRect(25, 2, 115, 12));
  EXPECT_EQ(BasePositionView::captionFontSize(nineteen.size()), 10);
  // The shipped caption is long: the small variant.
  ASSERT_TRUE(view->title);
  EXPECT_GE(view->title->text().size(), 19);
  EXPECT_EQ(view->title->geometry().topLeft(), QPoint(25, 2));
  EXPECT_EQ(view->title->height(), 12);
  EXPECT_EQ(view->title->font().pixelSize(), 10);
}

// A caption wider than its frame widens the frame and the pill with it, keeping the pill's right
// margin, and is drawn over the pill; building again (a language change) widens no further.
TEST_F(BasePositionViewTest, TheCaptionIsShownWholeOverThePill) {
  ASSERT_TRUE(view->title);
  const QString text = view->title->text();
  const int advance = QFontMetrics(view->title->font()).horizontalAdvance(text);
  ASSERT_GT(advance, 115);  // the caption the tests get is long, as the shipped one is
  EXPECT_GE(view->title->width(), advance);
  EXPECT_EQ(view->width() - view->title->geometry().right() - 1, 5);
  settle();
  EXPECT_EQ(view->backgroundView->width(), view->width());
  const auto children = view->children();
  EXPECT_GT(children.indexOf(view->title.data()), children.indexOf(view->backgroundView.data()));
  const int width = view->width();
  view->setupView();
  EXPECT_EQ(view->width(), width);
}

// The owner dims the whole view through an opacity effect (at full opacity too), and Qt draws
// nothing of an effect inside another: the caption fades through its own colour instead.
TEST_F(BasePositionViewTest, TheCaptionFadesWithoutAnEffectOfItsOwn) {
  auto captionAlpha = [&] { return view->title->palette().color(QPalette::WindowText).alpha(); };
  settle();
  EXPECT_EQ(view->title->graphicsEffect(), nullptr);
  EXPECT_EQ(captionAlpha(), 255);
  leave();
  settle();
  EXPECT_EQ(captionAlpha(), 0);
  enter();
  settle();
  EXPECT_EQ(captionAlpha(), 255);
  EXPECT_EQ(view->title->graphicsEffect(), nullptr);
}

TEST_F(BasePositionViewTest, OneHandlerCallPerClickAlsoCollapsed) {
  // No handler: nothing happens.
  QTest::mouseClick(view->button, Qt::LeftButton, {}, QPoint(100, 15));
  int calls = 0;
  view->onClickHandler = [&] { ++calls; };
  QTest::mouseClick(view->button, Qt::LeftButton, {}, QPoint(100, 15));
  EXPECT_EQ(calls, 1);
  leave();
  settle();
  ASSERT_TRUE(collapsed());
  // The button still covers the whole view: a click where the caption was counts.
  EXPECT_EQ(view->button->geometry(), view->rect());
  QTest::mouseClick(view->button, Qt::LeftButton, {}, QPoint(120, 15));
  EXPECT_EQ(calls, 2);
}

TEST_F(BasePositionViewTest, SettingUpTwiceLeavesOneSetOfSubviews) {
  auto count = [&] { return view->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).size(); };
  qsizetype first = count();
  EXPECT_EQ(first, 4);  // pill, icon, caption, button
  leave();
  view->setupView();
  settle();
  EXPECT_EQ(count(), first);
  // The button lies over everything.
  EXPECT_EQ(view->childAt(70, 15), view->button.data());
}
