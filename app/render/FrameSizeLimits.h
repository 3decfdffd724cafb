#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace corvane {

// The frame sizes the picture road can carry, from the source to the preview. A frame travels
// as NV12 at even sides (an odd picture loses its last column or row) and is drawn four times
// over: the effect pass writes it at its own size and copies it at the analysis width, and the
// layout views compose the preview at the preview width and the output at its fixed size. Each
// of those pictures must be one that can be made:
// - every side from kMinSide to kMaxSide (the pixel buffers and textures);
// - the preview, kControlWidth wide, at least 2 and at most kMaxDrawableSide high;
// - the analysis copy, kSelvoWidth wide, at least 2 and at most kMaxSide high, which every
//   frame whose preview can be drawn has.
// So a frame may be at most 12.8 times as tall as it is wide (16384 / 1280) and at most 1280
// times as wide as it is tall. And the pictures of a frame in flight together (the decoder's
// frames, the frame pool, the effect pass's textures, those kept for the analysis's output) take
// about kWorkingBytesPerPixel bytes for each of its pixels: a frame of more than kMaxPixels
// would need more memory than an ordinary machine has room for (kMaxPixels keeps the program
// within about 2.5 GB). A source whose frames fall outside is refused when it is opened, never
// drawn frame after frame into pictures that cannot be made or that crowd the machine out.
class FrameSizeLimits {
 public:
  static constexpr int kMinSide = 2;
  static constexpr int kMaxSide = 32768;                // the pixel buffers' and textures' limit
  static constexpr int kMaxDrawableSide = 16384;        // a composed picture's limit
  static constexpr int kSelvoWidth = 1920;              // the analysis copy's width
  static constexpr int kControlWidth = 1280;            // the preview's width
  static constexpr int64_t kMaxPixels = 36'000'000;     // 8K (7680 x 4320) and somewhat more
  static constexpr int64_t kWorkingBytesPerPixel = 56;  // measured while a clip plays

  // The side a frame of that side travels at: made even.
  static int carriedSide(int side) { return side & ~1; }
  // Height of the analysis copy of a frame: height / width x 1920, truncated, made even; 0 for
  // an empty frame.
  static int selvoHeight(int width, int height);
  // Height of the preview of a frame: height / width x 1280, truncated, made even; 0 for an
  // empty frame.
  static int controlHeight(int width, int height);
  // Why a frame of this size (as the source has it) cannot be carried, or none when it can.
  static std::optional<std::string> refusal(int width, int height);
};

}  // namespace corvane
