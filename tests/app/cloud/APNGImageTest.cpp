#include <gtest/gtest.h>

#include "ApngBuilder.h"
#include "ManualClock.h"
#include "cloud/APNGImage.h"
#include "cloud/APNGImageView.h"
#include "dispatch/MainQueue.h"

namespace corvane {
namespace {

ApngBuilder threeFrames() {
  ApngBuilder b;
  b.width = 8;
  b.height = 6;
  b.frames.push_back({filled(8, 6, Qt::red), 0, 0, 10, 100});        // 100 ms
  b.frames.push_back({filled(4, 3, Qt::blue), 4, 3, 1, 4, 0, 1});    // 250 ms, over red
  b.frames.push_back({filled(2, 2, Qt::green), 0, 0, 30, 0, 1, 0});  // den 0: 300 ms
  return b;
}

TEST(APNGImage, FramesAreComposedWithTheirDurations) {
  std::string error;
  auto image = APNGImage::decode(threeFrames().build(), 1.0, &error);
  ASSERT_TRUE(image) << error;
  ASSERT_EQ(image->frames().size(), 3u);
  EXPECT_EQ(image->size(), QSize(8, 6));
  EXPECT_TRUE(image->isAnimated());
  using std::chrono::milliseconds;
  EXPECT_EQ(image->frames()[0].duration, milliseconds(100));
  EXPECT_EQ(image->frames()[1].duration, milliseconds(250));
  EXPECT_EQ(image->frames()[2].duration, milliseconds(300));
  const QImage& second = image->frames()[1].image;
  EXPECT_EQ(second.size(), QSize(8, 6));
  EXPECT_EQ(second.pixelColor(0, 0), QColor(Qt::red));
  EXPECT_EQ(second.pixelColor(5, 4), QColor(Qt::blue));
  EXPECT_EQ(image->frames()[2].image.pixelColor(1, 1), QColor(Qt::green));
  EXPECT_EQ(image->frames()[2].image.pixelColor(5, 4), QColor(Qt::blue));
}

TEST(APNGImage, DisposeAndBlendRules) {
  ApngBuilder b;
  b.width = 4;
  b.height = 4;
  b.frames.push_back({filled(4, 4, Qt::red), 0, 0, 1, 10, /*dispose background*/ 1, 0});
  b.frames.push_back({filled(2, 2, QColor(0, 0, 255, 0)), 0, 0, 1, 10, /*previous*/ 2, 1});
  b.frames.push_back({filled(2, 2, Qt::green), 2, 2, 1, 10, 0, 1});
  auto image = APNGImage::decode(b.build());
  ASSERT_TRUE(image);
  // After frame 0 the canvas was cleared; frame 1 drew a transparent square over it and was
  // then undone; frame 2 lands on an empty canvas.
  const QImage& last = image->frames()[2].image;
  EXPECT_EQ(last.pixelColor(0, 0).alpha(), 0);
  EXPECT_EQ(last.pixelColor(3, 3), QColor(Qt::green));
}

TEST(APNGImage, ADefaultImageOutsideTheAnimationIsSkipped) {
  ApngBuilder b = threeFrames();
  b.defaultImageIsFirstFrame = false;
  b.plays = 2;
  auto image = APNGImage::decode(b.build());
  ASSERT_TRUE(image);
  EXPECT_EQ(image->frames().size(), 3u);
  EXPECT_EQ(image->numberOfPlays(), 2u);
  EXPECT_EQ(image->frames()[0].image.pixelColor(0, 0), QColor(Qt::red));
}

TEST(APNGImage, APlainPngIsOneFrame) {
  auto image = APNGImage::decode(ApngBuilder::png(filled(5, 5, Qt::yellow)), 2.0);
  ASSERT_TRUE(image);
  ASSERT_EQ(image->frames().size(), 1u);
  EXPECT_FALSE(image->isAnimated());
  EXPECT_EQ(image->frames()[0].image.devicePixelRatio(), 2.0);
}

TEST(APNGImage, BrokenDataIsAnError) {
  QByteArray good = threeFrames().build();
  std::string error;
  EXPECT_FALSE(APNGImage::decode(QByteArray("GIF89a"), 1.0, &error));
  EXPECT_EQ(error, "not PNG data");
  EXPECT_FALSE(APNGImage::decode(good.left(good.size() / 2), 1.0, &error));
  QByteArray flipped = good;
  flipped[40] = static_cast<char>(flipped[40] ^ 0x55);
  EXPECT_FALSE(APNGImage::decode(flipped, 1.0, &error));
  ApngBuilder outside = threeFrames();
  outside.frames[1].x = 6;  // 6 + 4 > 8
  EXPECT_FALSE(APNGImage::decode(outside.build(), 1.0, &error));
  EXPECT_EQ(error, "a frame lies outside the image");
  EXPECT_FALSE(APNGImage::decode(QByteArray(), 1.0, &error));
}

// The same file with another canvas size in its header (and the header's checksum renewed).
QByteArray withCanvas(QByteArray file, uint32_t width, uint32_t height) {
  QByteArray size;
  ApngBuilder::u32(size, width);
  ApngBuilder::u32(size, height);
  file.replace(16, 8, size);
  QByteArray crc;
  ApngBuilder::u32(crc, ApngBuilder::crc(file.mid(12, 17)));
  file.replace(29, 4, crc);
  return file;
}

TEST(APNGImage, PicturesBeyondTheBoundsAreRefusedBeforeDecoding) {
  ApngBuilder b;
  b.width = 2;
  b.height = 2;
  b.frames.push_back({filled(1, 1, Qt::red)});
  b.frames.push_back({filled(1, 1, Qt::blue)});
  QByteArray small = b.build();
  std::string error;
  ASSERT_TRUE(APNGImage::decode(withCanvas(small, 4096, 16), 1.0, &error)) << error;
  ASSERT_TRUE(APNGImage::decode(withCanvas(small, 16, 4096), 1.0, &error)) << error;
  EXPECT_FALSE(APNGImage::decode(withCanvas(small, 4097, 2), 1.0, &error));
  EXPECT_EQ(error, "the picture is larger than 4096 x 4096");
  EXPECT_FALSE(APNGImage::decode(withCanvas(small, 2, 0x7fffffff), 1.0, &error));
  EXPECT_FALSE(APNGImage::decode(withCanvas(small, 0x80000000u, 2), 1.0, &error));

  // Five full copies of a 4096 x 4096 canvas would pass 256 MiB.
  for (int i = 0; i < 3; ++i) b.frames.push_back({filled(1, 1, Qt::green)});
  EXPECT_FALSE(APNGImage::decode(withCanvas(b.build(), 4096, 4096), 1.0, &error));
  EXPECT_EQ(error, "the animation would take more than 256 MiB decoded");
  EXPECT_TRUE(APNGImage::decode(withCanvas(b.build(), 1024, 1024), 1.0, &error)) << error;
}

TEST(APNGImage, AnAnimationThatSaysZeroFramesIsStillCapped) {
  ApngBuilder b;
  b.width = 1;
  b.height = 1;
  for (size_t i = 0; i <= APNGImage::kMaxFrames; ++i) b.frames.push_back({filled(1, 1, Qt::red)});
  QByteArray file = b.build();
  // acTL's frame count, the first four bytes of its data, set to 0 ("as many as there are").
  qsizetype actl = file.indexOf("acTL");
  ASSERT_GT(actl, 0);
  file.replace(actl + 4, 4, QByteArray(4, '\0'));
  QByteArray crc;
  ApngBuilder::u32(crc, ApngBuilder::crc(file.mid(actl, 12)));
  file.replace(actl + 12, 4, crc);
  std::string error;
  EXPECT_FALSE(APNGImage::decode(file, 1.0, &error));
  EXPECT_EQ(error, "the animation has more than 1024 frames");
  b.frames.pop_back();
  EXPECT_TRUE(APNGImage::decode(b.build(), 1.0, &error)) << error;
}

TEST(APNGImageView, FramesAdvanceOnTheClockAndStopAfterThePlays) {
  testsupport::ManualClock clock;
  testsupport::ScopedClock scoped(clock);
  ApngBuilder b = threeFrames();
  b.plays = 1;
  APNGImageView view;
  view.setImage(APNGImage::decode(b.build()));
  auto step = [&](int ms) {
    clock.advance(std::chrono::milliseconds(ms));
    platform::MainQueue::shared().drain();
  };
  EXPECT_EQ(view.currentFrameIndex(), 0u);
  step(99);
  EXPECT_EQ(view.currentFrameIndex(), 0u);
  step(1);
  EXPECT_EQ(view.currentFrameIndex(), 1u);
  step(249);
  EXPECT_EQ(view.currentFrameIndex(), 1u);
  step(1);
  EXPECT_EQ(view.currentFrameIndex(), 2u);
  step(300);
  EXPECT_EQ(view.currentFrameIndex(), 2u);  // played once: stays on the last frame
  EXPECT_FALSE(view.isPlaying());
  EXPECT_EQ(clock.pendingTimers(), 0u);
}

TEST(APNGImageView, EndlessAnimationsLoopAndClearingStops) {
  testsupport::ManualClock clock;
  testsupport::ScopedClock scoped(clock);
  APNGImageView view;
  view.setImage(APNGImage::decode(threeFrames().build()));
  for (int ms : {100, 250, 300}) {
    clock.advance(std::chrono::milliseconds(ms));
    platform::MainQueue::shared().drain();
  }
  EXPECT_EQ(view.currentFrameIndex(), 0u);
  EXPECT_TRUE(view.isPlaying());
  view.setImage(std::nullopt);
  EXPECT_FALSE(view.isPlaying());
  EXPECT_EQ(clock.pendingTimers(), 0u);
}

}  // namespace
}  // namespace corvane
