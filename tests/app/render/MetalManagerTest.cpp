// The shared render state: subscribers, hand-over of pictures, the picture values.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "render/MetalManager.h"

using namespace corvane;
using platform::PixelBuffer;
using platform::PixelFormat;

TEST(MetalManager, InitialValues) {
  MetalManager m;
  EXPECT_FALSE(m.pixelBuffer());
  EXPECT_FALSE(m.effectTexture());
  EXPECT_FALSE(m.vxdPixelBuffer());
  EXPECT_FALSE(m.controlPixelBuffer());
  EXPECT_FALSE(m.selvoBuffer());
  EXPECT_EQ(m.controlSize(), QSizeF(1280, 238));
  EXPECT_EQ(m.navigatorSize(), QSizeF(1280, 720));
  EXPECT_FLOAT_EQ(m.gamma.load(), 1.1f);
  EXPECT_FLOAT_EQ(m.brightness.load(), 0.5f);  // neutral lighting: the picture as it is
  EXPECT_FLOAT_EQ(m.denoise.load(), 0.0f);
  EXPECT_FALSE(m.mirror.load());
  EXPECT_FALSE(m.isBusy.load());
  EXPECT_FALSE(m.enableEffect.load());
  EXPECT_EQ(m.effect().mode, EffectMode::None);
  EXPECT_FLOAT_EQ(m.effect().value, 0.25f);
}

TEST(MetalManager, FirstRegistrationOfAClassWins) {
  MetalManager m;
  int first = 0, second = 0;
  m.registerSubscriber("EffectView", [&] { ++first; });
  m.registerSubscriber("EffectView", [&] { ++second; });
  EXPECT_EQ(m.sbuDic().size(), 1u);
  m.notifyFrame(PixelBuffer::create(64, 32, PixelFormat::NV12FullRange));
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 0);
}

TEST(MetalManager, NotifyingWithoutSubscribersOnlyStoresTheFrame) {
  MetalManager m;
  auto frame = PixelBuffer::create(64, 32, PixelFormat::NV12FullRange);
  m.notifyFrame(frame);
  EXPECT_EQ(m.pixelBuffer(), frame);
  EXPECT_TRUE(m.sbuDic().empty());
}

TEST(MetalManager, EverySubscriberIsCalledOncePerFrameAndSeesTheFrame) {
  MetalManager m;
  std::vector<platform::PixelBufferRef> seenA, seenB;
  m.registerSubscriber("A", [&] { seenA.push_back(m.pixelBuffer()); });
  m.registerSubscriber("B", [&] { seenB.push_back(m.pixelBuffer()); });
  auto f1 = PixelBuffer::create(64, 32, PixelFormat::NV12FullRange);
  auto f2 = PixelBuffer::create(64, 32, PixelFormat::NV12FullRange);
  m.notifyFrame(f1);
  m.notifyFrame(f2);
  EXPECT_EQ(seenA, (std::vector<platform::PixelBufferRef>{f1, f2}));
  EXPECT_EQ(seenB, seenA);
}

TEST(MetalManager, ASubscriberMayRegisterAnotherDuringNotification) {
  MetalManager m;
  int late = 0;
  m.registerSubscriber("A", [&] { m.registerSubscriber("B", [&] { ++late; }); });
  m.notifyFrame(PixelBuffer::create(64, 32, PixelFormat::NV12FullRange));
  m.notifyFrame(PixelBuffer::create(64, 32, PixelFormat::NV12FullRange));
  EXPECT_EQ(late, 1);  // called from the second frame on, no dead-lock
}

TEST(MetalManager, FramesFromAnotherQueueWhileTheMainThreadReads) {
  MetalManager m;
  std::atomic<bool> done{false};
  std::thread capture([&] {
    for (int i = 0; i < 2000; ++i)
      m.setPixelBuffer(PixelBuffer::create(64, 32, PixelFormat::NV12FullRange));
    done = true;
  });
  int seen = 0;
  while (!done)
    if (auto frame = m.pixelBuffer()) seen += frame->width() == 64;
  capture.join();
  EXPECT_TRUE(m.pixelBuffer());
  EXPECT_GE(seen, 0);
}

TEST(MetalManager, ExchangingTheEffectTextureHandsBackThePreviousOne) {
  MetalManager m;
  auto a = compute::Texture::create(8, 8, compute::TextureFormat::BGRA8Unorm);
  auto b = compute::Texture::create(8, 8, compute::TextureFormat::BGRA8Unorm);
  EXPECT_FALSE(m.exchangeEffectTexture(a));
  EXPECT_EQ(m.exchangeEffectTexture(b), a);
  EXPECT_EQ(m.effectTexture(), b);
}

