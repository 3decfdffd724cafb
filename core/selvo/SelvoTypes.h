#pragma once

#include <cstdint>
#include <string>

// The records the vision library exchanges with the analysis facade.
namespace selvo {

// A rectangle in video pixels (or process pixels where a tracker says so).
// An unset rect has id -1 and score -1.
struct rect {
  float x = 0;
  float y = 0;
  float width = 0;
  float height = 0;
  int id = -1;
  float score = -1.0f;
};

// Edge bits of roi_pair::edge_flags.
enum RoiEdge : unsigned {
  ROI_EDGE_TOP = 1u << 0,
  ROI_EDGE_BOTTOM = 1u << 1,
  ROI_EDGE_LEFT = 1u << 2,
  ROI_EDGE_RIGHT = 1u << 3,
};

// Icon bits of roi_pair::icon_flags.
enum RoiIcon : unsigned {
  ROI_ICON_IGNORE = 1u << 0,
  ROI_ICON_PIN = 1u << 1,
  ROI_ICON_VOICE_INDICATOR = 1u << 2,
  ROI_ICON_ANCHOR_POINT = 1u << 3,
  ROI_ICON_BANNER_DRAG_0 = 1u << 4,
  ROI_ICON_BANNER_DRAG_1 = 1u << 5,
  ROI_ICON_NAMETAG_OUTSIDE_NORMAL = 1u << 6,
  ROI_ICON_NAMETAG_OUTSIDE_TRACK = 1u << 7,
  ROI_ICON_NAMETAG_OUTSIDE_SPEAK = 1u << 8,
  ROI_ICON_NAMETAG_INSIDE_NORMAL = 1u << 9,
  ROI_ICON_NAMETAG_INSIDE_TRACK = 1u << 10,
  ROI_ICON_NAMETAG_INSIDE_SPEAK = 1u << 11,
};

// One tile of a layout: which part of the source (src) is shown where (dst), and how.
// The facade initialises every element to these values before the layout fills it.
struct roi_pair {
  rect src{0, 0, 0, 0, -1, -1.0f};
  rect dst{0, 0, 0, 0, -1, -1.0f};
  float scale = 0;
  bool is_dashed_line = false;
  unsigned edge_flags = 0;
  unsigned icon_flags = 0;
  int aux0 = 0;
  int aux1 = 128;
  int aux2 = 128;
  int aux3 = -1;
  int subwindow_type = -1;
};

// The name tag of a rectangle. Both ids -1 when unset.
struct PersonInfo {
  int person_id = -1;
  int thumbnail_face_id = -1;
  std::string name;
  std::string company;
  std::string title;
  int timestamp = 0;
  bool is_hidden = false;
};

// One stored face of a person.
struct FaceInfo {
  int person_id = -1;
  int face_id = -1;
  int rect_id = -1;
  float similarity = 0;
  int width = 0;
  int height = 0;
  std::string image_path;
};

// Layout modes of the engine (the display modes map onto these).
enum LayoutMode : int {
  LAYOUT_COMPOSE = 0,
  LAYOUT_FOCUS = 1,
  LAYOUT_TOP_DOWN = 2,
  LAYOUT_GRID = 3,
  LAYOUT_SPEAKER = 5,
  LAYOUT_TWO_GROUPS = 6,
  LAYOUT_PRESENTATION = 7,
  LAYOUT_PANORAMA = 8,
  LAYOUT_SINGLE_SPEAKER = 9,
};

// Tracker kinds.
enum TrackerKind : int {
  TRACKER_OPTICAL_FLOW = 1,  // manual rectangles
  TRACKER_CORRELATION = 2,   // detected people
};

}  // namespace selvo
