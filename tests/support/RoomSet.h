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

// A room: a lit ceiling, a wall with windows and panels, a table across the bottom, all with a
// little texture so the picture is not flat; `bright` puts windows all round.
cv::Mat RoomBackground(int width, int height, bool bright);

// The room with nobody in it.
Panorama EmptyRoom(int width, int height, bool is360);

// Puts one person (a head-and-shoulders cut of a group photo, feathered so neighbours in the
// photo do not come along) into the room with their face `faceHeight` high, the face's box
// top-left at (x, y), the person's colours times `darken`. `turn` (-1 to 1, 0 facing the camera)
// turns the face to the side: positive to the picture's right. Returns the face box in the
// room's pixels: MeetingRoomSet::TurnedWidth(turn) of the face's width, x wrapped on a 360-degree
// room.
cv::Rect2f PlacePerson(cv::Mat& room, bool is360, const std::string& photo,
                       const cv::Rect2f& photoFace, int faceHeight, int x, int y, float darken,
                       float turn = 0);

// The labelled faces of all the photos, in a fixed order; PlaceLabelledFace places face
// `index` (taken round that order) as PlacePerson does.
int LabelledFaceCount();
cv::Rect2f PlaceLabelledFace(cv::Mat& room, bool is360, int index, int faceHeight, int x, int y,
                             float darken, float turn = 0);

}  // namespace visiontest
