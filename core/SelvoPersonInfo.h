#pragma once

#include <cstdint>
#include <string>

namespace orlith {

// A person the face recogniser knows, as the facade hands it out.
class SelvoPersonInfo {
 public:
  int16_t person_id = 0;
  int64_t thumbnail_face_id = 0;
  std::string name;
  std::string company;
  std::string title;
  int64_t timestamp = 0;
};

}  // namespace orlith
