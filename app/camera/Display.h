#pragma once

#include <cstdint>
#include <optional>

namespace corvane {

// The layout mode of the composed picture; the raw values are those stored and exchanged.
enum class Display : uint8_t {
  compose = 10,
  focus = 11,
  grid = 12,
  presentation = 13,
  speaker = 14,
  singleSpeaker = 15,
  topDown = 16,
  twoGroup = 17,
  panorama = 18,
  bodyFit = 90,
  audioFit = 91,
};

constexpr int64_t rawValue(Display display) { return int64_t(display); }

// No value for an integer that is not a layout mode.
constexpr std::optional<Display> makeDisplay(int64_t rawValue) {
  if ((rawValue >= 10 && rawValue <= 18) || rawValue == 90 || rawValue == 91)
    return Display(uint8_t(rawValue));
  return std::nullopt;
}

}  // namespace corvane
