#pragma once

#include <cstdint>
#include <optional>

namespace corvane {

// The control board's anti-flicker choice; the board's buttons carry the tags raw + 10.
// `automatic` is the "auto" choice (a keyword here).
enum class FlickerMode : uint8_t { automatic = 0, fifty = 1, sixty = 2 };

inline std::optional<FlickerMode> flickerModeFromRaw(int64_t raw) {
  if (raw < 0 || raw > 2) return std::nullopt;
  return static_cast<FlickerMode>(raw);
}

}  // namespace corvane
