#pragma once

namespace corvane {

// A picture control the camera manager holds: whether it may be used, its range, and its
// current position as a fraction of that range (0 to 1).
struct Brightness {
  bool enable = false;
  float max = 0;
  float min = 0;
  float value = 0;

  bool operator==(const Brightness&) const = default;
};

// The same four fields, one type per control. The sharpness control is held as a Brightness.
struct Contrast : Brightness {};
struct Saturation : Brightness {};
struct Gamma : Brightness {};
// Noise reduction is a picture effect, not a camera control; it has the same record.
struct NR : Brightness {};

}  // namespace corvane
