#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "util/Converter.h"
#include "util/ImageExtension.h"
#include "video/PixelBuffer.h"

using corvane::Converter;
using corvane::ImageExtension;
using platform::PixelBuffer;
using platform::PixelFormat;

namespace {

constexpr uint8_t kSentinel = 0xEE;

struct YCbCr {
  double y, cb, cr;
};

// Full-range BT.601, the "420f" the renderer reads.
YCbCr fullRange(QRgb c) {
  double r = qRed(c), g = qGreen(c), b = qBlue(c);
  return {0.299 * r + 0.587 * g + 0.114 * b, 128 - 0.168736 * r - 0.331264 * g + 0.5 * b,
          128 + 0.5 * r - 0.418688 * g - 0.081312 * b};
}

double clamp255(double v) { return std::clamp(v, 0.0, 255.0); }

// A frame whose every byte, padding included, holds a sentinel, so stray writes show.
platform::PixelBufferRef sentinelFrame(int w, int h, size_t extraRowBytes) {
  PixelBuffer::Options options;
  options.rowAlignment = 1;
  options.extraRowBytes = extraRowBytes;
  auto frame = PixelBuffer::create(w, h, PixelFormat::NV12FullRange, options);
  std::memset(frame->baseAddress(0), kSentinel, frame->bytesPerRow(0) * size_t(h));
  std::memset(frame->baseAddress(1), kSentinel, frame->bytesPerRow(1) * size_t(h / 2));
  return frame;
}

uint8_t lumaAt(const PixelBuffer& f, int x, int y) {
  return f.baseAddress(0)[y * f.bytesPerRow(0) + x];
}
uint8_t cbAt(const PixelBuffer& f, int cx, int cy) {
  return f.baseAddress(1)[cy * f.bytesPerRow(1) + 2 * cx];
}
uint8_t crAt(const PixelBuffer& f, int cx, int cy) {
  return f.baseAddress(1)[cy * f.bytesPerRow(1) + 2 * cx + 1];
}

QImage solid(int w, int h, QRgb colour) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(colour);
  return image;
}

}  // namespace

class ConverterColourTest : public ::testing::TestWithParam<QRgb> {};

// Each solid colour lands on the full-range values (within one step of rounding), luma and
// both chroma samples, in a frame whose rows are longer than its width.
TEST_P(ConverterColourTest, SolidColourGivesFullRangeValues) {
  const QRgb colour = GetParam();
  auto frame = sentinelFrame(8, 6, 24);
  ASSERT_GT(frame->bytesPerRow(0), size_t(frame->width()));
  ASSERT_TRUE(Converter::pixelBuffer(*frame, solid(8, 6, colour)));
  YCbCr want = fullRange(colour);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x)
      ASSERT_NEAR(lumaAt(*frame, x, y), clamp255(want.y), 1.0) << x << "," << y;
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) {
      ASSERT_NEAR(cbAt(*frame, x, y), clamp255(want.cb), 1.0);
      ASSERT_NEAR(crAt(*frame, x, y), clamp255(want.cr), 1.0);
    }
}

INSTANTIATE_TEST_SUITE_P(Primaries, ConverterColourTest,
                         ::testing::Values(qRgb(255, 255, 255), qRgb(0, 0, 0), qRgb(255, 0, 0),
                                           qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(128, 128, 128),
                                           qRgb(255, 255, 0), qRgb(0, 255, 255)));

TEST(ConverterTest, WhiteIsFullScaleAndBlackIsZero) {
  // Video-range output (235 and 16) is what made file pictures look washed out.
  auto frame = sentinelFrame(4, 2, 0);
  ASSERT_TRUE(Converter::pixelBuffer(*frame, solid(4, 2, qRgb(255, 255, 255))));
  EXPECT_EQ(lumaAt(*frame, 0, 0), 255);
  EXPECT_EQ(cbAt(*frame, 0, 0), 128);
  EXPECT_EQ(crAt(*frame, 0, 0), 128);
  ASSERT_TRUE(Converter::pixelBuffer(*frame, solid(4, 2, qRgb(0, 0, 0))));
  EXPECT_EQ(lumaAt(*frame, 1, 1), 0);
  EXPECT_EQ(cbAt(*frame, 1, 0), 128);
  EXPECT_EQ(crAt(*frame, 1, 0), 128);
}

