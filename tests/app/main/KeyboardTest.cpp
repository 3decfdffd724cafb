// The main window from the keyboard: the Tab order, the focus outline, Space and Return, and
// Escape on the popups and the preview's editors.

#include <QApplication>
#include <QKeyEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>

#include "MainControllerFixture.h"
#include "controlboard/ControlBoardController.h"
#include "controlboard/SmallControlBoardController.h"
#include "shell/AlertController.h"
#include "shell/AlertManager.h"
#include "shell/LanguageViewController.h"
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

// The record popup holds the keys and the pointer while it is open, in both its states: its
// list has the focus when it opens, Tab and Shift+Tab go round its own controls, Return in the
// list confirms, no key and no press reaches the board behind, and the focus goes back to where
// it was when the popup goes.
TEST_F(MainWindowKeysTest, TheRecordPopupsHoldTheKeysAndThePointer) {
  makeConnectedWindow();
  advance(std::chrono::seconds(1));
  activate();
  corvane::ControlBoardController* board = controller->controlBoardController();
  corvane::SaveRoiViewController* popup = controller->saveRoi();
  corvane::FocusRing* ring = controller->focusRing;
  ASSERT_TRUE(tabTo(board->mirrorSwitch));
  const bool tracking = manager->isFaceAutoTracking->value();
  auto recording = facades->last();
  recording->transformingRect = {100, 100, 200, 120};
  controller->selectRect(true, 7);

  for (bool save : {true, false}) {
    SCOPED_TRACE(save ? "save" : "load");
    controller->toggleSaveRoiPopup(save);
    settle();
    ASSERT_FALSE(controller->saveRoiView->isHidden());
    EXPECT_EQ(QApplication::focusWidget(), popup->roiPullDownButton.data());
    EXPECT_EQ(ring->target(), popup->roiPullDownButton.data());
    EXPECT_TRUE(ring->isVisible());
    EXPECT_EQ(tabRound(), (std::vector<QWidget*>{popup->roiOkButton, popup->closeButton,
                                                 popup->roiPullDownButton}));
    // Shift+Tab goes the other way round, from the confirm button Tab left it on.
    for (QWidget* back : {static_cast<QWidget*>(popup->roiPullDownButton.data()),
                          static_cast<QWidget*>(popup->closeButton.data()),
                          static_cast<QWidget*>(popup->roiOkButton.data())}) {
      key(Qt::Key_Backtab);
      EXPECT_EQ(QApplication::focusWidget(), back);
    }

    // Nothing behind it: a click on the board, and the keys the window would take.
    recording->clearCalls();
    QTest::mouseClick(board->faceAutoTrackButton, Qt::LeftButton);
    QTest::mouseClick(board->mirrorSwitch, Qt::LeftButton);
    settle();
    EXPECT_EQ(manager->isFaceAutoTracking->value(), tracking);
    EXPECT_FALSE(model.mirror->value());
    // A click on the popup's own background gives the keys to no control behind either.
    QTest::mouseClick(popup->backgroundView, Qt::LeftButton, {}, QPoint(5, 200));
    settle();
    for (Qt::Key k : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Left, Qt::Key_Delete}) key(k);
    EXPECT_EQ(manager->isFaceAutoTracking->value(), tracking);
    EXPECT_TRUE(recording->callsStartingWith("SetTransformingRect").empty());
    EXPECT_TRUE(recording->callsStartingWith("RemoveRect").empty());
    key(Qt::Key_Tab);
    EXPECT_TRUE(QApplication::focusWidget() &&
                controller->saveRoiView->isAncestorOf(QApplication::focusWidget()));
    ASSERT_TRUE(tabTo(popup->roiPullDownButton));

    // Down picks the second layout, Return in the list confirms it.
    const int item = popup->roiPullDownButton->currentIndex();
    key(Qt::Key_Down);
    EXPECT_EQ(popup->roiPullDownButton->currentIndex(), item + 1);
    key(Qt::Key_Return);
    EXPECT_TRUE(controller->saveRoiView->isHidden());
    EXPECT_EQ(config.roiRecordIndex, save ? item + 2 : item + 1);
    EXPECT_EQ(QApplication::focusWidget(), board->mirrorSwitch) << "back where it was";
  }

  // Escape still cancels it, and the focus comes back too.
  controller->toggleSaveRoiPopup(true);
  settle();
  key(Qt::Key_Escape);
  EXPECT_TRUE(controller->saveRoiView->isHidden());
  EXPECT_EQ(QApplication::focusWidget(), board->mirrorSwitch);
}

