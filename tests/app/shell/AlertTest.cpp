#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>
#include <cstdlib>
#include <vector>

#include "shell/AlertController.h"
#include "shell/AlertManager.h"
#include "shell/AlertMode.h"
#include "widgets/CustomButton.h"

namespace corvane {
namespace {

// Runs the fade under way on the alert to its end, as the animation clock would.
void finishFade(QWidget* alert) {
  if (QPropertyAnimation* fade = CustomSwiftAnimator::runningFade(alert))
    fade->setCurrentTime(fade->duration());
}

class AlertTest : public ::testing::Test {
 protected:
  QWidget window;
  QPushButton* beneath = nullptr;
  AlertController* alert = new AlertController();
  AlertManager manager{&window, alert};
  int beneathClicks = 0;

  ~AlertTest() override {
    if (!alert->parentWidget()) delete alert;
  }

  void SetUp() override {
    setenv("CORVANE_RESOURCES_DIR", CORVANE_SOURCE_RESOURCES_DIR, 1);
    window.resize(800, 500);
    beneath = new QPushButton("beneath", &window);
    beneath->setGeometry(20, 20, 120, 40);
    QObject::connect(beneath, &QPushButton::clicked, [this] { ++beneathClicks; });
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  }

  // A click as the window system delivers it: to whatever widget lies at the point.
  void clickWindowAt(QPoint pos) {
    QTest::mouseClick(window.windowHandle(), Qt::LeftButton, Qt::NoModifier, pos);
  }
};

TEST_F(AlertTest, ModeRawValues) {
  EXPECT_EQ(alertModeFromRaw(0), AlertMode::alert);
  EXPECT_EQ(alertModeFromRaw(1), AlertMode::confirm);
  EXPECT_EQ(alertModeFromRaw(2), std::nullopt);
  EXPECT_EQ(alertModeFromRaw(-1), std::nullopt);
  AlertSetupModel model;
  EXPECT_EQ(model.mode, AlertMode::alert);
  EXPECT_TRUE(model.message.isEmpty());
  EXPECT_FALSE(model.confirmHandler);
  EXPECT_FALSE(model.showOtherButton);
  EXPECT_FALSE(model.otherMessage);
}

TEST_F(AlertTest, ShowsOverTheWholeWindowAndFadesInOverHalfASecond) {
  manager.showAlert("Restart now?", [](bool) {});
  EXPECT_TRUE(manager.isShow);
  EXPECT_EQ(alert->parentWidget(), &window);
  EXPECT_TRUE(alert->isVisible());
  EXPECT_EQ(alert->geometry(), window.rect());
  EXPECT_EQ(alert->messageLabel()->text(), "Restart now?");
  QPropertyAnimation* fade = CustomSwiftAnimator::runningFade(alert);
  ASSERT_NE(fade, nullptr);
  EXPECT_EQ(fade->duration(), 500);
  EXPECT_DOUBLE_EQ(fade->endValue().toDouble(), 1.0);
  EXPECT_DOUBLE_EQ(CustomSwiftAnimator::opacity(alert), 0.0);
  finishFade(alert);
  EXPECT_DOUBLE_EQ(CustomSwiftAnimator::opacity(alert), 1.0);
  EXPECT_TRUE(alert->buttonStackView()->isVisible());
  EXPECT_FALSE(alert->confimButton()->isVisible());
  EXPECT_FALSE(alert->otherButtonView()->isVisible());

  window.resize(1000, 700);
  EXPECT_EQ(alert->geometry(), window.rect()) << "the alert follows the window's size";
  EXPECT_EQ(alert->panel()->geometry().center(), QRect(0, 0, 1000, 700).center());
}

TEST_F(AlertTest, ASecondRequestWhileOneShowsIsDroppedAndItsClosureNeverRuns) {
  std::vector<std::pair<int, bool>> answers;
  manager.showAlert("first", [&](bool ok) { answers.push_back({1, ok}); });
  manager.showAlert("second", [&](bool ok) { answers.push_back({2, ok}); });
  EXPECT_EQ(alert->messageLabel()->text(), "first");
  finishFade(alert);
  alert->okButton()->click();
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0], std::make_pair(1, true));
  EXPECT_FALSE(manager.isShow);
  finishFade(alert);
  EXPECT_FALSE(alert->isVisible());
  EXPECT_EQ(answers.size(), 1u) << "the dropped request is not queued";
}

