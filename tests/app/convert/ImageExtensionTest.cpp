#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QVariantMap>
#include <filesystem>

#include "TempDir.h"
#include "util/Converter.h"
#include "util/ImageExtension.h"
#include "video/PixelBuffer.h"

using corvane::ImageExtension;
using platform::PixelBuffer;
using platform::PixelFormat;

namespace {

// A picture whose every pixel differs from every other, so flips and copies show exactly.
QImage numbered(int w, int h) {
  QImage image(w, h, QImage::Format_ARGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) image.setPixel(x, y, qRgba(x * 20, y * 40, 7 * (x + y), 255));
  return image;
}

}  // namespace

TEST(ImageExtensionTest, MirroredFlipsPixelForPixel) {
  const QImage src = numbered(5, 3);
  QImage h = ImageExtension::mirrored(src, true, false);
  QImage v = ImageExtension::mirrored(src, false, true);
  QImage both = ImageExtension::mirrored(src, true, true);
  QImage none = ImageExtension::mirrored(src, false, false);
  ASSERT_EQ(h.size(), src.size());
  ASSERT_EQ(both.size(), src.size());
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) {
      EXPECT_EQ(h.pixel(x, y), src.pixel(4 - x, y));
      EXPECT_EQ(v.pixel(x, y), src.pixel(x, 2 - y));
      EXPECT_EQ(both.pixel(x, y), src.pixel(4 - x, 2 - y));
      EXPECT_EQ(none.pixel(x, y), src.pixel(x, y));
    }
  EXPECT_TRUE(ImageExtension::mirrored(QImage(), true, true).isNull());
}

TEST(ImageExtensionTest, ResizedHalvesUniformBlocksExactly) {
  QImage src(4, 4, QImage::Format_RGB32);
  const QRgb block[2][2] = {{qRgb(255, 0, 0), qRgb(0, 255, 0)},
                            {qRgb(0, 0, 255), qRgb(9, 99, 199)}};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) src.setPixel(x, y, block[y / 2][x / 2]);
  auto small = ImageExtension::resized(src, 2, 2);
  ASSERT_TRUE(small.has_value());
  ASSERT_EQ(small->size(), QSize(2, 2));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) EXPECT_EQ(small->pixel(x, y) | 0xff000000, block[y][x]);

  auto same = ImageExtension::resized(src, 4, 4);
  ASSERT_TRUE(same.has_value());
  EXPECT_EQ(*same, src);
  auto wide = ImageExtension::resized(src, 12, 3);
  ASSERT_TRUE(wide.has_value());
  EXPECT_EQ(wide->size(), QSize(12, 3));
}

TEST(ImageExtensionTest, ResizedGivesNoneForNothingToDraw) {
  EXPECT_FALSE(ImageExtension::resized(QImage(), 4, 4).has_value());
  EXPECT_FALSE(ImageExtension::resized(numbered(2, 2), 0, 4).has_value());
  EXPECT_FALSE(ImageExtension::resized(numbered(2, 2), 4, -1).has_value());
}

TEST(ImageExtensionTest, SavePNGWritesAFileThatReadsBackTheSame) {
  testsupport::TempDir dir;
  const QImage src = numbered(6, 4);
  QString path = QString::fromStdString(dir.file("thumb.png"));
  ASSERT_TRUE(ImageExtension::savePNG(src, path));
  QImage back(path);
  ASSERT_FALSE(back.isNull());
  EXPECT_EQ(back.convertToFormat(QImage::Format_ARGB32), src);
  // Only the file itself is left: the atomic write's temporary is gone.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(ImageExtensionTest, SavePNGIsFalseWhenNothingWasWritten) {
  testsupport::TempDir dir;
  QString path = QString::fromStdString(dir.file("none.png"));
  EXPECT_FALSE(ImageExtension::savePNG(QImage(), path));
  EXPECT_FALSE(QFile::exists(path));
  QString missing = QString::fromStdString(dir.file("no/such/folder/x.png"));
  EXPECT_FALSE(ImageExtension::savePNG(numbered(2, 2), missing));
  EXPECT_FALSE(
      ImageExtension::savePNG(numbered(2, 2), missing, ImageExtension::WriteOptions::none));
}

TEST(ImageExtensionTest, SavePNGKeepsTheOldFileWhenTheNewOneCannotBeMade) {
  testsupport::TempDir dir;
  QString path = QString::fromStdString(dir.file("keep.png"));
  ASSERT_TRUE(ImageExtension::savePNG(numbered(3, 3), path));
  EXPECT_FALSE(ImageExtension::savePNG(QImage(), path));
  EXPECT_EQ(QImage(path).convertToFormat(QImage::Format_ARGB32), numbered(3, 3));
}

// The nine-part source: red corners, green edges, a blue centre, each region 10 pixels.
static QImage ninePartSource() {
  QImage image(30, 30, QImage::Format_ARGB32);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 30; ++x) {
      bool edgeX = x < 10 || x >= 20, edgeY = y < 10 || y >= 20;
      image.setPixel(x, y,
                     edgeX && edgeY   ? qRgb(255, 0, 0)
                     : edgeX || edgeY ? qRgb(0, 255, 0)
                                      : qRgb(0, 0, 255));
    }
  return image;
}

