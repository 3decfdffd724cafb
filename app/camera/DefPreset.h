#pragma once

namespace corvane {

// The picture-control values read from the camera at connection, which the reset puts back.
// `flicker` is the control board's flicker choice as its integer raw value.
struct DefPreset {
  float brightness = 0;
  int flicker = 0;
  float contrast = 0;
  float saturation = 0;
  float sharpness = 0;
  float gamma = 0;
  float nr = 0;
  // The picture effect's lighting (0..100): 50 leaves the camera's picture as it is.
  float lighting = 50;

  bool operator==(const DefPreset&) const = default;
};

}  // namespace corvane
