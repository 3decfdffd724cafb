// The main window from the keyboard: the Tab order, the focus outline, Space and Return, and
// Escape on the popups and the preview's editors.

#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <algorithm>

#include "MainControllerFixture.h"
#include "controlboard/ControlBoardController.h"
#include "widgets/CustomSwitch.h"
#include "widgets/FocusRing.h"

namespace {

class MainWindowKeysTest : public MainWindowActionsTest {
 protected:
  // The board offers the display modes a shipped configuration does.
  void offerDisplayModes() {
    config.displayModesPerRow = 4;
    config.gridComposeMode = true;
    config.focusMode = true;
    config.bodyFitMode = true;
    config.gridMode = true;
    config.presentationMode = true;
    config.speakerMode = true;
    config.panoramaMode = true;
  }

  // The window as the user has it: shown, active, its events delivered.
  void activate() {
    window->activateWindow();
    QApplication::setActiveWindow(window.get());
    QCoreApplication::processEvents();
    settle();
  }

  // A key as the keyboard sends it: to whatever has the focus, else to the window.
  void key(Qt::Key k) {
    QWidget* to = QApplication::focusWidget() ? QApplication::focusWidget() : window.get();
    QTest::keyClick(to, k);
    QCoreApplication::processEvents();
    settle();
  }

  // The controls Tab visits from the start, once round (at most `limit` presses).
  std::vector<QWidget*> tabRound(int limit = 80) {
    std::vector<QWidget*> stops;
    for (int i = 0; i < limit; ++i) {
      key(Qt::Key_Tab);
      QWidget* now = QApplication::focusWidget();
      if (!now || (!stops.empty() && now == stops.front())) break;
      stops.push_back(now);
    }
    return stops;
  }

  // Tab until `target` has the focus; false when a round passes without it.
  bool tabTo(QWidget* target) {
    for (int i = 0; i < 80 && QApplication::focusWidget() != target; ++i) key(Qt::Key_Tab);
    return QApplication::focusWidget() == target;
  }

  // Seen on the screen: shown, enabled, and neither it nor a view holding it see-through.
  static bool seen(QWidget* w) {
    if (!w->isVisible() || !w->isEnabled()) return false;
    for (QWidget* v = w; v; v = v->parentWidget()) {
      if (MainController::alphaOf(v) <= 0.0) return false;
      if (auto* b = qobject_cast<corvane::CustomButton*>(v); b && b->alphaValue() <= 0.0)
        return false;
    }
    return true;
  }

  static std::string nameOf(QWidget* w) {
    std::string name = w->metaObject()->className();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) name += " '" + b->text().toStdString() + "'";
    if (!w->toolTip().isEmpty()) name += " (" + w->toolTip().toStdString() + ")";
    return name;
  }
};