// The language popup likewise: its list has the focus, Tab goes round the list, OK and close,
// Return in the list presses OK (which asks before the relaunch), Space reaches nothing behind.
TEST_F(MainWindowKeysTest, TheLanguagePopupHoldsTheKeysAndThePointer) {
  if (!manager) makeManager();
  plugCamera();
  std::unique_ptr<corvane::AlertManager> alerts;
  corvane::LanguageViewController* language = nullptr;
  auto env = actionsEnvironment();
  env.makeLanguageViewController = [&](QWidget* host) -> QWidget* {
    corvane::LanguageViewController::Environment e;
    e.defaults = defaults.get();
    e.terminate = [] {};
    alerts = std::make_unique<corvane::AlertManager>(nullptr, new corvane::AlertController());
    e.alerts = alerts.get();
    language = new corvane::LanguageViewController(e, host);
    language->closeAction = [host] { host->hide(); };
    return language;
  };
  makeWindowed(env);
  connect();
  settle();
  activate();
  ASSERT_TRUE(language);
  corvane::ControlBoardController* board = controller->controlBoardController();
  const bool mirror = model.mirror->value();
  controller->languageView->show();
  controller->languageView->raise();
  settle();
  EXPECT_EQ(QApplication::focusWidget(), language->languagePullDownButton());
  EXPECT_EQ(tabRound(), (std::vector<QWidget*>{language->okButton(), language->closeButton(),
                                               language->languagePullDownButton()}));
  QTest::mouseClick(board->mirrorSwitch, Qt::LeftButton);
  ASSERT_TRUE(tabTo(language->okButton()));
  key(Qt::Key_Tab);
  EXPECT_NE(QApplication::focusWidget(), board->mirrorSwitch);
  EXPECT_EQ(model.mirror->value(), mirror) << "no press and no key reaches the board";
  ASSERT_TRUE(tabTo(language->languagePullDownButton()));
  QSignalSpy ok(language->okButton(), &QAbstractButton::clicked);
  key(Qt::Key_Return);
  EXPECT_EQ(ok.size(), 1);
  // The question about the relaunch has the keys now; Escape answers no, then closes the popup.
  ASSERT_TRUE(alerts->isShow);
  EXPECT_EQ(QApplication::focusWidget(), alerts->alertController()->findChild<QWidget*>("okButton"));
  key(Qt::Key_Escape);
  EXPECT_FALSE(alerts->isShow);
  EXPECT_FALSE(controller->languageView->isHidden()) << "the question went, the popup stays";
  alerts->alertController()->hide();
  key(Qt::Key_Escape);
  EXPECT_TRUE(controller->languageView->isHidden());
}

// The ignore-area editor holds the keys: only its Cancel and OK are Tab stops, each outlined,
// and no hidden border button of the board behind takes a key.
TEST_F(MainWindowKeysTest, TheIgnoreAreaEditorHoldsTheKeys) {
  makeConnectedWindow();
  advance(std::chrono::seconds(1));
  activate();
  corvane::ControlBoardController* board = controller->controlBoardController();
  corvane::FocusRing* ring = controller->focusRing;
  std::vector<bool> borders;
  auto borderStates = [&] {
    std::vector<bool> out;
    for (QWidget* w : board->findChildren<corvane::CustomButton*>()) {
      auto* b = static_cast<corvane::CustomButton*>(w);
      out.push_back(b->isSelected);
    }
    return out;
  };
  borders = borderStates();
  ASSERT_TRUE(tabTo(board->ignoreButton));
  key(Qt::Key_Space);
  ASSERT_EQ(model.editMode->value(), corvane::EditMode::ignore);
  EXPECT_EQ(QApplication::focusWidget(), controller->editCancelButton.data())
      << (QApplication::focusWidget() ? nameOf(QApplication::focusWidget()) : "none");
  EXPECT_EQ(tabRound(), (std::vector<QWidget*>{controller->editOKButton,
                                               controller->editCancelButton}));
  for (QWidget* stop : {static_cast<QWidget*>(controller->editOKButton.data()),
                        static_cast<QWidget*>(controller->editCancelButton.data())}) {
    ASSERT_TRUE(tabTo(stop));
    EXPECT_EQ(ring->target(), stop);
    EXPECT_TRUE(ring->isVisible());
  }
  key(Qt::Key_Escape);
  EXPECT_EQ(model.editMode->value(), corvane::EditMode::none);
  EXPECT_EQ(borderStates(), borders) << "no border button was pressed";
  EXPECT_EQ(QApplication::focusWidget(), board->ignoreButton)
      << "back where it was, not " << (QApplication::focusWidget() ? nameOf(QApplication::focusWidget()) : "none");
}

// The simple layout's column: its own buttons are the only Tab stops, each outlined, also when
// its window came back without Qt taking it for the active one.
TEST_F(MainWindowKeysTest, TheStripsButtonsAreTheOnlyStopsAndAreOutlined) {
  config.gridComposeMode = config.focusMode = config.gridMode = true;
  makeConnectedWindow();
  activate();
  controller->showSimpleUI(true);
  settle();
  ASSERT_TRUE(controller->isSimpleMode());
  // The layout's new native window gets the keys while Qt takes no window for the active one
  // (as under openbox): the focus and its outline move all the same.
  QApplication::setActiveWindow(nullptr);
  corvane::SmallControlBoardController* small = controller->smallControlBoardController();
  const std::vector<QWidget*> stops = tabRound();
  ASSERT_FALSE(stops.empty());
  for (QWidget* stop : stops) {
    SCOPED_TRACE(nameOf(stop));
    EXPECT_TRUE(small->isAncestorOf(stop));
    ASSERT_TRUE(tabTo(stop));
    EXPECT_EQ(controller->focusRing->target(), stop);
    EXPECT_TRUE(controller->focusRing->isVisible());
    const QRect around(controller->focusRing->mapTo(window.get(), QPoint(0, 0)),
                       controller->focusRing->size());
    EXPECT_TRUE(window->rect().intersects(around));
  }
  EXPECT_EQ(std::count(stops.begin(), stops.end(), small->fullWindowButton), 1);
}

