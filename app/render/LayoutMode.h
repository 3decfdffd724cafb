#pragma once

#include <optional>

namespace corvane {

// What a layout view composes: the panorama preview (control) or the output picture that goes
// to the virtual camera (navigator).
enum class LayoutMode : int { control = 0, navigator = 1 };

inline std::optional<LayoutMode> layoutModeFromRaw(int raw) {
  if (raw == 0) return LayoutMode::control;
  if (raw == 1) return LayoutMode::navigator;
  return std::nullopt;
}

}  // namespace corvane
