#pragma once

#include <cstdint>
#include <optional>

namespace corvane {

// The kind of one ROI outline over the preview; it picks the colour and the decorations.
enum class BorderMode : int64_t {
  normal = 0,
  editing = 1,
  tracking = 2,
  speak = 3,
  ignore = 4,
  focus = 5,
  pip = 6
};

inline std::optional<BorderMode> borderModeFromRaw(int64_t raw) {
  if (raw < 0 || raw > 6) return std::nullopt;
  return static_cast<BorderMode>(raw);
}

}  // namespace corvane
