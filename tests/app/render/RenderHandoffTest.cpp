// The hand-over of camera frames to the render queue: order, the newest frame winning when the
// render falls behind, the analysed frame's picture kept for the output, the slow-size note.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>

#include "HeldQueue.h"
#include "ManualClock.h"
#include "dispatch/Semaphore.h"
#include "dispatch/SerialQueue.h"
#include "render/RenderHandoff.h"

using namespace corvane;
using platform::PixelBuffer;
using platform::PixelBufferRef;
using platform::PixelFormat;

namespace {

using testsupport::HeldQueue;

PixelBufferRef frame() { return PixelBuffer::create(64, 32, PixelFormat::NV12FullRange); }

// A stand-in for the effect pass: each frame becomes a texture of its own.
struct Passes {
  explicit Passes(MetalManager& manager) {
    manager.registerSubscriber("EffectView", [&manager] {
      manager.exchangeEffectTexture(
          compute::Texture::create(8, 4, compute::TextureFormat::BGRA8Unorm));
    });
  }
};

}  // namespace

TEST(RenderHandoff, FramesReachTheRenderStateOnTheRenderQueueInOrder) {
  MetalManager manager;
  auto queue = std::make_shared<HeldQueue>();
  RenderHandoff handoff(manager, queue);
  std::vector<PixelBufferRef> seen;
  manager.registerSubscriber("A", [&] { seen.push_back(manager.pixelBuffer()); });
  auto a = frame(), b = frame();
  handoff.publish(a);
  EXPECT_TRUE(seen.empty());  // nothing runs on the delivering thread
  queue->runAll();
  handoff.publish(b);
  queue->runAll();
  EXPECT_EQ(seen, (std::vector<PixelBufferRef>{a, b}));
  EXPECT_EQ(handoff.skipped(), 0);
}

// "p": a frame published; "a": one the analysis took, published; "r": the render queue runs
// what it holds. The newest frame wins whether or not the analysis took the ones it replaces.
TEST(RenderHandoff, TheNewestFrameReplacesTheOneWaitingSoOnePassWaitsAtMost) {
  struct Case {
    const char* name;
    std::string steps;
    std::string drawn;  // the frames drawn, by their step's index
    int skipped;
  };
  const Case cases[] = {
      {"each frame drawn before the next", "prpr", "02", 0},
      {"a burst: only the last drawn", "ppppr", "3", 3},
      {"bursts between passes", "pprpppr", "15", 3},
      {"an analysed frame gives way too", "pappr", "3", 3},
      {"a fast camera, a slow render", std::string(29, 'p') + "r", "28", 28},
  };
  for (const auto& c : cases) {
    MetalManager manager;
    auto queue = std::make_shared<HeldQueue>();
    RenderHandoff handoff(manager, queue);
    std::vector<PixelBufferRef> frames;
    std::string drawn;
    manager.registerSubscriber("A", [&] {
      for (size_t i = 0; i < frames.size(); ++i)
        if (frames[i] == manager.pixelBuffer()) drawn += std::to_string(i);
    });
    size_t mostWaiting = 0;
    for (size_t i = 0; i < c.steps.size(); ++i) {
      frames.push_back(frame());
      if (c.steps[i] == 'r') {
        queue->runAll();
        continue;
      }
      if (c.steps[i] == 'a') handoff.admitted(frames[i]);
      handoff.publish(frames[i]);
      mostWaiting = std::max(mostWaiting, queue->tasks.size());
    }
    EXPECT_EQ(drawn, c.drawn) << c.name;
    EXPECT_EQ(handoff.skipped(), c.skipped) << c.name;
    EXPECT_LE(mostWaiting, 1u) << c.name;
  }
}

TEST(RenderHandoff, ARenderQueueFedFasterThanItRunsHoldsAtMostItsBound) {
  MetalManager manager;
  auto queue = std::make_shared<platform::SerialQueue>("test.render");
  RenderHandoff handoff(manager, queue);
  std::atomic<int> passes{0};
  manager.registerSubscriber("A", [&] { ++passes; });
  platform::Semaphore entered(0), gate(0);
  queue->async([&] {  // a pass that takes its time
    entered.signal();
    gate.wait();
  });
  ASSERT_TRUE(entered.wait(std::chrono::seconds(5)));
  size_t mostWaiting = 0;
  for (int i = 0; i < 1000; ++i) {
    auto f = frame();
    bool analysed = i % 3 == 0;
    if (analysed) handoff.admitted(f);
    handoff.publish(f);
    if (analysed) handoff.analysed(f);
    mostWaiting = std::max(mostWaiting, queue->pendingCount());
  }
  // One frame pass and one analysis report, whatever came.
  EXPECT_LE(mostWaiting, 2u);
  gate.signal();
  queue->drain();
  EXPECT_EQ(passes.load(), 1);
  EXPECT_EQ(handoff.skipped(), 999);
}

