#include "NV12Picture.h"

#include <algorithm>
#include <cstring>

namespace orlith {

using platform::PixelBuffer;
using platform::PixelFormat;

bool NV12Picture::copy(const PixelBuffer& from, PixelBuffer& to) {
  if (from.format() != PixelFormat::NV12FullRange || to.format() != from.format() ||
      from.width() != to.width() || from.height() != to.height()) {
    return false;
  }
  to.lock();
  for (size_t p = 0; p < 2; ++p) {
    size_t rowBytes = size_t(from.width());
    size_t rows = size_t(from.planeHeight(p));
    size_t inStride = from.bytesPerRow(p), outStride = to.bytesPerRow(p);
    const uint8_t* in = from.baseAddress(p);
    uint8_t* out = to.baseAddress(p);
    if (inStride == rowBytes && outStride == rowBytes) {
      std::memcpy(out, in, rowBytes * rows);  // both packed: one block
      continue;
    }
    for (size_t y = 0; y < rows; ++y) std::memcpy(out + y * outStride, in + y * inStride, rowBytes);
  }
  to.unlock();
  return true;
}

void NV12Picture::mirror(uint8_t* bytes, int width, int height) {
  if (!bytes || width <= 0 || height <= 0) return;
  for (int y = 0; y < height; ++y) {
    uint8_t* row = bytes + size_t(y) * size_t(width);
    std::reverse(row, row + width);
  }
  uint8_t* chroma = bytes + size_t(width) * size_t(height);
  for (int y = 0; y < height / 2; ++y) {
    uint8_t* row = chroma + size_t(y) * size_t(width);
    for (int i = 0, j = width / 2 - 1; i < j; ++i, --j) {
      std::swap(row[2 * i], row[2 * j]);
      std::swap(row[2 * i + 1], row[2 * j + 1]);
    }
  }
}

void NV12Picture::addReferenceLines(uint8_t* bytes, int width, int height) {
  if (!bytes || width < 16 || height < 10) return;
  int s = width / 8;
  if (s % 2 == 0) s -= 1;
  int period = height / 10;
  uint8_t* chroma = bytes + size_t(width) * size_t(height);
  for (int x = s; x < width - s; x += s) {
    for (int j = 0; j < height; ++j) {
      if (j % period >= period - 4) continue;
      for (int c = x; c < x + 2 && c < width; ++c)
        bytes[size_t(j) * size_t(width) + size_t(c)] = 240;
      if (j % 2 == 0) {
        size_t pair = size_t(j / 2) * size_t(width) + size_t(x / 2) * 2;
        chroma[pair] = 128;
        chroma[pair + 1] = 128;
      }
    }
  }
}

}  // namespace orlith