// Without a camera the greyed display modes are passed by: Try Again is the first stop after
// the board's own.
TEST_F(MainWindowKeysTest, GreyedDisplayModesArePassedBy) {
  offerDisplayModes();
  makeWindowed();
  advance(std::chrono::seconds(3));
  activate();
  ASSERT_NE(manager->connectMode->value(), ConnectMode::connected);
  corvane::ControlBoardController* board = controller->controlBoardController();
  ASSERT_GE(board->displayModeButtons().size(), 7u);
  const std::vector<QWidget*> stops = tabRound();
  for (corvane::CustomButton* mode : board->displayModeButtons()) {
    SCOPED_TRACE(mode->tag);
    EXPECT_EQ(std::count(stops.begin(), stops.end(), mode), 0);
    EXPECT_FALSE(mode->buttonEnabled());
  }
}

// On a short screen the board scrolls. When its panels change (a display mode chosen, the camera
// back) the column goes back to its top, yet the control the keyboard is on stays in view.
TEST_F(MainWindowKeysTest, TheBoardsNewLayoutKeepsTheFocusedControlInView) {
  offerDisplayModes();
  makeConnectedWindow();
  window->resize(window->minimumSize());
  settle();
  activate();
  corvane::ControlBoardController* board = controller->controlBoardController();
  ASSERT_FALSE(board->displayModeButtons().empty());
  corvane::CustomButton* last = board->displayModeButtons().back();
  QScrollArea* column = controller->scrollView;
  ASSERT_TRUE(tabTo(last));
  auto inView = [&](QWidget* w) {
    const QRect shown(w->mapTo(column->viewport(), QPoint(0, 0)), w->size());
    return column->viewport()->rect().contains(shown);
  };
  ASSERT_TRUE(inView(last)) << "Tab brought it into view";
  ASSERT_GT(last->mapTo(board, QPoint(0, last->height())).y(), column->viewport()->height())
      << "the board is taller than its column here";

  model.frame->setValue(QRectF(0, 0, 285, 901));
  settle();
  EXPECT_TRUE(inView(last));
  EXPECT_EQ(QApplication::focusWidget(), last);

  // Without the keyboard in the board, its top shows.
  last->clearFocus();
  model.frame->setValue(QRectF(0, 0, 285, 902));
  settle();
  EXPECT_EQ(column->verticalScrollBar()->value(), 0);
}

// A box stays selected after its context menu went without a choice: Delete removes it. A
// tracked box is selected by a click, and Delete and Backspace reach it.
TEST_F(MainWindowKeysTest, DeleteReachesTheBoxAfterItsMenuAndATrackedBoxAfterAClick) {
  makeConnectedWindow();
  activate();
  auto recording = facades->last();
  placeTwoRois();
  recording->transformingRect = {200, 20, 180, 60};
  controller->popUpContextMenu = [](QMenu&, QPoint) {};  // dismissed without a choice
  QWidget* preview = controller->controlMetalView;
  auto press = [&](int x, Qt::MouseButton button) {
    QTest::mousePress(preview, button, {}, QPoint(x, 40));
    QTest::mouseRelease(preview, button, {}, QPoint(x, 40));
    settle();
  };
  press(150, Qt::LeftButton);
  ASSERT_TRUE(controller->roiEditor.isStartTransform);
  // The facade opens one transform at a time: a second start is refused while one is open.
  recording->startTransformAnswer = false;
  press(150, Qt::RightButton);
  EXPECT_EQ(controller->controlBorderView->selectedRectId(), 7);
  recording->clearCalls();
  key(Qt::Key_Delete);
  EXPECT_EQ(recording->callsStartingWith("RemoveRect"), std::vector<std::string>{"RemoveRect 0 7"});

  recording->startTransformAnswer = true;
  for (Qt::Key k : {Qt::Key_Delete, Qt::Key_Backspace}) {
    press(350, Qt::LeftButton);
    EXPECT_EQ(controller->controlBorderView->selectedRectId(), 8);
    recording->clearCalls();
    key(k);
    EXPECT_EQ(recording->callsStartingWith("RemoveRect"),
              std::vector<std::string>{"RemoveRect 1 8"});
    EXPECT_TRUE(recording->callsStartingWith("SetTransformingRect").empty())
        << "a tracked box is not moved";
    EXPECT_EQ(controller->controlBorderView->selectedRectId(), -1);
  }
}

}  // namespace

