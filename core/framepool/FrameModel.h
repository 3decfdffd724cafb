#pragma once

#include <cstdint>
#include <vector>

#include "selvo/SelvoTypes.h"

namespace orlith {

// A per-frame record of the pooled path's design; nothing creates one.
struct FrameModel {
  bool rects_updated = false;
  int width = 0;
  int height = 0;
  uint8_t* frame = nullptr;
  double time = 0;
  std::vector<selvo::rect> detect_rects;
  std::vector<selvo::rect> orig_detect_rect;
  std::vector<selvo::rect> adjust_detect_rects;
};

}  // namespace orlith
