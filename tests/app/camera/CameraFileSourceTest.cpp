#include <QStringList>

#include "CameraManagerFixture.h"
#include "camera/PlayerManager.h"

using corvane::CameraFormat;
using corvane::ConnectMode;
using namespace std::chrono_literals;

class CameraFileSourceTest : public CameraManagerTest {
 protected:
  void SetUp() override {
    CameraManagerTest::SetUp();
    player = std::make_unique<corvane::PlayerManager>(clock);
    player->mode->setValue(corvane::PlayerMode::image);
    plugCamera();
    auto env = environment();
    env.player = player.get();
    env.giveBackMemory = [this] { ++givenBack; };
    manager = std::make_unique<corvane::CameraManager>(env);
  }
  void TearDown() override {
    player->pause();
    settle();
    manager.reset();
    player->pushImageQueue().drain();
    player.reset();
    CameraManagerTest::TearDown();
  }
  // The picture player pushes ten frames a second from its own queue.
  void play(std::chrono::milliseconds by) {
    clock.advance(by);
    player->pushImageQueue().drain();
    settle();
  }
  // Frames of the picture played, each one analysed.
  void analyse(int frames) {
    for (int i = 0; i < frames; ++i) {
      play(100ms);
      facades->last()->completeFrames();
      settle();
    }
  }
  std::unique_ptr<corvane::PlayerManager> player;
  int givenBack = 0;  // the times freed memory was handed back to the system
};

TEST_F(CameraFileSourceTest, PictureBecomesTheSourceWithItsOwnControlSize) {
  // No camera was prepared since start: the control size comes from the picture.
  player->loadImages({QString::fromStdString(testsupport::photoPath(1))});
  settle();
  ASSERT_EQ(manager->connectMode->value(), ConnectMode::connected);
  QSizeF size = player->frameSize();
  ASSERT_GT(size.width(), 0);
  auto facade = facades->last();
  auto setups = facade->callsStartingWith("setup");
  ASSERT_EQ(setups.size(), 1u);
  double controlH = std::trunc(1280.0 / size.width() * size.height());
  if (std::fmod(controlH, 2.0) != 0) controlH += 1;
  char expected[128];
  std::snprintf(expected, sizeof expected,
                "setup %gx%g dst 1280x720 control 1280x%g process %gx%g normal", size.width(),
                size.height(), controlH, size.width(), size.height());
  EXPECT_EQ(setups[0].rfind(expected, 0), 0u) << setups[0];
  EXPECT_EQ(manager->cameraFormat(),
            (CameraFormat{uint16_t(size.width()), uint16_t(size.height()), 0, 0, false}));
  EXPECT_TRUE(manager->firstFrame());

  play(300ms);
  EXPECT_GE(facade->framesOffered(), 1u);
  facade->completeFrames();
  settle();
  EXPECT_FALSE(manager->firstFrame());
}

TEST_F(CameraFileSourceTest, BackToTheCameraOnAFreshFacade) {
  connect();
  player->loadImages({QString::fromStdString(testsupport::photoPath(2))});
  settle();
  ASSERT_EQ(manager->connectMode->value(), ConnectMode::connected);
  EXPECT_FALSE(manager->isCapturing());  // the camera was stopped
  auto fileFacade = facades->last();
  ASSERT_EQ(fileFacade->callsStartingWith("setup").size(), 1u);

  player->setupComplete->setValue(false);
  settle();
  advance(2s);
  EXPECT_EQ(manager->connectMode->value(), ConnectMode::connected);
  EXPECT_TRUE(manager->isCapturing());
  EXPECT_EQ(fileFacade->calls().back(), "releaseSelvoInst");
  auto cameraFacade = facades->last();
  ASSERT_NE(cameraFacade, fileFacade);
  auto setups = cameraFacade->callsStartingWith("setup");
  ASSERT_EQ(setups.size(), 1u);
  EXPECT_EQ(setups[0].rfind("setup 3840x1080", 0), 0u);
}

// What the renderer and the analysis held of the old source's size is freed only once the next
// source's frames have replaced it: freed memory goes back then, once for the change, and no
// frame after costs anything.
TEST_F(CameraFileSourceTest, FreedMemoryGoesBackOnceTheNextSourceSettled) {
  constexpr int settled = corvane::CameraManager::kFramesUntilSourceSettled;
  player->loadImages({QString::fromStdString(testsupport::photoPath(1))});
  settle();
  analyse(settled + 5);

  // Pictures, then a video asked for (the camera stands in meanwhile), then other pictures.
  givenBack = 0;
  player->setMode(corvane::PlayerMode::video);
  settle();
  advance(2s);
  player->setMode(corvane::PlayerMode::image);
  player->loadImages({QString::fromStdString(testsupport::photoPath(2))});
  settle();
  ASSERT_EQ(manager->connectMode->value(), ConnectMode::connected);
  const int atChange = givenBack;
  EXPECT_GE(atChange, 1) << "the analysis that went is given back at once";

  analyse(settled - 1);
  EXPECT_EQ(givenBack, atChange) << "the old source's pictures may still be drawn";
  analyse(1);
  EXPECT_EQ(givenBack, atChange + 1) << "given back once the new source settled";
  analyse(2 * settled);
  EXPECT_EQ(givenBack, atChange + 1) << "once for the change, not per frame";
}

// The diagnostics window's frame rates count a file's frames as they count the camera's: the
// pictures are pushed ten times a second and each one the facade completes is an analysed frame.
TEST_F(CameraFileSourceTest, FrameRatesAreCountedWhileAFilePlays) {
  player->loadImages({QString::fromStdString(testsupport::photoPath(1))});
  settle();
  ASSERT_EQ(manager->connectMode->value(), ConnectMode::connected);
  auto facade = facades->last();
  for (int i = 0; i < 10; ++i) {
    play(100ms);
    facade->completeFrames();
    settle();
  }
  EXPECT_GE(manager->FPS->value(), 8);
  EXPECT_LE(manager->FPS->value(), 11);
  EXPECT_GE(manager->selvoFPS->value(), 8);
  EXPECT_LE(manager->selvoFPS->value(), manager->FPS->value());

  // Paused: the next second shows no frames.
  player->pause();
  play(1s);
  EXPECT_EQ(manager->FPS->value(), 0);
}

// The program's end releases the analysis while the process's statics still exist: the facade's
// workers end there, and nothing makes a new facade afterwards (frames still arriving, a late
// connection run).
TEST_F(CameraFileSourceTest, TheProgramsEndReleasesTheAnalysisForGood) {
  player->loadImages({QString::fromStdString(testsupport::photoPath(1))});
  settle();
  play(300ms);
  auto facade = facades->last();
  ASSERT_GE(facade->framesOffered(), 1u);
  facade->completeFrames();
  settle();
  auto count = [this] {
    std::lock_guard lock(facades->mutex);
    return facades->made.size();
  };
  const size_t made = count();

  // The file stops on the way out: the camera search it starts ends without a word.
  player->setupComplete->setValue(false);
  manager->releaseAnalysis();
  settle();
  EXPECT_NE(manager->connectMode->value(), ConnectMode::connecting);
  EXPECT_EQ(facade->calls().back(), "releaseSelvoInst");
  EXPECT_EQ(manager->manager(), nullptr);
  play(300ms);
  manager->startConnection();
  settle();
  EXPECT_EQ(manager->manager(), nullptr);
  EXPECT_EQ(count(), made);
  EXPECT_FALSE(manager->isCapturing());
}
