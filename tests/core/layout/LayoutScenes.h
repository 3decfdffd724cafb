#pragma once

#include <string>
#include <vector>

#include "LayoutHarness.h"

namespace layouttest {

// The meeting room the golden plans are made of: four people around a 360-degree camera, the
// first one named and two of them tracked; a focus and a presentation rectangle; person 1 speaks.
inline void seatMeeting(Harness& h, int mode) {
  h.engine.SetLayoutMode(mode);
  h.engine.EnableBeamforming(true);
  h.tracked = {box(300, 380, 320, 320, 1), box(2100, 360, 340, 340, 3)};
  h.untracked = {box(1200, 400, 320, 320, 2), box(3000, 390, 320, 320, 4)};
  h.names = {{1, "Ana"}};
  h.focus = box(1440, 405, 960, 540, 50);
  h.has_focus = mode == 1;
  h.board = box(1500, 300, 800, 450, 51);
  h.has_board = mode == 7;
  static const int angle = -140;  // column W/2 - 140/360 W = 427: person 1
  if (mode == 5 || mode == 9) h.voice_angle = &angle;
}

// A random room for the property tests: the camera, the mode and its settings, and the people.
struct Room {
  bool is360 = true;
  int width = 3840;
  int mode = 0;
  int fit = 1;
  bool mirror = false;
  int offset = 0;
  std::vector<rect> people;
  std::vector<rect> ignore;
  std::vector<int> pins;
};

// Seats the room: every second person tracked, the focus and presentation rectangles where the
// mode uses them.
inline void seat(Harness& h, const Room& room) {
  h.engine.SetLayoutMode(room.mode);
  h.engine.SetFitPolicy(room.fit);
  h.engine.SetMirror(room.mirror);
  h.engine.EnableBeamforming(true);
  h.offset = room.offset;
  h.tracked.clear();
  h.untracked.clear();
  for (size_t i = 0; i < room.people.size(); ++i) {
    (i % 2 ? h.tracked : h.untracked).push_back(room.people[i]);
  }
  h.ignore = room.ignore;
  h.pins = room.pins;
  h.focus = box(1000, 300, 800, 450, 50);
  h.has_focus = room.mode == 1 && room.fit == 1;
  h.board = box(200, 200, 640, 360, 51);
  h.has_board = room.mode == 7;
}

inline std::string plan(const Frame& f) {
  std::string out;
  for (int t = 0; t < 3; ++t) out += "main " + std::to_string(t + 1) + "\n" + describe(f.main[t]);
  out += "tiles\n" + describe(f.tiles) + "borders\n" + describe(f.borders);
  return out;
}

}  // namespace layouttest