TEST(MetalManager, OneNoiseReductionScale) {
  // Levels 0..6 = round(ratio x 6), whatever the caller's scale was.
  EXPECT_EQ(MetalManager::denoiseLevel(0.0), 0.0f);
  EXPECT_EQ(MetalManager::denoiseLevel(0.08), 0.0f);
  EXPECT_EQ(MetalManager::denoiseLevel(0.0834), 1.0f);  // 0.5004 rounds up
  EXPECT_EQ(MetalManager::denoiseLevel(0.5), 3.0f);
  EXPECT_EQ(MetalManager::denoiseLevel(0.75), 5.0f);  // 4.5, halves away from zero
  EXPECT_EQ(MetalManager::denoiseLevel(1.0), 6.0f);
  EXPECT_EQ(MetalManager::denoiseLevel(2.0), 6.0f);
  EXPECT_EQ(MetalManager::denoiseLevel(-1.0), 0.0f);
  EXPECT_EQ(MetalManager::denoiseLevel(std::nan("")), 0.0f);
}

TEST(MetalManager, TheAnalysedFramesPictureIsKeptUntilTheAnalysisFinishedIt) {
  MetalManager m;
  auto texture = [] { return compute::Texture::create(8, 4, compute::TextureFormat::BGRA8Unorm); };
  // A stand-in for the effect pass.
  m.registerSubscriber("EffectView", [&] { m.exchangeEffectTexture(texture()); });
  EXPECT_FALSE(m.analysedTexture());
  auto plain = PixelBuffer::create(64, 32, PixelFormat::NV12FullRange);
  m.notifyFrame(plain);
  // Nothing analysed yet: the newest picture.
  EXPECT_EQ(m.analysedTexture(), m.effectTexture());
  auto analysed = PixelBuffer::create(64, 32, PixelFormat::NV12FullRange);
  m.notifyFrame(analysed, true);
  auto picture = m.effectTexture();
  m.notifyFrame(plain);
  m.finishAnalysis(plain);  // not the frame in analysis
  EXPECT_NE(m.analysedTexture(), picture);
  m.finishAnalysis(analysed);
  EXPECT_EQ(m.analysedTexture(), picture);
  m.notifyFrame(plain);
  EXPECT_EQ(m.analysedTexture(), picture);
  m.finishAnalysis(analysed);  // once only
  EXPECT_EQ(m.analysedTexture(), picture);
}

TEST(MetalManager, AnUnregisteredSubscriberIsNoLongerCalled) {
  MetalManager m;
  int calls = 0;
  m.registerSubscriber("LayoutView 1", [&] { ++calls; });
  m.notifyFrame(PixelBuffer::create(64, 32, PixelFormat::NV12FullRange));
  m.unregisterSubscriber("LayoutView 1");
  m.notifyFrame(PixelBuffer::create(64, 32, PixelFormat::NV12FullRange));
  EXPECT_EQ(calls, 1);
  m.registerSubscriber("LayoutView 1", [&] { calls += 10; });  // the name is free again
  m.notifyFrame(PixelBuffer::create(64, 32, PixelFormat::NV12FullRange));
  EXPECT_EQ(calls, 11);
}

TEST(MetalManager, ClearingThePicturesLetsGoOfEveryOneTheSourceMade) {
  MetalManager m;
  auto texture = [] { return compute::Texture::create(8, 4, compute::TextureFormat::BGRA8Unorm); };
  m.registerSubscriber("EffectView", [&] { m.exchangeEffectTexture(texture()); });
  auto analysed = PixelBuffer::create(64, 32, PixelFormat::NV12FullRange);
  m.notifyFrame(analysed, true);
  m.finishAnalysis(analysed);
  auto inAnalysis = PixelBuffer::create(64, 32, PixelFormat::NV12FullRange);
  m.notifyFrame(inAnalysis, true);
  m.setSelvoBuffer(PixelBuffer::create(16, 8, PixelFormat::NV12FullRange));
  m.setVxdPixelBuffer(PixelBuffer::create(16, 8, PixelFormat::BGRA));
  m.setControlPixelBuffer(PixelBuffer::create(16, 8, PixelFormat::BGRA));
  std::weak_ptr<compute::Texture> picture = m.analysedTexture();
  m.clearPictures();
  EXPECT_FALSE(m.pixelBuffer());
  EXPECT_FALSE(m.effectTexture());
  EXPECT_FALSE(m.analysedTexture());
  EXPECT_FALSE(m.selvoBuffer());
  EXPECT_FALSE(m.vxdPixelBuffer());
  EXPECT_FALSE(m.controlPixelBuffer());
  EXPECT_TRUE(picture.expired());  // nobody holds it any more
  // The frame that was in analysis finds no picture kept for it; the next source's come through.
  m.finishAnalysis(inAnalysis);
  EXPECT_FALSE(m.analysedTexture());
  auto next = PixelBuffer::create(64, 32, PixelFormat::NV12FullRange);
  m.notifyFrame(next, true);
  m.finishAnalysis(next);
  EXPECT_EQ(m.pixelBuffer(), next);
  EXPECT_TRUE(m.analysedTexture());
  EXPECT_EQ(m.analysedTexture(), m.effectTexture());
}
