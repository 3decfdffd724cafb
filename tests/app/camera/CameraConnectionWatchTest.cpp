#include <atomic>
#include <memory>

#include "CameraManagerFixture.h"

using corvane::ConnectMode;
using namespace std::chrono_literals;

TEST_F(CameraManagerTest, FramesInTimeKeepTheCameraAndCountTheRates) {
  plugCamera();
  makeManager();
  connect();
  for (size_t i = 1; i <= 6; ++i) {
    deliverFrame(i);
    advance(1s);
  }
  EXPECT_EQ(manager->connectMode->value(), ConnectMode::connected);
  EXPECT_EQ(manager->retryCount(), 0);
  EXPECT_EQ(manager->FPS->value(), 1);
  EXPECT_EQ(manager->selvoFPS->value(), 1);
  EXPECT_EQ(usbCamera->openCount(), 1);
}

TEST_F(CameraManagerTest, TheFrameRateShownCountsOnlyTheFramesTheRendererDrew) {
  plugCamera();
  auto dropped = std::make_shared<std::atomic<int64_t>>(0);
  auto env = environment();
  env.framesDropped = [dropped] { return dropped->load(); };
  manager = std::make_unique<corvane::CameraManager>(std::move(env));
  connect();
  for (size_t i = 1; i <= 3; ++i) deliverFrame(i);
  *dropped = 2;  // two of the three gave way to newer ones before their pass
  advance(1s);
  EXPECT_EQ(manager->FPS->value(), 1);
  EXPECT_EQ(manager->selvoFPS->value(), 3);
  deliverFrame(4);
  advance(1s);
  EXPECT_EQ(manager->FPS->value(), 1);  // a drop counts in its own second only
}

TEST_F(CameraManagerTest, StalledCameraIsReopenedOnceThenStopped) {
  plugCamera();
  makeManager();
  connect();
  advance(3s);
  // A gap of exactly three seconds is still in time.
  EXPECT_EQ(manager->retryCount(), 0);
  EXPECT_EQ(usbCamera->openCount(), 1);
  advance(1s);
  // Reopened at once, without passing through searching.
  EXPECT_EQ(usbCamera->openCount(), 2);
  EXPECT_EQ(manager->retryCount(), 1);
  EXPECT_EQ(manager->connectMode->value(), ConnectMode::connected);
  EXPECT_TRUE(manager->isCapturing());
  EXPECT_EQ(v4l2.openCount(), 1);  // the old session was closed before the new one opened
  // Still no frames: the second stall stops the camera instead of reopening it again.
  for (int i = 0; i < 10; ++i) advance(1s);
  EXPECT_EQ(manager->connectMode->value(), ConnectMode::disconnected);
  EXPECT_EQ(usbCamera->openCount(), 2);
  EXPECT_FALSE(manager->isCapturing());
  EXPECT_EQ(v4l2.openCount(), 0);
}

TEST_F(CameraManagerTest, ReopenedCameraThatSendsFramesMayBeReopenedAgainLater) {
  plugCamera();
  makeManager();
  connect();
  advance(4s);
  ASSERT_EQ(usbCamera->openCount(), 2);
  deliverFrame(1);
  advance(1s);
  EXPECT_EQ(manager->retryCount(), 0);
  advance(4s);
  EXPECT_EQ(usbCamera->openCount(), 3);
  EXPECT_EQ(manager->connectMode->value(), ConnectMode::connected);
}

// The gaps between frames are measured on the monotonic clock: a wall clock moved on a day
// (the system time changed, the monotonic clock untouched) makes no stall of a camera that
// sends its frames, and one put back an hour hides no stall of a camera that stopped.
TEST_F(CameraManagerTest, AChangeOfTheWallClockNeitherMakesNorHidesAStall) {
  plugCamera();
  makeManager();
  connect();
  for (size_t i = 1; i <= 4; ++i) {
    deliverFrame(i);
    clock.setWallTime(clock.wallNow() + std::chrono::hours(24));
    advance(1s);
  }
  EXPECT_EQ(manager->retryCount(), 0);
  EXPECT_EQ(usbCamera->openCount(), 1) << "a healthy camera reopened";
  EXPECT_LT(manager->delayTimeOfLastFrame(), 1500.0);

  clock.setWallTime(clock.wallNow() - std::chrono::hours(1));
  for (int i = 0; i < 3; ++i) advance(1s);  // four seconds since the last frame
  EXPECT_EQ(usbCamera->openCount(), 2) << "the stall went unseen";
  EXPECT_EQ(manager->retryCount(), 1);
}

TEST_F(CameraManagerTest, UnplugWhileStreamingEndsDisconnected) {
  plugCamera();
  makeManager();
  connect();
  deliverFrame(1);
  usbCamera->unplug();
  v4l2.unplug();
  for (int i = 0; i < 6; ++i) advance(1s);
  EXPECT_EQ(manager->connectMode->value(), ConnectMode::disconnected);
  EXPECT_FALSE(manager->isCapturing());
}

TEST_F(CameraManagerTest, LargestGapOnlyGrows) {
  plugCamera();
  makeManager();
  connect();
  advance(2s);
  double largest = manager->delayTimeOfLastFrame();
  EXPECT_NEAR(largest, 2000.0, 1.0);
  deliverFrame(1);
  advance(1s);
  EXPECT_EQ(manager->delayTimeOfLastFrame(), largest);
}

TEST_F(CameraManagerTest, CorruptFrameIsDroppedAndTheNextOneArrives) {
  plugCamera();
  makeManager();
  connect();
  std::vector<uint8_t> corrupt = testsupport::mjpegFrame(1, 3840, 1080);
  corrupt.resize(corrupt.size() / 3);
  std::fill(corrupt.begin() + 200, corrupt.end(), 0x5a);
  v4l2.pushFrame(corrupt);
  deliverFrame(1);
  EXPECT_EQ(facades->last()->framesOffered(), 1u);
  EXPECT_EQ(manager->connectMode->value(), ConnectMode::connected);
}

TEST_F(CameraManagerTest, MenuItemsFollowTheConnectionState) {
  plugCamera();
  makeManager();
  connect();
  int before = menuUpdates;
  manager->stopConnection();
  settle();
  EXPECT_GT(menuUpdates, before);
}
