#pragma once

#include <cstdint>
#include <string>

namespace corvane {

// One picture preset: the camera picture values the user picks by name on the control board.
// A default-made preset is the empty one: empty strings, every number 0.
struct PresetModel {
  std::string name;
  std::string displayName;  // the localised name; never stored in a file
  double ev = 0;            // exposure compensation
  int64_t flickr = 0;       // anti-flicker level; 0 is the automatic choice
  int64_t lighting = 0;
  int64_t contrast = 0;
  int64_t saturation = 0;
  int64_t sharpness = 0;
  int64_t gamma = 0;
  int64_t nr = 0;  // noise reduction

  bool operator==(const PresetModel&) const = default;
};

}  // namespace corvane
