// The hand-over of camera frames to the render queue: order, the preview giving way under load,
// and the analysed frame's picture kept for the output.
#include <gtest/gtest.h>

#include <deque>
#include <memory>

#include "render/RenderHandoff.h"

using namespace corvane;
using platform::PixelBuffer;
using platform::PixelBufferRef;
using platform::PixelFormat;

namespace {

// A render queue that runs its tasks when the test says.
class HeldQueue : public platform::Queue {
 public:
  void async(platform::Task task) override { tasks.push_back(std::move(task)); }
  void sync(platform::Task task) override { task(); }
  void runAll() {
    while (!tasks.empty()) {
      auto task = std::move(tasks.front());
      tasks.pop_front();
      task();
    }
  }
  std::deque<platform::Task> tasks;
};

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
  RenderHandoff handoff(manager, queue, 4);
  std::vector<PixelBufferRef> seen;
  manager.registerSubscriber("A", [&] { seen.push_back(manager.pixelBuffer()); });
  auto a = frame(), b = frame();
  handoff.publish(a);
  handoff.publish(b);
  EXPECT_TRUE(seen.empty());  // nothing runs on the delivering thread
  queue->runAll();
  EXPECT_EQ(seen, (std::vector<PixelBufferRef>{a, b}));
  EXPECT_EQ(handoff.skipped(), 0);
}

TEST(RenderHandoff, ThePreviewGivesWayWhenBehindButNeverTheAnalysedFrame) {
  MetalManager manager;
  auto queue = std::make_shared<HeldQueue>();
  RenderHandoff handoff(manager, queue, 2);
  int rendered = 0;
  manager.registerSubscriber("A", [&] { ++rendered; });
  handoff.publish(frame());
  handoff.publish(frame());
  handoff.publish(frame());  // two wait: skipped
  auto analysed = frame();
  handoff.admitted(analysed);
  handoff.publish(analysed);  // rendered all the same
  EXPECT_EQ(handoff.skipped(), 1);
  queue->runAll();
  EXPECT_EQ(rendered, 3);
  handoff.publish(frame());  // caught up
  queue->runAll();
  EXPECT_EQ(rendered, 4);
  EXPECT_EQ(handoff.skipped(), 1);
}

TEST(RenderHandoff, TheOutputIsCutFromThePictureOfTheFrameTheAnalysisFinished) {
  MetalManager manager;
  auto queue = std::make_shared<HeldQueue>();
  RenderHandoff handoff(manager, queue, 4);
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
