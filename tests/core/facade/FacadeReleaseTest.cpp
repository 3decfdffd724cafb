// Releasing the facade with the real vision library while its person detector is in the middle
// of a pass: the call returns only once the detector's worker has ended, so everything may be
// destroyed, and the process may exit, right after it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "ISelvoServiceManage.h"
#include "dispatch/MainQueue.h"
#include "selvo/PersonDetector.h"
#include "selvo/SelvoFactory.h"
#include "video/PixelBuffer.h"

using namespace orlith;
using platform::MainQueue;
using platform::PixelBuffer;
using platform::PixelFormat;
using namespace std::chrono_literals;

namespace {

constexpr int kW = 3840;
constexpr int kH = 1080;

// Threads of this process carrying the detector worker's name.
int detectorThreads() {
  int n = 0;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream comm(task.path() / "comm");
    std::string name;
    std::getline(comm, name);
    n += name == selvo::PersonDetector::kWorkerName;
  }
  return n;
}

platform::PixelBufferRef texturedFrame() {
  auto frame = PixelBuffer::create(kW, kH, PixelFormat::NV12FullRange);
  frame->lock();
  uint8_t* luma = frame->baseAddress(0);
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) luma[size_t(y) * frame->bytesPerRow(0) + x] = uint8_t(x ^ y);
  }
  frame->unlock();
  return frame;
}

// A facade with the library's own objects, detecting on every frame; one frame handed in and
// processed, so the detector's worker has a pass to run when this returns.
std::shared_ptr<ISelvoServiceManage> detectingFacade() {
  auto facade = std::make_shared<ISelvoServiceManage>();
  facade->initManager();
  facade->setup({double(kW), double(kH)}, {1280, 720}, {1280, 360}, {double(kW), double(kH)}, 1,
                "/tmp/face");
  facade->enableAutoDetect(1, 0);
  bool done = false;
  facade->imageProcessWithPixelBuffer(texturedFrame(), [&] { done = true; });
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (!done && std::chrono::steady_clock::now() < deadline) {
    MainQueue::shared().drain();
    std::this_thread::yield();
  }
  EXPECT_TRUE(done);
  return facade;
}

struct FacadeRelease : ::testing::Test {
  std::string folder;
  void SetUp() override {
    folder = selvo::GetSelvoResourceFolder();
    selvo::SetSelvoResourceFolder((std::string(CORVANE_ASSETS_DIR) + "/models").c_str());
  }
  void TearDown() override { selvo::SetSelvoResourceFolder(folder.c_str()); }
};

}  // namespace

TEST_F(FacadeRelease, ReturnsOnlyOnceTheDetectorWorkerHasEnded) {
  for (int round = 0; round < 10; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    auto facade = detectingFacade();
    ASSERT_EQ(detectorThreads(), 1);
    facade->releaseSelvoInst();
    EXPECT_EQ(detectorThreads(), 0);
    facade.reset();
    MainQueue::shared().drain();
  }
}

TEST_F(FacadeRelease, TheProcessMayExitRightAfterIt) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    EXPECT_EXIT(
        {
          auto facade = detectingFacade();
          facade->releaseSelvoInst();
          facade.reset();
          std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
  }
}

TEST_F(FacadeRelease, ASecondSetUpEndsTheFirstPassBeforeItReturns) {
  auto facade = detectingFacade();
  ASSERT_EQ(detectorThreads(), 1);
  // Set up anew while the pass of the first picture runs: one worker, for the new picture.
  facade->setup({double(kW), double(kH)}, {1280, 720}, {1280, 360}, {double(kW), double(kH)}, 1,
                "/tmp/face");
  EXPECT_EQ(detectorThreads(), 1);
  facade->releaseSelvoInst();
  EXPECT_EQ(detectorThreads(), 0);
}
