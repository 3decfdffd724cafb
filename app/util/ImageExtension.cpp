#include "util/ImageExtension.h"

#include <libyuv/convert_argb.h>
#include <libyuv/scale_argb.h>

#include <QBuffer>
#include <QPainter>
#include <QVariantMap>
#include <cmath>
#include <cstring>

#include "log/LogManager.h"
#include "util/AtomicFile.h"

namespace corvane {

using platform::PixelBuffer;
using platform::PixelBufferRef;
using platform::PixelFormat;

namespace {

// The whole frame as a 32-bit picture; NV12 is read as full-range BT.601, as it was written.
QImage frameToImage(const PixelBuffer& frame) {
  if (frame.width() <= 0 || frame.height() <= 0) return QImage();
  QImage image(frame.width(), frame.height(), QImage::Format_ARGB32);
  if (image.isNull()) return QImage();
  if (frame.format() == PixelFormat::NV12FullRange && frame.planeCount() == 2) {
    if (libyuv::NV12ToARGBMatrix(frame.baseAddress(0), int(frame.bytesPerRow(0)),
                                 frame.baseAddress(1), int(frame.bytesPerRow(1)), image.bits(),
                                 int(image.bytesPerLine()), &libyuv::kYuvJPEGConstants,
                                 frame.width(), frame.height()) != 0)
      return QImage();
  } else if (frame.format() == PixelFormat::BGRA && frame.planeCount() == 1) {
    // BGRA in memory is Qt's ARGB32 on little-endian machines.
    for (int r = 0; r < frame.height(); ++r)
      std::memcpy(image.scanLine(r), frame.baseAddress(0) + size_t(r) * frame.bytesPerRow(0),
                  size_t(frame.width()) * 4);
  } else {
    return QImage();
  }
  return image;
}

// A QImage over the memory of a BGRA frame, for drawing into it in place.
QImage wrapBGRA(PixelBuffer& frame) {
  return QImage(frame.baseAddress(0), frame.width(), frame.height(),
                qsizetype(frame.bytesPerRow(0)), QImage::Format_RGB32);
}

}  // namespace

QImage ImageExtension::imageWithPixelBuffer(const PixelBuffer& frame, double scale) {
  QImage image = frameToImage(frame);
  if (image.isNull() || !std::isfinite(scale) || scale <= 0) return QImage();
  if (scale == 1.0) return image;
  int w = int(std::lround(frame.width() * scale));
  int h = int(std::lround(frame.height() * scale));
  if (w <= 0 || h <= 0) return QImage();
  // libyuv's box filter: a panorama frame shrunk for a view in a few milliseconds, where a
  // smooth QImage scale takes tens.
  QImage scaled(w, h, QImage::Format_ARGB32);
  if (scaled.isNull() ||
      libyuv::ARGBScale(image.constBits(), int(image.bytesPerLine()), image.width(), image.height(),
                        scaled.bits(), int(scaled.bytesPerLine()), w, h, libyuv::kFilterBox) != 0)
    return QImage();
  return scaled;
}

QImage ImageExtension::imageWithPixelBuffer(const PixelBuffer& frame, int width, int height) {
  if (width <= 0 || height <= 0) return QImage();
  QImage whole = frameToImage(frame);
  if (whole.isNull()) return QImage();
  QImage image(width, height, QImage::Format_ARGB32);
  if (image.isNull()) return QImage();
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.drawImage(0, 0, whole);
  return image;
}

bool ImageExtension::savePNG(const QImage& image, const QString& path, WriteOptions options,
                             std::string* error) {
  // Each reason names the file ("cannot write <path>: ..."), as the atomic write's do.
  const std::string writing = "cannot write " + path.toStdString() + ": ";
  std::string why;
  if (image.isNull()) {
    why = writing + "the picture is empty";
  } else if (options == WriteOptions::atomic) {
    // Encoded in memory first, so that a failed write gives the system's reason (a full disk)
    // rather than the encoder's.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
      why = writing + "the picture cannot be encoded as PNG";
    else if (AtomicFile::write(path.toStdString(), bytes.toStdString(), &why))
      return true;
  } else if (image.save(path, "PNG")) {
    return true;
  } else {
    why = writing + "the PNG writer failed";
  }
  CV_LOG_ERROR(why);
  if (error) *error = why;
  return false;
}

QImage ImageExtension::mirrored(const QImage& image, bool horizontally, bool vertically) {
  if (image.isNull()) return QImage();
  return image.mirrored(horizontally, vertically);
}

std::optional<QImage> ImageExtension::resized(const QImage& image, int width, int height) {
  if (image.isNull() || width <= 0 || height <= 0) return std::nullopt;
  if (width == image.width() && height == image.height()) return image.copy();
  QImage out = image.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  if (out.isNull()) return std::nullopt;
  return out;
}

void ImageExtension::drawNinePart(const QImage& image, QPainter& painter, double cap,
                                  const QRectF& rect) {
  if (image.isNull() || !std::isfinite(cap) || cap < 0) return;
  const double X = std::round(rect.x()), Y = std::round(rect.y());
  const double W = std::round(rect.width()), H = std::round(rect.height());
  const double iw = image.width(), ih = image.height();
  const double c = 2 * cap > H ? H / 2 : cap;
  const bool middle = H > 2 * cap;

  auto piece = [&](double dx, double dy, double dw, double dh, double sx, double sy, double sw,
                   double sh) {
    // A piece with no area (a picture or a rectangle narrower than its caps) is not drawn.
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return;
    painter.drawImage(QRectF(dx, dy, dw, dh), image, QRectF(sx, sy, sw, sh));
  };
  painter.save();
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  // Top row, then the middle row, then the bottom row, in the painter's own (top-down) space.
  piece(X, Y, c, c, 0, 0, c, c);
  piece(X + c, Y, W - 2 * c, c, c, 0, iw - 2 * c, c);
  piece(X + W - c, Y, c, c, iw - c, 0, c, c);
  if (middle) {
    piece(X, Y + c, c, H - 2 * c, 0, c, c, ih - 2 * c);
    piece(X + c, Y + c, W - 2 * c, H - 2 * c, c, c, iw - 2 * c, ih - 2 * c);
    piece(X + W - c, Y + c, c, H - 2 * c, iw - c, c, c, ih - 2 * c);
  }
  piece(X, Y + H - c, c, c, 0, ih - c, c, c);
  piece(X + c, Y + H - c, W - 2 * c, c, c, ih - c, iw - 2 * c, c);
  piece(X + W - c, Y + H - c, c, c, iw - c, ih - c, c, c);
  painter.restore();
}

QImage ImageExtension::decodedCGImage(const QImage& image) {
  if (image.isNull()) return QImage();
  return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

PixelBufferRef ImageExtension::pixelBuffer(const QImage& image) {
  return pixelBuffer(image, QVariantList());
}

PixelBufferRef ImageExtension::pixelBuffer(const QImage& image, const QVariantList& overlays) {
  if (image.isNull()) return nullptr;
  PixelBufferRef frame = PixelBuffer::create(image.width(), image.height(), PixelFormat::BGRA);
  if (!frame) return nullptr;
  frame->lock();
  {
    QImage target = wrapBGRA(*frame);
    target.fill(Qt::black);
    QPainter painter(&target);
    if (!painter.isActive()) {
      frame->unlock();
      return nullptr;
    }
    painter.drawImage(QRectF(0, 0, image.width(), image.height()), image);
    for (const QVariant& entry : overlays) {
      QVariantMap overlay = entry.toMap();
      QVariant picture = overlay.value("image"), where = overlay.value("rect");
      if (!picture.canConvert<QImage>() || !where.canConvert<QRectF>()) continue;
      QImage overlayImage = picture.value<QImage>();
      if (overlayImage.isNull()) continue;
      painter.drawImage(where.toRectF(), overlayImage);
    }
  }
  frame->unlock();
  return frame;
}

std::vector<uint8_t> ImageExtension::bitmapBytes(const QImage& image) {
  if (image.isNull()) return {};
  QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
  const size_t row = size_t(rgba.width()) * 4;
  std::vector<uint8_t> bytes(row * size_t(rgba.height()));
  for (int r = 0; r < rgba.height(); ++r)
    std::memcpy(bytes.data() + row * size_t(r), rgba.constScanLine(r), row);
  return bytes;
}

}  // namespace corvane
