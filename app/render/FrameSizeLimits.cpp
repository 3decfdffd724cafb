#include "render/FrameSizeLimits.h"

#include <cstdio>

#include "video/PixelBuffer.h"

namespace corvane {

static_assert(FrameSizeLimits::kMaxSide == platform::PixelBuffer::kMaxSide);

namespace {

int scaledHeight(int width, int height, int toWidth) {
  if (width <= 0 || height <= 0) return 0;
  // In 32-bit floats, as the render side has always computed it.
  int h = int(float(height) / float(width) * float(toWidth));
  return h % 2 ? h + 1 : h;
}

std::string size(int width, int height) {
  return std::to_string(width) + " x " + std::to_string(height);
}

}  // namespace

int FrameSizeLimits::selvoHeight(int width, int height) {
  return scaledHeight(width, height, kSelvoWidth);
}

int FrameSizeLimits::controlHeight(int width, int height) {
  return scaledHeight(width, height, kControlWidth);
}

std::optional<std::string> FrameSizeLimits::refusal(int width, int height) {
  const std::string prefix = "the picture size " + size(width, height) + " cannot be drawn: ";
  int w = carriedSide(width), h = carriedSide(height);
  if (w < kMinSide || h < kMinSide || w > kMaxSide || h > kMaxSide)
    return prefix + "each side must be from " + std::to_string(kMinSide) + " to " +
           std::to_string(kMaxSide) + " pixels";
  int control = controlHeight(w, h);
  if (control < kMinSide || control > kMaxDrawableSide)
    return prefix + "its preview would be " + size(kControlWidth, control) + " (" +
           std::to_string(kMinSide) + " to " + std::to_string(kMaxDrawableSide) + " high)";
  // The analysis copy is wider than the preview but may be twice as high as a composed
  // picture: every frame whose preview can be drawn has an analysis copy that can be made.
  int64_t pixels = int64_t(w) * h;
  if (pixels > kMaxPixels) {
    char why[160];
    std::snprintf(why, sizeof why,
                  "its %.1f million pixels a frame would need about %.1f GB of memory to play (at "
                  "most %.1f million pixels)",
                  double(pixels) / 1e6, double(pixels * kWorkingBytesPerPixel) / 1e9,
                  double(kMaxPixels) / 1e6);
    return prefix + why;
  }
  return std::nullopt;
}

}  // namespace corvane
