#pragma once

#include <string>
#include <vector>

#include "TestPanorama.h"

namespace visiontest {

// How a room panorama is spoiled, the way real meeting rooms and the camera's stream spoil it.
enum class RoomCondition { plain, dim, backlit, jpeg40, blur9 };

const char* ConditionName(RoomCondition c);

// One panorama of the room set: people cut from the group photos, each scaled so their face is
// faceHeight pixels high, seated round the room in the band where seated and standing people's
// faces appear; seam puts one of them across the 360-degree seam.
struct RoomSpec {
  std::string name;
  int width = 3840;
  int height = 1080;
  bool is360 = true;
  int faceHeight = 64;
  RoomCondition condition = RoomCondition::plain;
  bool seam = false;
  int people = 8;
  int first = 0;  // which labelled face seats first (round-robin over all photos' faces)
};

// The whole set: faces of 24, 32, 44, 64 and 96 pixels in 3840 x 1080 panoramas, two
// 4992 x 1248 panoramas (one across the seam), and 56-pixel copies dim, backlit, compressed
// and motion-blurred. Deterministic: the same pictures every run.
std::vector<RoomSpec> RoomSetSpecs();

// The panorama of a spec, with the true face boxes.
Panorama ComposeRoom(const RoomSpec& spec);

// The room with nobody in it.
Panorama EmptyRoom(int width, int height, bool is360);

}  // namespace visiontest
