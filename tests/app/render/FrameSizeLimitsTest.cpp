// Which frame sizes the picture road can carry, at the edges of what its pictures can be.
#include <gtest/gtest.h>

#include "render/FrameSizeLimits.h"
#include "video/PixelBuffer.h"

using corvane::FrameSizeLimits;

namespace {

struct SizeCase {
  int width, height;
  const char* refusal;  // a part of the reason, or nullptr: carried
  int controlHeight;    // of the carried (even) frame, when carried
};

}  // namespace

TEST(FrameSizeLimits, RefusesWhatAPictureOnTheRoadCannotBe) {
  const SizeCase cases[] = {
      // The camera's own formats and the usual clips.
      {3840, 1920, nullptr, 640},
      {3840, 1080, nullptr, 360},
      {4992, 1248, nullptr, 320},
      {1920, 1080, nullptr, 720},
      {640, 480, nullptr, 960},
      // The smallest picture: an odd side loses its last column or row.
      {2, 2, nullptr, 1280},
      {3, 3, nullptr, 1280},
      {1, 1, "each side must be from 2 to 32768 pixels", 0},
      {1, 400, "each side must be from 2 to 32768 pixels", 0},
      {0, 0, "each side must be from 2 to 32768 pixels", 0},
      {-4, 100, "each side must be from 2 to 32768 pixels", 0},
      // The buffers' longest side.
      {32768, 1098, nullptr, 42},
      {32769, 1098, nullptr, 42},  // carried at 32768
      {32770, 1098, "each side must be from 2 to 32768 pixels", 0},
      {32770, 2560, "each side must be from 2 to 32768 pixels", 0},
      {2560, 32770, "each side must be from 2 to 32768 pixels", 0},
      // Tall: the preview is 1280 wide and at most 16384 high (12.8 : 1).
      {400, 5120, nullptr, 16384},
      {400, 5122, "its preview would be 1280 x 16390 (2 to 16384 high)", 0},
      {16, 4000, "its preview would be 1280 x 320000 (2 to 16384 high)", 0},
      {2, 32768, "its preview would be 1280 x 20971520 (2 to 16384 high)", 0},
      // Wide: the preview must keep a row (1280 : 1).
      {2560, 2, nullptr, 2},
      {2562, 2, "its preview would be 1280 x 0 (2 to 16384 high)", 0},
      {32768, 2, "its preview would be 1280 x 0 (2 to 16384 high)", 0},
      // The memory a frame's pictures take while it plays: 8K and a little more, no further.
      {7680, 4320, nullptr, 720},
      {8000, 4500, nullptr, 720},
      {6000, 6000, nullptr, 1280},
      {6002, 6000,
       "its 36.0 million pixels a frame would need about 2.0 GB of memory to play "
       "(at most 36.0 million pixels)",
       0},
      {8192, 8192, "its 67.1 million pixels a frame would need about 3.8 GB", 0},
      {16384, 8192, "its 134.2 million pixels a frame would need about 7.5 GB", 0},
      {32768, 2560, "its 83.9 million pixels a frame", 0},
      {16384, 16384, "its 268.4 million pixels a frame", 0},
      // Each of the other limits is told first: their messages stay.
      {32770, 32770, "each side must be from 2 to 32768 pixels", 0},
      {2000, 26000, "its preview would be 1280 x 16640 (2 to 16384 high)", 0},
  };
  for (const SizeCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
    auto refusal = FrameSizeLimits::refusal(c.width, c.height);
    if (!c.refusal) {
      EXPECT_FALSE(refusal) << *refusal;
      int w = FrameSizeLimits::carriedSide(c.width), h = FrameSizeLimits::carriedSide(c.height);
      EXPECT_EQ(FrameSizeLimits::controlHeight(w, h), c.controlHeight);
      // Every picture made from a carried frame can be made.
      for (auto [pw, ph] : {std::pair{w, h},
                            {FrameSizeLimits::kControlWidth, FrameSizeLimits::controlHeight(w, h)},
                            {FrameSizeLimits::kSelvoWidth, FrameSizeLimits::selvoHeight(w, h)}}) {
        EXPECT_TRUE(platform::PixelBuffer::create(pw, ph, platform::PixelFormat::NV12FullRange))
            << pw << " x " << ph;
      }
      EXPECT_LE(FrameSizeLimits::controlHeight(w, h), FrameSizeLimits::kMaxDrawableSide);
    } else {
      ASSERT_TRUE(refusal);
      EXPECT_EQ(refusal->rfind("the picture size " + std::to_string(c.width) + " x " +
                                   std::to_string(c.height) + " cannot be drawn: ",
                               0),
                0u)
          << *refusal;
      EXPECT_NE(refusal->find(c.refusal), std::string::npos) << *refusal;
    }
  }
}

TEST(FrameSizeLimits, DerivedHeightsAreEvenAndTruncated) {
  EXPECT_EQ(FrameSizeLimits::selvoHeight(3840, 1920), 960);
  EXPECT_EQ(FrameSizeLimits::selvoHeight(3840, 1083), 542);  // 541.5: 541, made even
  EXPECT_EQ(FrameSizeLimits::controlHeight(3840, 1083), 362);
  EXPECT_EQ(FrameSizeLimits::selvoHeight(0, 1080), 0);
  EXPECT_EQ(FrameSizeLimits::controlHeight(1920, 0), 0);
}