TEST(ImageExtensionTest, DrawNinePartKeepsCornersAndStretchesTheRest) {
  QImage canvas(80, 60, QImage::Format_ARGB32);
  canvas.fill(Qt::transparent);
  {
    QPainter painter(&canvas);
    ImageExtension::drawNinePart(ninePartSource(), painter, 10, QRectF(5.4, 4.6, 70, 50));
  }
  // Rounded destination: x 5, y 5, 70 x 50.
  EXPECT_EQ(canvas.pixel(4, 30), qRgba(0, 0, 0, 0));
  EXPECT_EQ(canvas.pixel(5, 5), qRgb(255, 0, 0));  // top left corner
  EXPECT_EQ(canvas.pixel(14, 14), qRgb(255, 0, 0));
  EXPECT_EQ(canvas.pixel(74, 54), qRgb(255, 0, 0));    // bottom right corner
  EXPECT_EQ(canvas.pixel(40, 8), qRgb(0, 255, 0));     // top edge, stretched
  EXPECT_EQ(canvas.pixel(8, 30), qRgb(0, 255, 0));     // left edge
  EXPECT_EQ(canvas.pixel(40, 30), qRgb(0, 0, 255));    // centre
  EXPECT_EQ(canvas.pixel(75, 30), qRgba(0, 0, 0, 0));  // right of the rectangle
}

TEST(ImageExtensionTest, DrawNinePartInALowRectangleDrawsOnlyTopAndBottomRows) {
  // Cap 10 into a height of 16: c = 8, and no middle row.
  QImage canvas(60, 16, QImage::Format_ARGB32);
  canvas.fill(Qt::transparent);
  {
    QPainter painter(&canvas);
    ImageExtension::drawNinePart(ninePartSource(), painter, 10, QRectF(0, 0, 60, 16));
  }
  for (int y = 0; y < 16; ++y) {
    EXPECT_EQ(canvas.pixel(2, y), qRgb(255, 0, 0)) << y;   // corners meet in the middle
    EXPECT_EQ(canvas.pixel(30, y), qRgb(0, 255, 0)) << y;  // top and bottom edges
  }
}

TEST(ImageExtensionTest, FrameToPictureAtAScale) {
  auto frame = PixelBuffer::create(8, 6, PixelFormat::NV12FullRange);
  QImage white(8, 6, QImage::Format_RGB32);
  white.fill(Qt::white);
  ASSERT_TRUE(corvane::Converter::pixelBuffer(*frame, white));
  QImage half = ImageExtension::imageWithPixelBuffer(*frame, 0.5);
  ASSERT_EQ(half.size(), QSize(4, 3));
  EXPECT_EQ(half.pixel(1, 1) | 0xff000000, qRgb(255, 255, 255));
  EXPECT_TRUE(ImageExtension::imageWithPixelBuffer(*frame, 0).isNull());

  QImage region = ImageExtension::imageWithPixelBuffer(*frame, 10, 4);
  ASSERT_EQ(region.size(), QSize(10, 4));
  EXPECT_EQ(region.pixel(7, 3), qRgb(255, 255, 255));
  EXPECT_EQ(qAlpha(region.pixel(9, 0)), 0);
}

TEST(ImageExtensionTest, BGRAFramesConvertBothWays) {
  const QImage src = numbered(6, 4);
  auto frame = ImageExtension::pixelBuffer(src);
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->format(), PixelFormat::BGRA);
  EXPECT_EQ(frame->width(), 6);
  EXPECT_EQ(frame->height(), 4);
  const uint8_t* p = frame->baseAddress(0) + frame->bytesPerRow(0) * 2 + 3 * 4;
  QRgb want = src.pixel(3, 2);
  EXPECT_EQ(p[0], qBlue(want));
  EXPECT_EQ(p[1], qGreen(want));
  EXPECT_EQ(p[2], qRed(want));
  QImage back = ImageExtension::imageWithPixelBuffer(*frame, 1.0);
  EXPECT_EQ(back.pixel(5, 3) | 0xff000000, src.pixel(5, 3));
  EXPECT_FALSE(ImageExtension::pixelBuffer(QImage()));
}

TEST(ImageExtensionTest, OverlaysAreDrawnInOrderAndIncompleteOnesSkipped) {
  QImage base(8, 8, QImage::Format_RGB32);
  base.fill(Qt::black);
  QImage red(2, 2, QImage::Format_RGB32), green(2, 2, QImage::Format_RGB32);
  red.fill(Qt::red);
  green.fill(Qt::green);
  QVariantList overlays;
  overlays << QVariantMap{{"image", red}, {"rect", QRectF(0, 0, 4, 4)}}
           << QVariantMap{{"image", green}, {"rect", QRectF(2, 2, 4, 4)}}
           << QVariantMap{{"image", green}}                             // no rect
           << QVariantMap{{"image", 5}, {"rect", QRectF(0, 0, 8, 8)}};  // not an image
  auto frame = ImageExtension::pixelBuffer(base, overlays);
  ASSERT_TRUE(frame);
  QImage out = ImageExtension::imageWithPixelBuffer(*frame, 1.0);
  EXPECT_EQ(out.pixel(0, 0) | 0xff000000, qRgb(255, 0, 0));
  EXPECT_EQ(out.pixel(3, 3) | 0xff000000, qRgb(0, 255, 0));  // the later one on top
  EXPECT_EQ(out.pixel(7, 7) | 0xff000000, qRgb(0, 0, 0));
}

TEST(ImageExtensionTest, BitmapBytesAreRGBARowsPacked) {
  const QImage src = numbered(3, 2);
  auto bytes = ImageExtension::bitmapBytes(src);
  ASSERT_EQ(bytes.size(), size_t(3 * 2 * 4));
  QRgb p = src.pixel(2, 1);
  const uint8_t* b = bytes.data() + (1 * 3 + 2) * 4;
  EXPECT_EQ(b[0], qRed(p));
  EXPECT_EQ(b[1], qGreen(p));
  EXPECT_EQ(b[2], qBlue(p));
  EXPECT_EQ(b[3], 255);
  EXPECT_TRUE(ImageExtension::bitmapBytes(QImage()).empty());
  EXPECT_EQ(ImageExtension::decodedCGImage(src).pixel(1, 1), src.pixel(1, 1));
}
