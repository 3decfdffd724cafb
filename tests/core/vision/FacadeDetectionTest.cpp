// The analysis facade with the real vision library on a composed panorama: what the detector
// finds must reach the rectangle manager whichever way the detection was asked for.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "ISelvoServiceManage.h"
#include "OrlithLog.h"
#include "TestPanorama.h"
#include "dispatch/MainQueue.h"
#include "selvo/SelvoFactory.h"

using namespace orlith;
using namespace visiontest;
using namespace std::chrono_literals;

namespace {

platform::PixelBufferRef ToFrame(const Panorama& p) {
  auto frame =
      platform::PixelBuffer::create(p.width, p.height, platform::PixelFormat::NV12FullRange);
  for (int y = 0; y < p.height; ++y) {
    std::memcpy(frame->baseAddress(0) + size_t(y) * frame->bytesPerRow(0), p.luma.ptr(y),
                size_t(p.width));
  }
  for (int y = 0; y < frame->planeHeight(1); ++y) {
    std::memset(frame->baseAddress(1) + size_t(y) * frame->bytesPerRow(1), 128, size_t(p.width));
  }
  return frame;
}

class FacadeDetection : public ::testing::Test {
 protected:
  void SetUp() override {
    selvo::SetSelvoResourceFolder((std::string(CORVANE_ASSETS_DIR) + "/models").c_str());
    facade->initManager();
    facade->setup({3840, 1080}, {1280, 720}, {1280, 360}, {3840, 1080}, 0, "");
    frame = ToFrame(
        Compose(3840, 1080, false, {{"sample2.jpg", 150, 1.0f}, {"sample3.jpg", 2000, 1.0f}}));
  }
  void TearDown() override {
    facade.reset();
    platform::MainQueue::shared().drain();
  }
  // Hands frames in until `found` says so, or a bounded number of frames has passed (the
  // detector works behind a mailbox, so its result arrives some frames later).
  template <typename Found>
  bool FeedUntil(Found found) {
    auto deadline = std::chrono::steady_clock::now() + 180s;
    while (std::chrono::steady_clock::now() < deadline) {
      int done = 0;
      facade->imageProcessWithPixelBuffer(frame, [&] { ++done; });
      while (done == 0) {
        platform::MainQueue::shared().drain();
        std::this_thread::yield();
      }
      if (found()) return true;
    }
    return false;
  }
  size_t Detected() {
    std::vector<SelvoRect> rects;
    facade->GetDetectRect(rects);
    return rects.size();
  }

  std::shared_ptr<ISelvoServiceManage> facade = std::make_shared<ISelvoServiceManage>();
  platform::PixelBufferRef frame;
};

}  // namespace

TEST_F(FacadeDetection, DetectOnceWithAutoDetectOffKeepsThePeopleFound) {
  ASSERT_FALSE(facade->m_enable_auto_detect());
  facade->detectOnce();
  EXPECT_TRUE(FeedUntil([&] { return Detected() > 0; }));
  size_t people = Detected();
  EXPECT_GE(people, 2u);
  // Nothing asks for another detection: the people found stay, once each.
  for (int i = 0; i < 5; ++i) FeedUntil([] { return true; });
  EXPECT_EQ(Detected(), people);
}

TEST_F(FacadeDetection, AutoDetectMergesEachResultOnce) {
  facade->enableAutoDetect(1, 0);
  EXPECT_TRUE(FeedUntil([&] { return Detected() > 0; }));
  size_t people = Detected();
  for (int i = 0; i < 5; ++i) FeedUntil([] { return true; });
  // The same people in every frame are merged into the same rectangles, not added again.
  EXPECT_EQ(Detected(), people);
}
