#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

#include "RecordingAnalysisFacade.h"
#include "camera/CameraFramePath.h"
#include "dispatch/MainQueue.h"

using corvane::CameraFramePath;
using testsupport::RecordingAnalysisFacade;

namespace {

class CameraFramePathTest : public ::testing::Test {
 protected:
  CameraFramePathTest() : path([this] { return facade; }) {
    path.setLoadLevel([this] { return level.load(); });
    path.setFramePublisher([this](const platform::PixelBufferRef&) { ++published; });
  }
  ~CameraFramePathTest() override {
    facade->completeFrames();
    platform::MainQueue::shared().drain();
  }

  // A camera frame, as the capture session hands it over (decoded only when wanted); the facade
  // finishes each one at once.
  void cameraFrame() {
    if (path.wantsFrame()) path.captureOutput(frame, 0);
    facade->completeFrames();
    platform::MainQueue::shared().drain();
  }
  size_t offered() const { return facade->framesOffered(); }

  std::shared_ptr<RecordingAnalysisFacade> facade = std::make_shared<RecordingAnalysisFacade>();
  platform::PixelBufferRef frame =
      platform::PixelBuffer::create(64, 32, platform::PixelFormat::NV12FullRange);
  std::atomic<int> level{0};
  int published = 0;
  CameraFramePath path;
};

}  // namespace

TEST_F(CameraFramePathTest, LoadLevelsThinSixOrFifteenOfThirty) {
  level = 1;
  for (int i = 0; i < 30; ++i) cameraFrame();
  EXPECT_EQ(path.dropFrameNum(), 6);
  EXPECT_EQ(published, 24);  // frames 0, 5, 10, ... skipped
  EXPECT_EQ(offered(), 24u);
  level = 2;
  for (int i = 0; i < 30; ++i) cameraFrame();
  EXPECT_EQ(published, 24 + 15);
  EXPECT_EQ(path.frameSN(), 60);
}

TEST_F(CameraFramePathTest, HighestLevelKeepsThinningAndSwitchesAccumulatedDetectionOff) {
  level = 2;
  cameraFrame();
  level = 3;
  for (int i = 0; i < 30; ++i) cameraFrame();
  EXPECT_EQ(path.dropFrameNum(), 15);
  EXPECT_EQ(facade->callsStartingWith("EnableAccumulateDetection").size(), 1u);
  EXPECT_FALSE(facade->accumulateDetection());
  level = 0;
  cameraFrame();
  cameraFrame();
  EXPECT_EQ(path.dropFrameNum(), 0);
  EXPECT_TRUE(facade->accumulateDetection());
  EXPECT_EQ(facade->callsStartingWith("EnableAccumulateDetection").size(), 2u);
}

TEST_F(CameraFramePathTest, OneFrameAtATimeAndDoneAlwaysReopensTheGate) {
  int completed = 0;
  std::vector<platform::PixelBufferRef> admitted, analysed;
  path.setAnalysisHandlers([&](const auto& f) { admitted.push_back(f); },
                           [&](const auto& f) { analysed.push_back(f); });
  path.setFrameCompletedHandler([&] { ++completed; });
  path.captureOutput(frame, 0);
  path.captureOutput(frame, 0);  // the facade is busy: counted, not analysed
  path.captureOutput(frame, 0);
  EXPECT_EQ(offered(), 1u);
  // The renderer gets every frame at once, on the delivering queue, analysed or not: the
  // preview is not held to the analysis's pace.
  EXPECT_EQ(published, 3);
  EXPECT_EQ(admitted, std::vector<platform::PixelBufferRef>{frame});
  facade->completeFrames();
  EXPECT_TRUE(analysed.empty());
  // The frame the facade finished is reported on the main queue, before its completion.
  platform::MainQueue::shared().drain();
  EXPECT_EQ(analysed, std::vector<platform::PixelBufferRef>{frame});
  EXPECT_EQ(published, 3);
  EXPECT_EQ(completed, 1);
  path.captureOutput(frame, 0);
  EXPECT_EQ(offered(), 2u);
  EXPECT_EQ(path.takeInputFPSSum(), 4.0f);
  EXPECT_EQ(path.takeOutputFPSSum(), 1.0f);
  EXPECT_EQ(path.takeInputFPSSum(), 0.0f);
  // The handler counts into this test's local: finish the frame in flight while it lives.
  facade->completeFrames();
  platform::MainQueue::shared().drain();
  EXPECT_EQ(completed, 2);
  EXPECT_EQ(admitted.size(), 2u);
  EXPECT_EQ(analysed.size(), 2u);
  path.setFrameCompletedHandler(nullptr);
  path.setAnalysisHandlers(nullptr, nullptr);
}

TEST_F(CameraFramePathTest, ResolutionChangeResetsTheFacadeBeforeTheNextFrame) {
  path.setResolutionChange(true);
  cameraFrame();
  cameraFrame();
  EXPECT_EQ(facade->callsStartingWith("reset"), std::vector<std::string>{"reset 1280x720"});
}

TEST_F(CameraFramePathTest, FileFramesAreNeitherThinnedNorNumbered) {
  level = 2;
  for (int i = 0; i < 10; ++i) {
    path.onPlayerBuffer(frame);
    facade->completeFrames();
    platform::MainQueue::shared().drain();
  }
  path.onPlayerBuffer(nullptr);
  EXPECT_EQ(published, 10);
  EXPECT_EQ(offered(), 10u);
  EXPECT_EQ(path.frameSN(), 0);
}
