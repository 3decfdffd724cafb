// The length a clip plays when its time stamps jump, and how far a jump really went.
#include <gtest/gtest.h>

#include "camera/ClipLength.h"

using corvane::ClipLength;

namespace {
constexpr int64_t kMs = 1'000'000;
constexpr int64_t kS = 1'000'000'000;
// A 33-bit counter of 90 kHz, as MPEG transport streams stamp.
constexpr int64_t kWrap = (int64_t(1) << 33) * kS / 90000;
}  // namespace

TEST(ClipLength, StampsThatJumpPlayAsTheStretchesBetweenTheJumps) {
  struct Case {
    const char* name;
    std::vector<int64_t> stamps;
    std::optional<int64_t> length;
  };
  const Case cases[] = {
      {"no frames", {}, std::nullopt},
      {"one frame", {0}, std::nullopt},
      {"steady: the container's duration holds", {0, 100 * kMs, 200 * kMs}, std::nullopt},
      {"a gap up to the bound is a pause the clip holds", {0, 10 * kS}, std::nullopt},
      {"just past the bound: a jump", {0, 10 * kS + 1}, 200 * kMs},
      {"back", {0, 100 * kMs, 200 * kMs, -5 * kS, -5 * kS + 100 * kMs}, 500 * kMs},
      {"a counter that wrapped",
       {0, 100 * kMs, kWrap - 100 * kS, kWrap - 100 * kS + 100 * kMs},
       400 * kMs},
      {"two jumps", {0, 100 * kMs, 40 * kS, 3 * kS, 3 * kS + 100 * kMs}, 500 * kMs},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ClipLength::withJumps(c.stamps, 100 * kMs), c.length);
  }
}

TEST(ClipLength, AJumpAheadOfMoreThanHalfTheCountersPeriodIsTheCounterGoingBack) {
  struct Case {
    int64_t from, to, wrap, by;
  };
  const Case cases[] = {
      {2967 * kMs, 2967 * kMs + 190 * kS, kWrap, 190 * kS},              // ahead
      {2967 * kMs, 2967 * kMs - 17 * kS, kWrap, -17 * kS},               // back, as read
      {2967 * kMs, kWrap - 100 * kS, kWrap, -100 * kS - 2967 * kMs},     // back past the start
      {2967 * kMs, kWrap - 100 * kS, 0, kWrap - 100 * kS - 2967 * kMs},  // no counter: ahead
      {0, kWrap / 2, kWrap, kWrap / 2},                                  // half: ahead still
  };
  for (const Case& c : cases) EXPECT_EQ(ClipLength::jumpBy(c.from, c.to, c.wrap), c.by);
}
