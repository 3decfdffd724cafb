#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "camera/VideoRange.h"

using corvane::VideoRange;

namespace {

// The arithmetic as written down: 255 / 219 and 255 / 224 in 14-bit fixed point, rounded.
int wantLuma(int v) { return std::clamp(((v - 16) * 19077 + 8192) >> 14, 0, 255); }
int wantChroma(int v) { return std::clamp((((v - 128) * 18651 + 8192) >> 14) + 128, 0, 255); }

}  // namespace

TEST(VideoRange, EndsAndMiddleOfTheRanges) {
  const struct {
    int in, luma, chroma;
  } rows[] = {{0, 0, 0},       {16, 0, 1},      {128, 130, 128},
              {235, 255, 250}, {240, 255, 255}, {255, 255, 255}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.in);
    EXPECT_EQ(VideoRange::luma(uint8_t(row.in)), row.luma);
    EXPECT_EQ(VideoRange::chroma(uint8_t(row.in)), row.chroma);
  }
}

TEST(VideoRange, RowsGiveEveryValueExactlyAtEveryLengthAndInPlace) {
  // Lengths round the sixteen-pixel steps, so the wide loop's tail and the lone values both run;
  // every one of the 256 values at every position of the step.
  for (int n : {1, 15, 16, 17, 31, 32, 33, 256, 271, 1920}) {
    SCOPED_TRACE(n);
    const size_t count = static_cast<size_t>(n);
    std::vector<uint8_t> src(count), u(count), v(count);
    for (int i = 0; i < n; ++i) {
      src[size_t(i)] = uint8_t(i * 37 + n);
      u[size_t(i)] = uint8_t(i * 11 + 3);
      v[size_t(i)] = uint8_t(255 - i * 5);
    }
    std::vector<uint8_t> luma(count), chroma(count), pairs(2 * count);
    VideoRange::expandLuma(src.data(), luma.data(), n);
    VideoRange::expandChroma(src.data(), chroma.data(), n);
    VideoRange::interleaveExpanded(u.data(), v.data(), pairs.data(), n);
    for (int i = 0; i < n; ++i) {
      ASSERT_EQ(luma[size_t(i)], wantLuma(src[size_t(i)])) << i;
      ASSERT_EQ(chroma[size_t(i)], wantChroma(src[size_t(i)])) << i;
      ASSERT_EQ(pairs[2 * size_t(i)], wantChroma(u[size_t(i)])) << i;
      ASSERT_EQ(pairs[2 * size_t(i) + 1], wantChroma(v[size_t(i)])) << i;
    }
    std::vector<uint8_t> inPlace = src;
    VideoRange::expandLuma(inPlace.data(), inPlace.data(), n);
    EXPECT_EQ(inPlace, luma);
  }
  std::vector<uint8_t> all(256), luma(256), chroma(256);
  for (int i = 0; i < 256; ++i) all[size_t(i)] = uint8_t(i);
  VideoRange::expandLuma(all.data(), luma.data(), 256);
  VideoRange::expandChroma(all.data(), chroma.data(), 256);
  for (int i = 0; i < 256; ++i) {
    ASSERT_EQ(luma[size_t(i)], wantLuma(i)) << i;
    ASSERT_EQ(chroma[size_t(i)], wantChroma(i)) << i;
  }
}
