#pragma once

#include "selvo/SelvoTypes.h"

namespace orlith {

// Where a rectangle of the main list came from.
enum RectSource : int { kManualRect = 1, kDetectedRect = 2 };

// One entry of the rectangle manager's main list. Both rectangles carry the entry's id.
struct Extended_Rect {
  selvo::rect display;   // what the layout shows, hit tests and overlap tests use
  selvo::rect tracking;  // what the trackers follow; for a detection, the raw box
  int lost_count = 0;    // detection results since a detected entry was last matched
  int source = kManualRect;
  bool tracked = false;
  selvo::PersonInfo person;
};

}  // namespace orlith