TEST_F(AlertTest, CancelAnswersFalseAndOkTrue) {
  std::vector<bool> answers;
  manager.showAlert("a", [&](bool ok) { answers.push_back(ok); });
  alert->cancelButton()->click();
  finishFade(alert);
  manager.showAlert("b", [&](bool ok) { answers.push_back(ok); });
  alert->okButton()->click();
  EXPECT_EQ(answers, (std::vector<bool>{false, true}));
}

TEST_F(AlertTest, ButtonTitlesDefaultToTheLocalizedOnesAndGivenOnesStand) {
  AlertSetupModel model;
  model.mode = AlertMode::confirm;
  manager.present(model);
  EXPECT_EQ(alert->cancelButton()->title(), "Cancel");
  EXPECT_EQ(alert->okButton()->title(), "OK");
  alert->cancelButton()->click();

  model.cancelButtonString = "Not now";
  model.okButtonString = "Restart";
  manager.present(model);
  EXPECT_EQ(alert->cancelButton()->title(), "Not now");
  EXPECT_EQ(alert->okButton()->title(), "Restart");
}

TEST_F(AlertTest, TheOneButtonAlertShowsOkAndAnswersTrue) {
  std::vector<bool> answers;
  AlertSetupModel model;
  model.mode = AlertMode::alert;
  model.message = "Done";
  model.confimButtonString = "Fine";
  model.confirmHandler = [&](bool ok) { answers.push_back(ok); };
  manager.present(model);
  finishFade(alert);
  EXPECT_FALSE(alert->buttonStackView()->isVisible());
  ASSERT_TRUE(alert->confimButton()->isVisible());
  EXPECT_EQ(alert->confimButton()->title(), "OK");
  alert->confimButton()->click();
  EXPECT_EQ(answers, std::vector<bool>{true});
}

// From the keyboard: Escape answers as Cancel does (a plain alert's one button), Tab goes round
// the alert's buttons and never reaches the window beneath, Return presses the focused one.
TEST_F(AlertTest, EscapeIsCancelAndTabStaysOnTheAlert) {
  QApplication::setActiveWindow(&window);
  std::vector<bool> answers;
  manager.showAlert("keys", [&](bool ok) { answers.push_back(ok); });
  finishFade(alert);
  ASSERT_EQ(QApplication::focusWidget(), alert->okButton());
  for (int i = 0; i < 4; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QWidget* now = QApplication::focusWidget();
    EXPECT_TRUE(now == alert->okButton() || now == alert->cancelButton());
  }
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
  EXPECT_EQ(QApplication::focusWidget(), alert->cancelButton());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  EXPECT_EQ(answers, std::vector<bool>{false});
  EXPECT_FALSE(manager.isShow);
  finishFade(alert);

  manager.showAlert("again", [&](bool ok) { answers.push_back(ok); });
  finishFade(alert);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  EXPECT_EQ(answers, (std::vector<bool>{false, true}));
  finishFade(alert);

  AlertSetupModel plain;
  plain.message = "Done";
  plain.confirmHandler = [&](bool ok) { answers.push_back(ok); };
  manager.present(plain);
  finishFade(alert);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  EXPECT_EQ(answers, (std::vector<bool>{false, true, true}));
  EXPECT_EQ(beneathClicks, 0);
  QApplication::setActiveWindow(nullptr);
}

TEST_F(AlertTest, TheExtraButtonRowCallsItsOwnClosure) {
  int others = 0;
  std::vector<bool> answers;
  AlertSetupModel model;
  model.mode = AlertMode::confirm;
  model.showOtherButton = true;
  model.otherMessage = "Learn more";
  model.otherConfirmHandler = [&] { ++others; };
  model.confirmHandler = [&](bool ok) { answers.push_back(ok); };
  manager.present(model);
  finishFade(alert);
  ASSERT_TRUE(alert->otherButtonView()->isVisible());
  EXPECT_EQ(alert->otherButton()->text(), "Learn more");
  alert->otherButton()->click();
  EXPECT_EQ(others, 1);
  EXPECT_TRUE(answers.empty());
  EXPECT_FALSE(manager.isShow);

  model.showOtherButton = false;
  manager.present(model);
  EXPECT_FALSE(alert->otherButtonView()->isVisibleTo(alert));
}

