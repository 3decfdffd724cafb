#pragma once

#include <cstdint>
#include <optional>

namespace corvane {

// The kind of a camera-control event.
enum class UVCMode : uint8_t {
  none = 0,
  check_doa = 1,
  doa = 2,
  brightness = 3,
  flicker = 4,
  contrast = 5,
  saturation = 6,
  sharpness = 7,
  gamma = 8,
  fov = 9,
};

constexpr int64_t rawValue(UVCMode mode) { return int64_t(mode); }

constexpr std::optional<UVCMode> makeUVCMode(int64_t rawValue) {
  if (rawValue >= 0 && rawValue <= 9) return UVCMode(uint8_t(rawValue));
  return std::nullopt;
}

}  // namespace corvane
