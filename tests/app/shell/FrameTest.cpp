#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTest>
#include <fstream>

#include "RecordingMainController.h"
#include "ManualClock.h"
#include "ShellFixture.h"
#include "TempDir.h"
#include "camera/PlayerManager.h"
#include "i18n/Localized.h"
#include "shell/ConnectController.h"
#include "shell/CustomWindow.h"
#include "shell/MiniaturizeRule.h"
#include "widgets/CustomButton.h"
#include "widgets/CustomView.h"
#include "widgets/DisplayCell.h"
#include "widgets/NamedColors.h"

namespace shelltest {
namespace {

using corvane::ConnectMode;
using corvane::CustomWindow;
using corvane::MiniaturizeRule;

TEST(ConnectView, PanesFollowTheConnectionStateAndRetrySearches) {
  auto mode = corvane::Observable<ConnectMode>::make(ConnectMode::disconnected);
  int searches = 0;
  corvane::ConnectController view(mode, [&] {
    ++searches;
    mode->setValue(ConnectMode::searching);
  });
  view.resize(800, 450);
  view.show();
  // Applied at once to the current value.
  EXPECT_FALSE(view.cannotFindView->isHidden());
  EXPECT_TRUE(view.messageView->isHidden());
  EXPECT_EQ(view.cantFindCameraLabel->text().toStdString(),
            corvane::localized("error_msg_not_find"));
  EXPECT_EQ(view.tryAgainButton->text().toStdString(), corvane::localized("button_retry_name"));
  EXPECT_EQ(view.tryAgainBgView->layerBorderColor(), corvane::NamedColors::color("tintColor"));

  QTest::mouseClick(view.tryAgainButton, Qt::LeftButton);
  EXPECT_EQ(searches, 1);
  platform::MainQueue::shared().drain();
  EXPECT_TRUE(view.cannotFindView->isHidden());
  EXPECT_FALSE(view.messageView->isHidden());
  EXPECT_EQ(view.messageLabel->text().toStdString(), corvane::localized("msg_searching"));

  mode->setValue(ConnectMode::connecting);
  platform::MainQueue::shared().drain();
  EXPECT_EQ(view.messageLabel->text().toStdString(), corvane::localized("connect_msg"));
  mode->setValue(ConnectMode::connected);  // the main window hides the view itself
  platform::MainQueue::shared().drain();
  EXPECT_FALSE(view.messageView->isHidden());
  EXPECT_EQ(view.messageLabel->text().toStdString(), corvane::localized("connect_msg"));
  mode->setValue(ConnectMode::disconnected);
  platform::MainQueue::shared().drain();
  EXPECT_FALSE(view.cannotFindView->isHidden());
  EXPECT_TRUE(view.messageView->isHidden());
}

TEST(ConnectView, AFoundCameraThatCouldNotStartShowsTheReason) {
  auto mode = corvane::Observable<ConnectMode>::make(ConnectMode::searching);
  auto error = corvane::Observable<std::string>::make("");
  corvane::ConnectController view(
      mode, [] {}, nullptr, error);
  error->setValue("error_msg_camera_busy");
  mode->setValue(ConnectMode::disconnected);
  platform::MainQueue::shared().drain();
  EXPECT_FALSE(view.cannotFindView->isHidden());
  EXPECT_EQ(view.cantFindCameraLabel->text().toStdString(),
            corvane::localized("error_msg_camera_busy"));

  // The next search that finds no camera at all says so again.
  mode->setValue(ConnectMode::searching);
  error->setValue("");
  mode->setValue(ConnectMode::disconnected);
  platform::MainQueue::shared().drain();
  EXPECT_EQ(view.cantFindCameraLabel->text().toStdString(),
            corvane::localized("error_msg_not_find"));
}

// A clip named on the command line that cannot be played: the pane names it and says why,
// not that no camera was found, until a picture shows.
TEST(ConnectView, AClipThatWasNotPlayedIsNamedWithItsReason) {
  auto mode = corvane::Observable<ConnectMode>::make(ConnectMode::searching);
  testsupport::ManualClock clock;
  corvane::PlayerManager player(clock);
  corvane::ConnectController view(
      mode, [&] { mode->setValue(ConnectMode::searching); }, nullptr, nullptr, player.refusal);
  testsupport::TempDir dir;
  std::ofstream(dir.file("empty.mp4")).flush();
  player.loadVideo(QString::fromStdString(dir.file("empty.mp4")));
  player.videoOutputQueue().drain();
  platform::MainQueue::shared().drain();
  mode->setValue(ConnectMode::disconnected);
  platform::MainQueue::shared().drain();
  EXPECT_FALSE(view.cannotFindView->isHidden());
  const QString refused = view.cantFindCameraLabel->text();
  EXPECT_EQ(refused.toStdString(),
            "empty.mp4 could not be played: cannot read the file (Invalid data found when "
            "processing input)");

  // A search again finds no camera: the clip is still what the user asked for.
  QTest::mouseClick(view.tryAgainButton, Qt::LeftButton);
  mode->setValue(ConnectMode::disconnected);
  platform::MainQueue::shared().drain();
  EXPECT_EQ(view.cantFindCameraLabel->text(), refused);

  // Once a picture showed, a later loss of it is the camera's.
  mode->setValue(ConnectMode::connected);
  mode->setValue(ConnectMode::disconnected);
  platform::MainQueue::shared().drain();
  EXPECT_EQ(view.cantFindCameraLabel->text().toStdString(),
            corvane::localized("error_msg_not_find"));
  // A clip refused while a picture shows is the player window's to tell.
  mode->setValue(ConnectMode::connected);
  platform::MainQueue::shared().drain();
  player.loadVideo(QString::fromStdString(dir.file("missing.mp4")));
  player.videoOutputQueue().drain();
  platform::MainQueue::shared().drain();
  mode->setValue(ConnectMode::disconnected);
  platform::MainQueue::shared().drain();
  EXPECT_EQ(view.cantFindCameraLabel->text().toStdString(),
            corvane::localized("error_msg_not_find"));
  player.close();
}

// Under a refused clip, Try Again asks for the clip again, not for a camera: a clip still
// refused is named again with its reason, one that opens keeps the progress until it shows.
TEST(ConnectView, TryAgainUnderARefusedClipAsksForTheClip) {
  auto mode = corvane::Observable<ConnectMode>::make(ConnectMode::disconnected);
  testsupport::ManualClock clock;
  corvane::PlayerManager player(clock);
  int searches = 0;
  std::vector<std::string> retried;
  corvane::ConnectController view(
      mode, [&] { ++searches; }, nullptr, nullptr, player.refusal,
      [&](const std::string& clip) {
        retried.push_back(clip);
        player.loadVideo(QString::fromStdString(clip));
      });
  testsupport::TempDir dir;
  std::ofstream(dir.file("empty.mp4")).flush();
  auto settle = [&] {
    player.videoOutputQueue().drain();
    platform::MainQueue::shared().drain();
  };
  player.loadVideo(QString::fromStdString(dir.file("empty.mp4")));
  settle();
  const QString refused = view.cantFindCameraLabel->text();
  ASSERT_TRUE(refused.startsWith("empty.mp4"));

  QTest::mouseClick(view.tryAgainButton, Qt::LeftButton);
  EXPECT_EQ(searches, 0);
  EXPECT_EQ(retried, std::vector<std::string>{dir.file("empty.mp4")});
  EXPECT_TRUE(view.cannotFindView->isHidden());
  EXPECT_EQ(view.messageLabel->text().toStdString(), corvane::localized("connect_msg"));
  settle();
  EXPECT_FALSE(view.cannotFindView->isHidden());
  EXPECT_EQ(view.cantFindCameraLabel->text(), refused);

  // Without a refused clip the retry searches for a camera.
  mode->setValue(ConnectMode::connected);
  mode->setValue(ConnectMode::disconnected);
  platform::MainQueue::shared().drain();
  QTest::mouseClick(view.tryAgainButton, Qt::LeftButton);
  EXPECT_EQ(searches, 1);
  EXPECT_EQ(retried.size(), 1u);
  player.close();
}

TEST(ConnectView, RetryButtonFillsWhileThePointerIsOnIt) {
  auto mode = corvane::Observable<ConnectMode>::make(ConnectMode::disconnected);
  corvane::ConnectController view(mode, [] {});
  const QColor tint = corvane::NamedColors::color("tintColor");
  EXPECT_TRUE(corvane::NamedColors::isClear(view.tryAgainBackground()));
  EXPECT_EQ(view.tryAgainTitleColor(), tint);
  QEvent enter(QEvent::Enter);
  QCoreApplication::sendEvent(view.tryAgainButton, &enter);
  EXPECT_EQ(view.tryAgainBackground(), tint);
  EXPECT_EQ(view.tryAgainTitleColor(), QColor(Qt::white));
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(view.tryAgainButton, &leave);
  EXPECT_TRUE(corvane::NamedColors::isClear(view.tryAgainBackground()));
  EXPECT_EQ(view.tryAgainTitleColor(), tint);
}

TEST(ConnectView, AViewGoneBeforeTheStateChangesIsLeftAlone) {
  auto mode = corvane::Observable<ConnectMode>::make(ConnectMode::searching);
  {
    corvane::ConnectController view(mode, [] {});
  }
  mode->setValue(ConnectMode::disconnected);
  EXPECT_NO_FATAL_FAILURE(platform::MainQueue::shared().drain());
}

TEST(MiniaturizeRule, AsksThePopupsOnlyInTheFullLayoutWithALiveCamera) {
  using Step = MiniaturizeRule::Step;
  for (ConnectMode mode : {ConnectMode::searching, ConnectMode::connecting, ConnectMode::connected,
                           ConnectMode::disconnected}) {
    EXPECT_EQ(MiniaturizeRule::decide(false, false, mode), Step::ignore);
    EXPECT_EQ(MiniaturizeRule::decide(true, true, mode), Step::miniaturize);
    EXPECT_EQ(MiniaturizeRule::decide(true, false, mode),
              mode == ConnectMode::connected ? Step::askPopups : Step::miniaturize);
  }
}

class Frame : public ::testing::Test {
 protected:
  ConnectMode mode = ConnectMode::connected;
  CustomWindow window{[this] { return mode; }};
  RecordingMainController* main = new RecordingMainController();

