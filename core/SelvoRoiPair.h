#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "SelvoRect.h"
#include "SelvoValue.h"

namespace orlith {

// One tile of the composed output: the part of the source frame (src_rect) shown at dst_rect,
// with its decorations and identity. The dictionary form is the only way layout results leave
// the framework; a pair survives the trip unchanged except for isThumbnail, which it does not
// carry.
class SelvoRoiPair {
 public:
  SelvoRoiPair() = default;
  // Starts from the defaults and takes every key whose value has the field's type.
  explicit SelvoRoiPair(const SelvoDictionary& data);

  SelvoDictionary dictionary() const;

  bool operator==(const SelvoRoiPair&) const = default;

  std::string name;
  std::string company;
  std::string title;
  SelvoRect src_rect;
  SelvoRect dst_rect;
  float scale = 1.0f;
  int64_t type = -1;
  bool is_dashed_line = false;
  std::vector<int64_t> edge_config{1, 1, 1, 1};
  bool has_border = false;
  bool isThumbnail = false;
  bool has_pin_icon = false;
  bool has_voice_indicator_icon = false;
  bool has_anchor_point = false;
  bool has_banner_drag_icon = false;
  bool has_ignore_icon = false;
  int64_t roi_id = 0;
  bool has_nametag = false;
  bool has_nametag_inside = false;
  bool has_nametag_outside = false;
};

}  // namespace orlith