// The clip plays (no vertical field of view: the FOV buttons are there but unseen). Tab from the
// start goes through the board's controls, every display mode among them, each outlined while it
// has the focus, and never reaches a control that cannot be seen or used; Space and Return press
// the focused one.
TEST_F(MainWindowKeysTest, TabFromTheStartReachesEveryDisplayModeAndNoHiddenControl) {
  if (!std::filesystem::exists(demoClip())) GTEST_SKIP() << "no demo clip: run scripts/setup";
  offerDisplayModes();
  corvane::PlayerManager player(clock);
  makeDemoManager(player);
  // The clip's frames stop before the window goes, also when a check stops the test early.
  struct Ending {
    std::function<void()> run;
    ~Ending() { run(); }
  } ending{[&] { endDemo(player); }};
  makeWindowed();
  connectDemo(player);
  ASSERT_EQ(manager->connectMode->value(), ConnectMode::connected);
  player.play();
  ASSERT_TRUE(demoFramesUntil(
      player, [&] { return controller->controlMetalView->composedPixelBuffer() != nullptr; }));
  player.pause();
  pumpDemo(player);
  activate();
  ASSERT_FALSE(manager->cameraFormat().enableVFov);
  ASSERT_FALSE(manager->is360Camera());
  corvane::ControlBoardController* board = controller->controlBoardController();
  const std::vector<corvane::CustomButton*> modes = board->displayModeButtons();
  ASSERT_GE(modes.size(), 7u);
  ASSERT_TRUE(controller->fovStackView->isVisible()) << "the FOV row stands, unseen";
  ASSERT_EQ(MainController::alphaOf(controller->fov1Button), 0.0);

  // At the start no control has the keys: Space there presses nothing.
  QWidget* start = QApplication::focusWidget();
  EXPECT_TRUE(!start || !(start->focusPolicy() & Qt::TabFocus)) << nameOf(start);
  const corvane::VerticalFovMode fov = manager->verticalFov->value();
  key(Qt::Key_Space);
  key(Qt::Key_Return);
  EXPECT_EQ(manager->verticalFov->value(), fov);
  EXPECT_FALSE(rig.logged("onClickFOV1"));
  EXPECT_EQ(manager->displayMode->value(), corvane::Display::compose);

  const std::vector<QWidget*> stops = tabRound();
  ASSERT_FALSE(stops.empty());

  EXPECT_EQ(stops.front(), board->splitButton) << "the first Tab lands on the board's first";
  corvane::FocusRing* ring = controller->focusRing;
  ASSERT_TRUE(ring);
  for (QWidget* stop : stops) {
    SCOPED_TRACE(nameOf(stop));
    EXPECT_TRUE(seen(stop)) << "Tab reached a control nobody sees";
  }
  for (QWidget* fovButton : {static_cast<QWidget*>(controller->fov1Button.data()),
                             static_cast<QWidget*>(controller->fov2Button.data()),
                             static_cast<QWidget*>(controller->fov3Button.data())})
    EXPECT_EQ(std::count(stops.begin(), stops.end(), fovButton), 0);
  for (corvane::CustomButton* mode : modes) {
    SCOPED_TRACE(mode->tag);
    EXPECT_EQ(std::count(stops.begin(), stops.end(), mode), 1) << "every display mode, once";
  }
  EXPECT_EQ(std::count(stops.begin(), stops.end(), board->mirrorSwitch), 1);
  // In the board's order: the modes follow their panel's fold button, in their rows' order.
  auto at = [&](QWidget* w) { return std::find(stops.begin(), stops.end(), w) - stops.begin(); };
  EXPECT_EQ(at(modes.front()), at(board->displayMoreButton) + 1);
  for (size_t i = 1; i < modes.size(); ++i) EXPECT_EQ(at(modes[i]), at(modes[i - 1]) + 1);

  // Each stop is outlined: the ring stands around it, drawn above its neighbours.
  for (QWidget* stop : stops) {
    SCOPED_TRACE(nameOf(stop));
    ASSERT_TRUE(tabTo(stop));
    ASSERT_EQ(ring->target(), stop);
    EXPECT_TRUE(ring->isVisible());
    const QRect around(ring->mapTo(window.get(), QPoint(0, 0)), ring->size());
    const QRect control(stop->mapTo(window.get(), QPoint(0, 0)), stop->size());
    EXPECT_TRUE(
        around.contains(control.adjusted(-corvane::FocusRing::kGap, -corvane::FocusRing::kGap,
                                         corvane::FocusRing::kGap, corvane::FocusRing::kGap)));
    const QImage shot = window->grab(around).toImage();
    EXPECT_EQ(shot.pixelColor(shot.width() / 2, 1), corvane::FocusRing::color())
        << "the outline shows on the screen";
  }

  // Space presses the focused display mode, Return the next.
  corvane::CustomButton* focusMode = nullptr;
  corvane::CustomButton* gridMode = nullptr;
  for (corvane::CustomButton* b : modes) {
    if (b->tag == 11) focusMode = b;
    if (b->tag == 12) gridMode = b;
  }
  ASSERT_TRUE(focusMode && gridMode);
  ASSERT_TRUE(tabTo(focusMode));
  key(Qt::Key_Space);
  EXPECT_EQ(manager->displayMode->value(), corvane::Display::focus);
  EXPECT_TRUE(focusMode->isSelected);
  ASSERT_TRUE(tabTo(gridMode));
  key(Qt::Key_Return);
  EXPECT_EQ(manager->displayMode->value(), corvane::Display::grid);
  EXPECT_TRUE(gridMode->isSelected);

  // The switches likewise.
  ASSERT_TRUE(tabTo(board->mirrorSwitch));
  const bool mirror = model.mirror->value();
  key(Qt::Key_Space);
  EXPECT_EQ(model.mirror->value(), !mirror);
  key(Qt::Key_Return);
  EXPECT_EQ(model.mirror->value(), mirror);
}

// A camera without a vertical field of view: the base-position button and the FOV buttons are
// there but see-through; Tab passes them by and no key reaches them.
TEST_F(MainWindowKeysTest, UnseenFovControlsTakeNoFocus) {
  usbCamera->addMode(3840, 1080, {360, 120, 360, 120, 1});
  plugCamera();
  makeWindowed();
  connect();
  advance(std::chrono::seconds(3));
  activate();
  ASSERT_FALSE(manager->cameraFormat().enableVFov);
  QWidget* base = controller->basePositionView;
  ASSERT_TRUE(base->isVisible());
  ASSERT_EQ(MainController::alphaOf(base), 0.0);
  // Wherever a layout shows the FOV row, too.
  controller->fovStackView->show();
  controller->fovStackView->raise();
  const std::vector<QWidget*> stops = tabRound();
  ASSERT_FALSE(stops.empty());
  for (QWidget* stop : stops) {
    SCOPED_TRACE(nameOf(stop));
    EXPECT_TRUE(seen(stop));
    EXPECT_FALSE(base->isAncestorOf(stop));
    EXPECT_FALSE(controller->fovStackView->isAncestorOf(stop));
  }
}