TEST(RenderHandoff, TheFrameThatReplacesAnAnalysedOneMakesThePictureKeptForItsOutput) {
  MetalManager manager;
  auto queue = std::make_shared<HeldQueue>();
  RenderHandoff handoff(manager, queue);
  Passes passes(manager);
  auto analysed = frame(), newer = frame();
  handoff.admitted(analysed);
  handoff.publish(analysed);
  handoff.publish(newer);  // before the analysed frame's pass started
  handoff.analysed(analysed);
  queue->runAll();
  EXPECT_EQ(manager.pixelBuffer(), newer);
  auto picture = manager.effectTexture();
  handoff.publish(frame());
  queue->runAll();
  EXPECT_NE(manager.effectTexture(), picture);
  EXPECT_EQ(manager.analysedTexture(), picture);
}

TEST(RenderHandoff, ASizeDrawnFarBelowTheRateItComesAtIsToldOnce) {
  struct Case {
    const char* name;
    int framesPerSecond;
    int drawnEvery;  // the render queue runs after every n-th frame
    int seconds;
    int notes;
  };
  const Case cases[] = {
      {"kept up with", 30, 1, 20, 0},
      {"half the frames drawn", 30, 2, 20, 0},
      {"5 of 30 drawn", 30, 6, 20, 1},
      {"1000 fps, 1 of 10 drawn", 1000, 10, 12, 1},
      {"too short to tell", 30, 6, 4, 0},
  };
  for (const auto& c : cases) {
    testsupport::ManualClock clock;
    MetalManager manager;
    auto queue = std::make_shared<HeldQueue>();
    std::vector<std::string> notes;
    RenderHandoff handoff(manager, queue, clock,
                          [&](const std::string& line) { notes.push_back(line); });
    auto step = std::chrono::microseconds(1'000'000 / c.framesPerSecond);
    for (int i = 0; i < c.framesPerSecond * c.seconds; ++i) {
      handoff.publish(PixelBuffer::create(16, 204, PixelFormat::NV12FullRange));
      if ((i + 1) % c.drawnEvery == 0) queue->runAll();
      clock.advance(step);
    }
    ASSERT_EQ(int(notes.size()), c.notes) << c.name;
    if (c.notes) {
      EXPECT_NE(notes[0].find("16 x 204"), std::string::npos) << notes[0];
    }
  }
  // Another size that cannot keep up is told of in its turn.
  testsupport::ManualClock clock;
  MetalManager manager;
  auto queue = std::make_shared<HeldQueue>();
  std::vector<std::string> notes;
  RenderHandoff handoff(manager, queue, clock, [&](const std::string& l) { notes.push_back(l); });
  for (int size : {204, 208, 204}) {
    for (int i = 0; i < 30 * 6; ++i) {
      handoff.publish(PixelBuffer::create(16, size, PixelFormat::NV12FullRange));
      if (i % 10 == 9) queue->runAll();
      clock.advance(std::chrono::milliseconds(33));
    }
  }
  EXPECT_EQ(notes.size(), 3u);
}

TEST(RenderHandoff, TheOutputIsCutFromThePictureOfTheFrameTheAnalysisFinished) {
  MetalManager manager;
  auto queue = std::make_shared<HeldQueue>();
  RenderHandoff handoff(manager, queue);
  Passes passes(manager);
  auto analysed = frame();
  handoff.admitted(analysed);
  handoff.publish(analysed);
  queue->runAll();
  auto picture = manager.effectTexture();
  // Later frames replace the newest picture while the analysis works on the first one.
  handoff.publish(frame());
  handoff.publish(frame());
  queue->runAll();
  EXPECT_NE(manager.effectTexture(), picture);
  handoff.analysed(analysed);
  queue->runAll();
  EXPECT_EQ(manager.analysedTexture(), picture);
  // A finished frame whose picture was never made leaves the last one in place.
  handoff.analysed(frame());
  queue->runAll();
  EXPECT_EQ(manager.analysedTexture(), picture);
}
