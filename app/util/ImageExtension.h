#pragma once

#include <QImage>
#include <QRectF>
#include <QString>
#include <QVariantList>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "video/PixelBuffer.h"

class QPainter;

namespace corvane {

// Conversions between pictures and frames, and the drawing operations the views use on pictures.
class ImageExtension {
 public:
  enum class WriteOptions { none, atomic };

  // The frame (NV12 full range or BGRA) scaled by `scale` in both directions; an empty image
  // when it cannot be converted, never a failure.
  static QImage imageWithPixelBuffer(const platform::PixelBuffer& frame, double scale);
  // The region (0, 0, width, height) of the frame, unscaled; outside the frame stays transparent.
  static QImage imageWithPixelBuffer(const platform::PixelBuffer& frame, int width, int height);

  // Writes the picture as a PNG file. False when nothing was written: an empty picture, no PNG
  // data, or a failed write (logged; the reason also in `error`). The atomic option writes a
  // temporary file, then renames.
  static bool savePNG(const QImage& image, const QString& path,
                      WriteOptions options = WriteOptions::atomic, std::string* error = nullptr);

  // A copy of the same size, flipped about the vertical axis, the horizontal axis, or both.
  static QImage mirrored(const QImage& image, bool horizontally, bool vertically);
  // The picture drawn at width x height, or none for an empty picture or size.
  static std::optional<QImage> resized(const QImage& image, int width, int height);
  // Draws the picture into `rect` as a stretchable frame whose four corners keep `cap` pixels.
  static void drawNinePart(const QImage& image, QPainter& painter, double cap, const QRectF& rect);

  // The picture as a plain decoded bitmap (32 bits per pixel, premultiplied).
  static QImage decodedCGImage(const QImage& image);
  // A BGRA frame of the picture's size with the picture drawn into it (alpha ignored), or none.
  static platform::PixelBufferRef pixelBuffer(const QImage& image);
  // As pixelBuffer(), then each overlay's "image" (QImage) drawn into its "rect" (QRectF) on top,
  // in order; entries lacking either are skipped.
  static platform::PixelBufferRef pixelBuffer(const QImage& image, const QVariantList& overlays);
  // The picture's pixels, 4 bytes each in the order R G B A, rows packed; empty for an empty image.
  static std::vector<uint8_t> bitmapBytes(const QImage& image);
};

}  // namespace corvane
