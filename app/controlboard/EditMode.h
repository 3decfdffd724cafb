#pragma once

#include <cstdint>
#include <optional>

namespace corvane {

// What a drag on the preview edits: nothing, the field-of-view rectangle, or ignore areas.
enum class EditMode : int64_t { none = 0, fov = 1, ignore = 2 };

inline std::optional<EditMode> editModeFromRaw(int64_t raw) {
  if (raw < 0 || raw > 2) return std::nullopt;
  return static_cast<EditMode>(raw);
}

}  // namespace corvane
