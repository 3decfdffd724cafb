#pragma once

#include <cstdint>
#include <optional>

namespace corvane {

// The vertical field-of-view choice.
enum class VerticalFovMode : uint8_t { top = 0, mid = 1, down = 2 };

constexpr int64_t rawValue(VerticalFovMode mode) { return int64_t(mode); }

constexpr std::optional<VerticalFovMode> makeVerticalFovMode(int64_t rawValue) {
  if (rawValue >= 0 && rawValue <= 2) return VerticalFovMode(uint8_t(rawValue));
  return std::nullopt;
}

}  // namespace corvane
