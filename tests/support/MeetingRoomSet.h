#pragma once

#include <string>
#include <vector>

namespace testsupport {

// A box in panorama pixels. On a 360-degree panorama x lies in [0, width) and x + width may pass
// the right edge: the box then goes on at x = 0.
struct RoomBox {
  float x = 0;
  float y = 0;
  float width = 0;
  float height = 0;
};

// The light on one person.
enum class RoomLight {
  even,     // the room's own light
  backlit,  // a window behind them: the camera exposes for the window, the face is dark
  dim,      // the far end of the room, where the lights are off
};

// One person of a meeting room, as the camera in the middle of the table sees them.
struct MeetingPerson {
  RoomBox face;        // the face's true box
  RoomBox body;        // head and shoulders: hair to chest, shoulder to shoulder
  float distance = 0;  // metres from the camera; nearer people hide those behind them
  float turn = 0;      // -1 to 1: how far the face is turned to the side, 0 facing the camera
  float hidden = 0;    // share of the face's width a nearer person covers
  RoomLight light = RoomLight::even;
  bool acrossSeam = false;  // the face passes the 360-degree seam
  int photoFace = 0;        // which labelled face of the test photographs they are
};

// A conference-room panorama: 8 to 12 seated people at 1 to 6 m (faces 20 to 90 pixels high),
// one across the seam, some partly hidden behind nearer ones, some turned to the side, a window
// behind some, a dim far end, and the camera's MJPEG compression (`jpegQuality`).
struct MeetingRoom {
  std::string name;
  int width = 3840;
  int height = 1080;
  bool is360 = true;
  int jpegQuality = 70;
  std::vector<MeetingPerson> people;  // far to near: the order they are drawn in
  std::vector<RoomBox> windows;       // bright windows on the wall
  float dimFrom = 0, dimTo = 0;       // the dark far end: x from dimFrom round to dimTo
};

// The meeting rooms of the tests: each room layout at both camera sizes, 3840 x 1080 and
// 4992 x 1248, with the same faces in pixels (the larger camera in a larger room). The people
// come without pixels, so layout tests use them as they are; MeetingRoomPicture renders them.
// Deterministic: the same rooms every run.
class MeetingRoomSet {
 public:
  static std::vector<MeetingRoom> Rooms();

  // Other rooms of the same kind, made from a seed (seed 0 gives Rooms()): another number of
  // people, other seats, distances, turns, windows, far end, photographs and compression, at
  // both camera sizes. Hold-out rooms, kept out of the tests' own: the detector and the layout
  // are measured on them as on the set, never tuned on them.
  static std::vector<MeetingRoom> Rooms(unsigned seed);

  // The seeds listed in CORVANE_HOLDOUT_SEEDS (comma- or space-separated); none when unset.
  static std::vector<unsigned> HoldOutSeeds();

  // The width of a face turned by `turn`, as a share of its width facing the camera.
  static float TurnedWidth(float turn);

  // The torso below a person's shoulders, in face heights: its centre below the face's top,
  // its half-width (times TurnedWidth) and half-height. It is what hides people behind them.
  static constexpr float kTorsoCentre = 2.3f;
  static constexpr float kTorsoHalfWidth = 1.15f;
  static constexpr float kTorsoHalfHeight = 1.0f;

  // The size class of a face height for reports: "20-29", "30-44", "45-64" or "65-90".
  static std::string SizeClass(float faceHeight);
};

}  // namespace testsupport
