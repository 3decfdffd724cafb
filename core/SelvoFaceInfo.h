#pragma once

#include <cstdint>
#include <string>

namespace orlith {

// One stored face of a person, as the facade hands it out.
class SelvoFaceInfo {
 public:
  int16_t person_id = 0;
  int16_t face_id = 0;
  int16_t rect_id = 0;
  float similarity = 0.0f;
  int64_t width = 0;
  int64_t height = 0;
  std::string image_path;
};

}  // namespace orlith