TEST_F(AlertTest, AModelWithoutClosureClosesQuietly) {
  AlertSetupModel model;
  model.mode = AlertMode::confirm;
  manager.present(model);
  finishFade(alert);
  alert->okButton()->click();
  EXPECT_FALSE(manager.isShow);
  QPropertyAnimation* fade = CustomSwiftAnimator::runningFade(alert);
  ASSERT_NE(fade, nullptr);
  EXPECT_EQ(fade->duration(), 500);
  EXPECT_DOUBLE_EQ(fade->endValue().toDouble(), 0.0);
  finishFade(alert);
  EXPECT_FALSE(alert->isVisible()) << "the faded alert is taken off the window";
}

TEST_F(AlertTest, AnAlertShownFromInsideTheClosureAppears) {
  bool secondAnswered = false;
  manager.showAlert("first", [&](bool) {
    EXPECT_FALSE(manager.isShow) << "free before the closure runs";
    manager.showAlert("second", [&](bool ok) { secondAnswered = ok; });
  });
  finishFade(alert);
  alert->okButton()->click();
  EXPECT_TRUE(manager.isShow);
  EXPECT_EQ(alert->messageLabel()->text(), "second");
  finishFade(alert);
  EXPECT_TRUE(alert->isVisible()) << "the first alert's fade-out does not take the second away";
  EXPECT_DOUBLE_EQ(CustomSwiftAnimator::opacity(alert), 1.0);
  alert->okButton()->click();
  EXPECT_TRUE(secondAnswered);
}

TEST_F(AlertTest, ASecondClickOnTheFadingAlertAnswersNothing) {
  int answers = 0;
  manager.showAlert("once", [&](bool) { ++answers; });
  alert->okButton()->click();
  alert->okButton()->click();
  alert->cancelButton()->click();
  EXPECT_EQ(answers, 1);
}

TEST_F(AlertTest, AClickOnAButtonUnderTheAlertDoesNothing) {
  const QPoint onButton = beneath->geometry().center();
  clickWindowAt(onButton);
  ASSERT_EQ(beneathClicks, 1) << "the click reaches the button without an alert";

  manager.showAlert("blocking", [](bool) {});
  finishFade(alert);
  clickWindowAt(onButton);
  EXPECT_EQ(beneathClicks, 1);
  EXPECT_TRUE(manager.isShow) << "a click on the dimmed layer answers nothing";

  alert->cancelButton()->click();
  finishFade(alert);
  clickWindowAt(onButton);
  EXPECT_EQ(beneathClicks, 2);
}

TEST_F(AlertTest, TheAlertsButtonsAnswerRealClicks) {
  bool answer = false;
  manager.showAlert("click", [&](bool ok) { answer = ok; });
  finishFade(alert);
  QWidget* ok = alert->okButton();
  clickWindowAt(ok->mapTo(&window, ok->rect().center()));
  EXPECT_TRUE(answer);
  EXPECT_FALSE(manager.isShow);
}

TEST_F(AlertTest, AnAlertMadeOnItsWindowFollowsItsSizeToo) {
  auto* own = new AlertController(&window);
  AlertManager local(&window, own);
  local.showAlert("own", [](bool) {});
  window.resize(640, 480);
  EXPECT_EQ(own->geometry(), window.rect());
}

TEST_F(AlertTest, WithoutAnyWindowTheRequestIsDroppedWithAnErrorLine) {
  AlertController lonely;
  AlertManager noHost(nullptr, &lonely);
  window.hide();
  bool called = false;
  noHost.showAlert("nowhere", [&](bool) { called = true; });
  EXPECT_FALSE(noHost.isShow);
  EXPECT_FALSE(called);
}

}  // namespace
}  // namespace corvane
