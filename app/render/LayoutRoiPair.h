#pragma once

#include <cstdint>
#include <vector>

namespace orlith {
class SelvoRoiPair;
}

namespace corvane {

// A rectangle of a tile: x, y, width, height in pixels (y from the top) and its id.
struct LayoutRect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
  int64_t rect_id = 0;
};

// What the composition needs of one ROI pair of a layout: where a tile comes from in the
// panorama, where it goes in the output, and how it is drawn. Field names follow the
// analysis framework's ROI pair, so its pairs convert member by member.
struct LayoutRoiPair {
  LayoutRect src_rect;
  LayoutRect dst_rect;
  float scale = 1.0f;
  int64_t type = -1;  // 1 tracking, 2 speaker, 11 focus, 12 picture-in-picture
  int64_t roi_id = 0;
  std::vector<int64_t> edge_config{1, 1, 1, 1};  // top, bottom, left, right
  bool has_border = false;
  bool isThumbnail = false;
  bool has_nametag = false;

  // The analysis framework's pair, member by member (the one place that maps them).
  static LayoutRoiPair from(const orlith::SelvoRoiPair& pair);
};

}  // namespace corvane
