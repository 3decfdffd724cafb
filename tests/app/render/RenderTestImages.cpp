#include "RenderTestImages.h"

#include <libyuv.h>

#include <QPainter>
#include <cstdlib>
#include <vector>

namespace rendertest {

QImage loadPhoto(const std::string& name) {
  QImage image(QString::fromStdString(std::string(CORVANE_ASSETS_DIR) + "/photos/" + name));
  return image.convertToFormat(QImage::Format_ARGB32);
}

QImage makePanorama(int width, int height) {
  QImage panorama(width, height, QImage::Format_ARGB32);
  panorama.fill(Qt::black);
  QPainter painter(&panorama);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  int x = 0;
  for (int i = 1; x < width; i = i % 6 + 1) {
    QImage photo = loadPhoto("sample" + std::to_string(i) + ".jpg");
    if (photo.isNull()) break;
    QImage scaled = photo.scaledToHeight(height, Qt::SmoothTransformation);
    painter.drawImage(x, 0, scaled);
    x += scaled.width();
  }
  painter.end();
  return panorama;
}

platform::PixelBufferRef toNV12(const QImage& source) {
  QImage image = source.convertToFormat(QImage::Format_ARGB32);
  int w = image.width() & ~1, h = image.height() & ~1;
  if (image.isNull() || w == 0 || h == 0) return nullptr;
  auto buffer = platform::PixelBuffer::create(w, h, platform::PixelFormat::NV12FullRange);
  if (!buffer) return nullptr;
  std::vector<uint8_t> u(size_t(w / 2) * size_t(h / 2)), v(u.size());
  libyuv::ARGBToJ420(image.constBits(), int(image.bytesPerLine()), buffer->baseAddress(0),
                     int(buffer->bytesPerRow(0)), u.data(), w / 2, v.data(), w / 2, w, h);
  libyuv::MergeUVPlane(u.data(), w / 2, v.data(), w / 2, buffer->baseAddress(1),
                       int(buffer->bytesPerRow(1)), w / 2, h / 2);
  return buffer;
}

QImage fromNV12(const platform::PixelBuffer& buffer) {
  QImage image(buffer.width(), buffer.height(), QImage::Format_ARGB32);
  libyuv::NV12ToARGBMatrix(buffer.baseAddress(0), int(buffer.bytesPerRow(0)), buffer.baseAddress(1),
                           int(buffer.bytesPerRow(1)), image.bits(), int(image.bytesPerLine()),
                           &libyuv::kYuvJPEGConstants, buffer.width(), buffer.height());
  return image;
}

corvane::compute::TextureRef toTexture(const QImage& source) {
  QImage image = source.convertToFormat(QImage::Format_ARGB32);
  auto texture = corvane::compute::Texture::create(image.width(), image.height(),
                                                   corvane::compute::TextureFormat::BGRA8Unorm);
  texture->replace(image.constBits(), size_t(image.bytesPerLine()));
  return texture;
}

QImage toImage(const platform::PixelBuffer& buffer) {
  QImage image(buffer.baseAddress(0), buffer.width(), buffer.height(),
               qsizetype(buffer.bytesPerRow(0)), QImage::Format_ARGB32);
  return image.copy();
}

Difference compare(const QImage& a, const QImage& b) {
  Difference d;
  if (a.size() != b.size()) return {1e9, 255};
  QImage x = a.convertToFormat(QImage::Format_ARGB32), y = b.convertToFormat(QImage::Format_ARGB32);
  double sum = 0;
  for (int row = 0; row < x.height(); ++row) {
    const uint8_t* p = x.constScanLine(row);
    const uint8_t* q = y.constScanLine(row);
    for (int i = 0; i < x.width() * 4; ++i) {
      if (i % 4 == 3) continue;
      int diff = std::abs(int(p[i]) - int(q[i]));
      sum += diff;
      d.max = std::max(d.max, diff);
    }
  }
  d.mean = sum / (double(x.width()) * x.height() * 3);
  return d;
}

}  // namespace rendertest
