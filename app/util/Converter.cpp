#include "util/Converter.h"

#include <libyuv/convert_from_argb.h>
#include <libyuv/planar_functions.h>

#include <QPainter>
#include <algorithm>
#include <cstring>
#include <vector>

namespace corvane {

using platform::PixelBuffer;
using platform::PixelFormat;

bool Converter::pixelBuffer(PixelBuffer& frame, const QImage& image) {
  if (frame.format() != PixelFormat::NV12FullRange || frame.planeCount() != 2) return false;
  if (image.isNull()) return false;

  // The intermediate bitmap: 32-bit pixels, B G R A in memory, which is libyuv's "ARGB".
  // Transparent parts are composed over black, as drawing into a cleared bitmap would.
  QImage bitmap(image.size(), QImage::Format_ARGB32_Premultiplied);
  bitmap.fill(Qt::black);
  {
    QPainter painter(&bitmap);
    painter.drawImage(0, 0, image);
  }

  // Every loop is bounded by the smallest of the image, its bitmap and the frame.
  const int width = std::min({image.width(), bitmap.width(), frame.width()});
  const int height = std::min({image.height(), bitmap.height(), frame.height()});
  if (width <= 0 || height <= 0) return false;
  const int chromaWidth = (width + 1) / 2;
  const int chromaHeight = (height + 1) / 2;

  std::vector<uint8_t> u(size_t(chromaWidth) * size_t(chromaHeight));
  std::vector<uint8_t> v(u.size());
  frame.lock();
  libyuv::ARGBToJ420(bitmap.constBits(), int(bitmap.bytesPerLine()), frame.baseAddress(0),
                     int(frame.bytesPerRow(0)), u.data(), chromaWidth, v.data(), chromaWidth, width,
                     height);
  libyuv::MergeUVPlane(u.data(), chromaWidth, v.data(), chromaWidth, frame.baseAddress(1),
                       int(frame.bytesPerRow(1)), chromaWidth, chromaHeight);
  frame.unlock();
  return true;
}

void Converter::clearToBlack(PixelBuffer& frame) {
  if (frame.format() != PixelFormat::NV12FullRange || frame.planeCount() != 2) return;
  frame.lock();
  for (int r = 0; r < frame.planeHeight(0); ++r)
    std::memset(frame.baseAddress(0) + size_t(r) * frame.bytesPerRow(0), 0, size_t(frame.width()));
  for (int r = 0; r < frame.planeHeight(1); ++r)
    std::memset(frame.baseAddress(1) + size_t(r) * frame.bytesPerRow(1), 128,
                size_t(frame.planeWidth(1)) * 2);
  frame.unlock();
}

}  // namespace corvane
