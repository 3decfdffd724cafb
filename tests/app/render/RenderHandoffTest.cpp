// The hand-over of camera frames to the render queue: order, the newest frame winning when the
// render falls behind, the analysed frame's picture kept for the output, the slow-size note.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
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
      {"kept up with", 30, 1, 20, 0},     {"half the frames drawn", 30, 2, 20, 0},
      {"5 of 30 drawn", 30, 6, 20, 1},    {"1000 fps, 1 of 10 drawn", 1000, 10, 12, 1},
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

// The analysis quicker than the render: while a frame's pass runs, that frame and the next one
// are both reported, the next one's pass still waiting. Each report must wait for its own
// frame's picture, or the output stays on the last picture whose report came in time.
TEST(RenderHandoff, TwoReportsWithinOnePassEachWaitForTheirOwnPicture) {
  MetalManager manager;
  auto queue = std::make_shared<HeldQueue>();
  RenderHandoff handoff(manager, queue);
  std::map<const PixelBuffer*, compute::TextureRef> pictureOf;
  std::function<void()> duringPass;
  manager.registerSubscriber("EffectView", [&] {
    auto picture = compute::Texture::create(8, 4, compute::TextureFormat::BGRA8Unorm);
    pictureOf[manager.pixelBuffer().get()] = picture;
    manager.exchangeEffectTexture(picture);
    if (auto step = std::exchange(duringPass, nullptr)) step();
  });
  // Frame 0 in order: its picture, then its report.
  auto first = frame();
  handoff.admitted(first);
  handoff.publish(first);
  queue->runAll();
  handoff.analysed(first);
  queue->runAll();
  ASSERT_EQ(manager.analysedTexture(), pictureOf[first.get()]);
  std::vector<PixelBufferRef> frames{first};
  for (int round = 0; round < 8; ++round) {
    SCOPED_TRACE(round);
    auto drawn = frame();
    PixelBufferRef next;
    handoff.admitted(drawn);
    handoff.publish(drawn);
    duringPass = [&] {
      handoff.analysed(drawn);
      next = frame();
      handoff.admitted(next);
      handoff.publish(next);
      handoff.analysed(next);
    };
    size_t mostWaiting = 0;
    while (!queue->tasks.empty()) {
      auto task = std::move(queue->tasks.front());
      queue->tasks.pop_front();
      task();
      mostWaiting = std::max(mostWaiting, queue->tasks.size());
    }
    ASSERT_TRUE(next);
    EXPECT_EQ(manager.analysedTexture(), pictureOf[next.get()]);
    EXPECT_NE(manager.analysedTexture(), pictureOf[first.get()]);
    EXPECT_LE(mostWaiting, 2u);  // one pass and one report at most, as ever
    frames.push_back(drawn);
    frames.push_back(next);
  }
  // A report of a frame whose picture is never made (a newer analysed frame took its pass)
  // leaves the last analysed picture.
  auto dropped = frame(), newer = frame();
  handoff.admitted(dropped);
  handoff.publish(dropped);
  handoff.analysed(dropped);
  handoff.admitted(newer);
  handoff.publish(newer);
  queue->runAll();
  EXPECT_EQ(manager.analysedTexture(), pictureOf[frames.back().get()]);
  handoff.analysed(newer);
  queue->runAll();
  EXPECT_EQ(manager.analysedTexture(), pictureOf[newer.get()]);
}

TEST(RenderHandoff, TheRateNoteSaysTheSourcesOwnRateAndWhyFramesAreDropped) {
  struct Case {
    const char* name;
    int width, height;
    int published;  // frames a second reaching the hand-off
    double source;  // the source's own rate; 0: none told
    int drawnEvery;
    const char* says;  // a part of the note; nullptr: none
  };
  const Case cases[] = {
      {"a fast clip drawn smoothly", 640, 320, 1000, 0, 20,
       "Frames of 640 x 320 come at 1000 frames per second and are drawn at 50: the source "
       "brings more frames than can be drawn"},
      {"a large clip its player cannot decode at its rate", 7680, 4320, 2, 30, 2,
       "Frames of 7680 x 4320 come at 30 frames per second and are drawn at 1: the picture is too "
       "large to draw at the source's rate"},
      {"a slow player, every frame drawn, the clip kept up with", 1920, 960, 30, 30, 1, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::ManualClock clock;
    MetalManager manager;
    auto queue = std::make_shared<HeldQueue>();
    std::vector<std::string> notes;
    RenderHandoff handoff(
        manager, queue, clock, [&](const std::string& line) { notes.push_back(line); },
        [&] { return c.source; });
    auto step = std::chrono::microseconds(1'000'000 / c.published);
    for (int i = 0; i < c.published * 6; ++i) {
      handoff.publish(PixelBuffer::create(c.width, c.height, PixelFormat::NV12FullRange));
      if ((i + 1) % c.drawnEvery == 0) queue->runAll();
      clock.advance(step);
    }
    if (!c.says) {
      EXPECT_TRUE(notes.empty()) << notes[0];
      continue;
    }
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find(c.says), std::string::npos) << notes[0];
  }
}
