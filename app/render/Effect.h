#pragma once

#include <optional>

namespace corvane {

// A picture effect the layout kernel may apply to a tile; the raw value is the kernel's code.
enum class EffectMode : int {
  None = 0,
  Lighting = 1,
  ColorInversion = 2,
  Bulge = 3,
  Halftone = 4,
  HighlightShadowTint = 5,
  Kuwahara = 6,
  Lookup = 7,
  Monochrome = 8,
  Pinch = 9,
  Pixellate = 10,
  PolkaDot = 11,
  ThresholdSketch = 12,
  Toon = 13,
  UnsharpMask = 14,
  Vignette = 15,
  Beauty = 16,
};

inline std::optional<EffectMode> effectModeFromRaw(int raw) {
  if (raw < 0 || raw > 16) return std::nullopt;
  return static_cast<EffectMode>(raw);
}

// An effect and its strength.
struct Effect {
  EffectMode mode = EffectMode::None;
  float value = 0.25f;
};

}  // namespace corvane