  Frame() {
    window.setMainContent(main);
    window.setCustomWindowDelegate(main, main);
    window.resize(1280, 720);
    window.show();
  }
  bool minimized() const { return window.windowState() & Qt::WindowMinimized; }
};

TEST_F(Frame, APopupThatWillNotCloseKeepsTheWindowOnScreen) {
  main->popupsClose = false;
  EXPECT_FALSE(window.miniaturize());
  EXPECT_FALSE(minimized());
  EXPECT_EQ(main->popupCloses, 1);
  // The window manager's own minimise is undone the same way.
  window.setWindowState(window.windowState() | Qt::WindowMinimized);
  EXPECT_FALSE(minimized());
  EXPECT_EQ(main->popupCloses, 2);

  main->popupsClose = true;
  EXPECT_TRUE(window.miniaturize());
  EXPECT_TRUE(minimized());
  window.setWindowState(Qt::WindowNoState);

  main->popupsClose = false;
  mode = ConnectMode::disconnected;  // nothing to close without a picture
  EXPECT_TRUE(window.miniaturize());
  EXPECT_EQ(main->popupCloses, 3);
  window.setWindowState(Qt::WindowNoState);
  mode = ConnectMode::connected;
  main->simple = true;
  EXPECT_TRUE(window.miniaturize());
  EXPECT_EQ(main->popupCloses, 3);
}

TEST_F(Frame, TheControllerHearsOfRealMinimisesAndOfTheWayBack) {
  // A refused minimise is no minimise, and its undoing no return.
  main->popupsClose = false;
  window.setWindowState(window.windowState() | Qt::WindowMinimized);
  EXPECT_FALSE(minimized());
  EXPECT_FALSE(window.miniaturize());
  EXPECT_EQ(main->miniaturized, 0);
  EXPECT_EQ(main->deminiaturized, 0);
  // The window manager's, from the simple layout, and its restore.
  main->simple = true;
  window.setWindowState(window.windowState() | Qt::WindowMinimized);
  EXPECT_TRUE(minimized());
  EXPECT_EQ(main->miniaturized, 1);
  EXPECT_EQ(main->deminiaturized, 0);
  window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
  EXPECT_EQ(main->deminiaturized, 1);
  // The program's own.
  EXPECT_TRUE(window.miniaturize());
  EXPECT_EQ(main->miniaturized, 2);
  window.showNormal();
  EXPECT_EQ(main->deminiaturized, 2);
}

TEST_F(Frame, WithoutAControllerNothingIsMinimised) {
  delete main;
  EXPECT_EQ(window.customWindowDelegate(), nullptr);
  EXPECT_FALSE(window.miniaturize());
  window.setWindowState(window.windowState() | Qt::WindowMinimized);
  EXPECT_FALSE(minimized());
  QTest::keyClick(&window, Qt::Key_Left);  // ignored, nothing to hand it to
  window.toggleFullScreen();
  EXPECT_TRUE(window.windowState() & Qt::WindowFullScreen);
}

TEST_F(Frame, ContentIsClippedToRoundedCornersOutsideFullScreen) {
  QWidget* frame = window.contentFrame();
  ASSERT_FALSE(frame->mask().isEmpty());
  EXPECT_FALSE(frame->mask().contains(QPoint(1, 1)));
  EXPECT_FALSE(frame->mask().contains(QPoint(frame->width() - 2, frame->height() - 2)));
  EXPECT_TRUE(frame->mask().contains(QPoint(20, 20)));
  EXPECT_TRUE(frame->mask().contains(QPoint(frame->width() / 2, 0)));
  window.toggleFullScreen();
  EXPECT_TRUE(frame->mask().isEmpty());
  window.toggleFullScreen();
  EXPECT_FALSE(frame->mask().contains(QPoint(1, 1)));
}

TEST_F(Frame, FullScreenTwiceComesBack) {
  window.toggleFullScreen();
  EXPECT_TRUE(main->fullScreen);
  EXPECT_TRUE(window.windowState() & Qt::WindowFullScreen);
  window.toggleFullScreen();
  EXPECT_FALSE(main->fullScreen);
  EXPECT_FALSE(window.windowState() & Qt::WindowFullScreen);
  // The desktop's full-screen keys take the same way, and the key does not reach the controller.
  auto* keys = window.findChild<QAction*>("toggleFullScreen");
  ASSERT_TRUE(keys);
  EXPECT_EQ(keys->shortcut(), QKeySequence(QKeySequence::FullScreen));
  keys->trigger();
  EXPECT_TRUE(main->fullScreen);
  EXPECT_TRUE(main->keys.empty());
}

TEST_F(Frame, MaximiseIsTheControllersZoom) {
  window.zoom();
  EXPECT_EQ(main->zooms, 1);
  window.setWindowState(window.windowState() | Qt::WindowMaximized);
  EXPECT_EQ(main->zooms, 2);
  EXPECT_FALSE(window.windowState() & Qt::WindowMaximized);
}

TEST_F(Frame, TheZoomFillsTheScreensAreaAndTheNextOneComesBack) {
  QRect area = window.screen()->availableGeometry();
  window.setGeometry(QRect(area.topLeft() + QPoint(30, 20), QSize(640, 400)));
  const QRect before = window.frameGeometry();
  window.zoomFrame();
  EXPECT_EQ(window.frameGeometry(), area);
  EXPECT_EQ(window.minimumSize(), QSize(640, 360));
  window.zoomFrame();
  EXPECT_EQ(window.frameGeometry(), before);
  // The window manager's maximise takes the same way when the controller asks for it.
  main->zoomFrames = true;
  window.setWindowState(window.windowState() | Qt::WindowMaximized);
  EXPECT_FALSE(window.windowState() & Qt::WindowMaximized);
  EXPECT_EQ(window.frameGeometry(), area);
  window.setWindowState(window.windowState() | Qt::WindowMaximized);
  EXPECT_EQ(window.frameGeometry(), before);
}

// Where the window system sizes a maximised window itself (a Wayland compositor, which ends
// the connection of a client that answers its maximise with another size), its maximise and its
// restore stand, and the program's zoom asks it for them instead of placing a frame.
TEST_F(Frame, WhereThePlatformMaximisesItselfItsMaximiseStands) {
  window.setWindowSystem(platform::WindowSystem::of("wayland"));
  main->zoomFrames = true;
  const QSize before = window.size();
  for (int round = 0; round < 3; ++round) {
    window.setWindowState(window.windowState() | Qt::WindowMaximized);
    EXPECT_TRUE(window.windowState() & Qt::WindowMaximized) << round;
    EXPECT_EQ(main->zooms, 0);
    EXPECT_EQ(window.maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    window.setWindowState(window.windowState() & ~Qt::WindowMaximized);
    EXPECT_FALSE(window.windowState() & Qt::WindowMaximized);
  }
  EXPECT_EQ(window.size(), before);
  // The program's own zoom (its keys, its menu) toggles the platform's maximise.
  window.zoomFrame();
  EXPECT_TRUE(window.windowState() & Qt::WindowMaximized);
  EXPECT_EQ(main->zooms, 0);
  window.zoomFrame();
  EXPECT_FALSE(window.windowState() & Qt::WindowMaximized);
}

TEST_F(Frame, EveryKeyNoChildTakesGoesToTheController) {
  for (Qt::Key key : {Qt::Key_Left, Qt::Key_Up, Qt::Key_Delete, Qt::Key_A, Qt::Key_Escape})
    QTest::keyClick(&window, key);
  EXPECT_EQ(main->keys, (std::vector<int>{Qt::Key_Left, Qt::Key_Up, Qt::Key_Delete, Qt::Key_A,
                                          Qt::Key_Escape}));
  QKeyEvent press(QEvent::KeyPress, Qt::Key_F5, Qt::NoModifier);
  press.ignore();
  QCoreApplication::sendEvent(&window, &press);
  EXPECT_TRUE(press.isAccepted());

  // A text field keeps the letters typed into it.
  auto* field = new QLineEdit(main);
  field->show();
  field->setFocus();
  main->keys.clear();
  QTest::keyClicks(field, "ab");
  EXPECT_EQ(field->text(), "ab");
  EXPECT_TRUE(main->keys.empty());
}

TEST(DisplayCell, IsOneButtonFillingTheCell) {
  corvane::DisplayCell cell;
  cell.resize(120, 40);
  cell.show();
  ASSERT_NE(cell.displayButton, nullptr);
  EXPECT_EQ(cell.findChildren<QAbstractButton*>().size(), 1);
  EXPECT_EQ(cell.displayButton->geometry(), cell.rect());
  int clicks = 0;
  QObject::connect(cell.displayButton, &QAbstractButton::clicked, [&clicks] { ++clicks; });
  QTest::mouseClick(cell.displayButton, Qt::LeftButton);
  EXPECT_EQ(clicks, 1);
}

}  // namespace
}  // namespace shelltest
