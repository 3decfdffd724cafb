#pragma once

#include <QImage>
#include <string>

#include "render/compute/Texture.h"
#include "video/PixelBuffer.h"

namespace rendertest {

// A test photograph from the assets, as 32-bit BGRA (QImage::Format_ARGB32); a null image when
// the assets lack it.
QImage loadPhoto(const std::string& name);
// A 360-degree panorama of w x h made of the photographs side by side, each scaled to the
// panorama's height and cropped, so tiles have real detail everywhere.
QImage makePanorama(int width, int height);
// Full-range NV12 of a picture (BT.601 full-range matrix); none for a null picture (a test
// photo missing), which the case skips on.
platform::PixelBufferRef toNV12(const QImage& image);
// The full-range conversion back to BGRA, for reference.
QImage fromNV12(const platform::PixelBuffer& buffer);
// A BGRA texture holding the picture.
corvane::compute::TextureRef toTexture(const QImage& image);
// The picture a BGRA pixel buffer holds.
QImage toImage(const platform::PixelBuffer& buffer);
// Mean absolute difference per channel and the largest difference over two equal-sized pictures.
struct Difference {
  double mean = 0;
  int max = 0;
};
Difference compare(const QImage& a, const QImage& b);

}  // namespace rendertest