// A control its board dims or puts out of use leaves the Tab order and takes no key; it comes
// back when it can be used again.
TEST_F(MainWindowKeysTest, DisabledAndDimmedControlsTakeNoFocusAndNoKey) {
  offerDisplayModes();
  makeConnectedWindow();
  activate();
  corvane::ControlBoardController* board = controller->controlBoardController();
  // Focus mode disables the face buttons and the ignore-area button.
  manager->displayMode->setValue(corvane::Display::focus);
  settle();
  ASSERT_FALSE(board->ignoreButton->buttonEnabled());
  std::vector<QWidget*> stops = tabRound();
  for (QWidget* off : {static_cast<QWidget*>(board->ignoreButton),
                       static_cast<QWidget*>(board->faceAutoDetectButton),
                       static_cast<QWidget*>(board->faceAutoTrackButton)}) {
    SCOPED_TRACE(nameOf(off));
    EXPECT_EQ(std::count(stops.begin(), stops.end(), off), 0);
  }
  for (QWidget* stop : stops) {
    SCOPED_TRACE(nameOf(stop));
    EXPECT_TRUE(seen(stop));
  }
  // A dimmed switch takes no clicks, and no keys either.
  board->autoDetectSwitch->setAlphaValue(0.3);
  EXPECT_FALSE(board->autoDetectSwitch->focusPolicy() & Qt::TabFocus);
  const bool on = board->autoDetectSwitch->on();
  QTest::keyClick(board->autoDetectSwitch, Qt::Key_Space);
  EXPECT_EQ(board->autoDetectSwitch->on(), on);

  // Back in compose the ignore-area button is a Tab stop again, and Space opens the editor.
  manager->displayMode->setValue(corvane::Display::compose);
  settle();
  ASSERT_TRUE(board->ignoreButton->buttonEnabled());
  ASSERT_TRUE(tabTo(board->ignoreButton));
  key(Qt::Key_Space);
  EXPECT_EQ(model.editMode->value(), corvane::EditMode::ignore);
  // The control that had the focus went with the board: nothing unseen keeps the keys.
  QWidget* now = QApplication::focusWidget();
  EXPECT_TRUE(!now || !(now->focusPolicy() & Qt::TabFocus) || seen(now));
}

// Escape closes the popup on top as its Cancel or close would, one popup a press, and then
// cancels the ignore-area editor as its Cancel button does.
TEST_F(MainWindowKeysTest, EscapeCancelsThePopupsAndTheIgnoreAreaEditor) {
  makeConnectedWindow();
  advance(std::chrono::seconds(1));
  activate();
  auto recording = facades->last();

  // The record popup; then the settings above the language popup.
  controller->toggleSaveRoiPopup(true);
  settle();
  ASSERT_FALSE(controller->saveRoiView->isHidden());
  key(Qt::Key_Escape);
  EXPECT_TRUE(controller->saveRoiView->isHidden());
  for (QWidget* host : {controller->languageView.data(), controller->settingView.data()}) {
    host->show();
    host->raise();
  }
  key(Qt::Key_Escape);
  EXPECT_TRUE(controller->settingView->isHidden()) << "the one on top first";
  EXPECT_FALSE(controller->languageView->isHidden());
  key(Qt::Key_Escape);
  EXPECT_TRUE(controller->languageView->isHidden());

  // The update popup: its Cancel (fading out, remembering the choice).
  controller->showUpdatePopup(true);
  advance(std::chrono::milliseconds(400));
  ASSERT_FALSE(controller->updateView->isHidden());
  key(Qt::Key_Escape);
  advance(std::chrono::milliseconds(400));
  EXPECT_TRUE(controller->updateView->isHidden());

  // The ignore-area editor: Escape is its Cancel (the edit dropped, deleted areas put back).
  model.editMode->setValue(corvane::EditMode::ignore);
  settle();
  controller->ignoreRectsTempDel = {QRectF(10, 20, 100, 50)};
  recording->clearCalls();
  key(Qt::Key_Escape);
  EXPECT_EQ(model.editMode->value(), corvane::EditMode::none);
  EXPECT_EQ(recording->callsStartingWith("EndIgnoreAreaEditing"),
            std::vector<std::string>{"EndIgnoreAreaEditing 0"});
  advance(std::chrono::milliseconds(100));
  EXPECT_EQ(recording->callsStartingWith("AddIgnoreNewRect"),
            std::vector<std::string>{"AddIgnoreNewRect 10 20 110 70"});

  // With nothing open Escape changes nothing.
  recording->clearCalls();
  key(Qt::Key_Escape);
  EXPECT_EQ(model.editMode->value(), corvane::EditMode::none);
  EXPECT_TRUE(recording->callsStartingWith("EndIgnoreAreaEditing").empty());
}

}  // namespace