TEST(ConverterTest, OddImageFillsItsOwnPixelsAndChromaRowsAndNothingElse) {
  // 7 x 5 into 8 x 6: luma columns 0..6 and rows 0..4, chroma rows 0, 1, 2 (2 < 2.5) and
  // columns 0..3; the frame's last column and row and all row padding stay untouched.
  auto frame = sentinelFrame(8, 6, 16);
  ASSERT_TRUE(Converter::pixelBuffer(*frame, solid(7, 5, qRgb(255, 0, 0))));
  YCbCr red = fullRange(qRgb(255, 0, 0));
  for (int y = 0; y < 6; ++y)
    for (size_t x = 0; x < frame->bytesPerRow(0); ++x) {
      uint8_t v = frame->baseAddress(0)[y * frame->bytesPerRow(0) + x];
      if (y < 5 && x < 7) {
        ASSERT_NEAR(v, red.y, 1.0);
      } else {
        ASSERT_EQ(v, kSentinel) << "luma " << x << "," << y;
      }
    }
  for (int y = 0; y < 3; ++y)
    for (size_t x = 0; x < frame->bytesPerRow(1); ++x) {
      uint8_t v = frame->baseAddress(1)[y * frame->bytesPerRow(1) + x];
      if (x < 8) {
        ASSERT_NEAR(v, x % 2 ? clamp255(red.cr) : clamp255(red.cb), 1.0);
      } else {
        ASSERT_EQ(v, kSentinel) << "chroma padding " << x << "," << y;
      }
    }
}

TEST(ConverterTest, ImageLargerThanTheFrameIsClippedToTheFrame) {
  auto frame = sentinelFrame(4, 4, 8);
  QImage big = solid(64, 48, qRgb(0, 0, 255));
  ASSERT_TRUE(Converter::pixelBuffer(*frame, big));
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) EXPECT_NEAR(lumaAt(*frame, x, y), fullRange(qRgb(0, 0, 255)).y, 1);
    for (size_t x = 4; x < frame->bytesPerRow(0); ++x)
      EXPECT_EQ(frame->baseAddress(0)[y * frame->bytesPerRow(0) + x], kSentinel);
  }
}

TEST(ConverterTest, EachPixelKeepsItsOwnLumaAndChromaAveragesItsBlock) {
  // Columns of distinct greys: luma follows each pixel; chroma of grey stays neutral.
  QImage image(6, 2, QImage::Format_RGB32);
  for (int x = 0; x < 6; ++x)
    for (int y = 0; y < 2; ++y) image.setPixel(x, y, qRgb(x * 50, x * 50, x * 50));
  auto frame = sentinelFrame(6, 2, 0);
  ASSERT_TRUE(Converter::pixelBuffer(*frame, image));
  for (int x = 0; x < 6; ++x) EXPECT_NEAR(lumaAt(*frame, x, 1), x * 50, 1) << x;
  for (int c = 0; c < 3; ++c) {
    EXPECT_NEAR(cbAt(*frame, c, 0), 128, 1);
    EXPECT_NEAR(crAt(*frame, c, 0), 128, 1);
  }
}

TEST(ConverterTest, RefusesWrongFramesAndEmptyImages) {
  auto bgra = PixelBuffer::create(4, 4, PixelFormat::BGRA);
  EXPECT_FALSE(Converter::pixelBuffer(*bgra, solid(4, 4, qRgb(1, 2, 3))));
  auto frame = sentinelFrame(4, 4, 0);
  EXPECT_FALSE(Converter::pixelBuffer(*frame, QImage()));
  EXPECT_EQ(lumaAt(*frame, 0, 0), kSentinel);
}

TEST(ConverterTest, TransparentPartsBecomeBlack) {
  QImage image(4, 2, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  auto frame = sentinelFrame(4, 2, 0);
  ASSERT_TRUE(Converter::pixelBuffer(*frame, image));
  EXPECT_EQ(lumaAt(*frame, 0, 0), 0);
  EXPECT_NEAR(cbAt(*frame, 0, 0), 128, 1);
}

TEST(ConverterTest, ClearToBlackSetsFullRangeBlack) {
  auto frame = sentinelFrame(6, 4, 10);
  Converter::clearToBlack(*frame);
  EXPECT_EQ(lumaAt(*frame, 5, 3), 0);
  EXPECT_EQ(cbAt(*frame, 2, 1), 128);
  EXPECT_EQ(crAt(*frame, 2, 1), 128);
  EXPECT_EQ(frame->baseAddress(0)[6], kSentinel);  // padding untouched
}

// A frame converted back to a picture gives the colours it was made from.
TEST(ConverterTest, RoundTripThroughAFrameKeepsColours) {
  QImage image(8, 4, QImage::Format_RGB32);
  const QRgb colours[4] = {qRgb(255, 255, 255), qRgb(200, 30, 40), qRgb(20, 180, 60),
                           qRgb(30, 40, 220)};
  for (int x = 0; x < 8; ++x)
    for (int y = 0; y < 4; ++y) image.setPixel(x, y, colours[x / 2]);
  auto frame = sentinelFrame(8, 4, 12);
  ASSERT_TRUE(Converter::pixelBuffer(*frame, image));
  QImage back = ImageExtension::imageWithPixelBuffer(*frame, 1.0);
  ASSERT_EQ(back.size(), QSize(8, 4));
  for (int x = 0; x < 8; ++x)
    for (int y = 0; y < 4; ++y) {
      QRgb got = back.pixel(x, y), want = colours[x / 2];
      EXPECT_NEAR(qRed(got), qRed(want), 3) << x << "," << y;
      EXPECT_NEAR(qGreen(got), qGreen(want), 3) << x << "," << y;
      EXPECT_NEAR(qBlue(got), qBlue(want), 3) << x << "," << y;
    }
}
