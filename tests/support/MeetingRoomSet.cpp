#include "MeetingRoomSet.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <sstream>

namespace testsupport {

namespace {

// One seat of a room layout. Faces are given in pixels; the room's geometry places them.
struct Seat {
  float azimuth;        // degrees round the camera, 0 at the seam
  float faceHeight;     // pixels
  float turn = 0;       // see MeetingPerson
  bool window = false;  // a window behind them
  int behind = -1;      // the seat of the nearer person who partly hides them
  float share = 0;      // how much of their face that person covers
};

struct Layout {
  std::string name;
  std::vector<Seat> seats;
  float dimFrom, dimTo;  // azimuths of the dark far end
  int jpegQuality;
  int firstPhotoFace = 0;  // added to every seat's photograph pick
};

// Camera in the middle of the table, a little below the seated people's faces: a face of h
// pixels sits about 2.5 h above the horizon (0.45 m above the lens, a face about 0.18 m high),
// so the nearest faces are the highest. The horizon lies just below the picture's middle.
constexpr float kHorizon = 0.52f;
constexpr float kFaceAboveHorizon = 2.5f;
// Distance from face height: 0.18 m at 10.7 pixels a degree (3840 round the turn); the larger
// camera keeps the same faces in pixels in a room 1.3 times larger.
constexpr float kFaceMetrePixels = 108.0f;

// The nearer person's body (shoulders and the torso drawn below them) half-width at row y.
float BodyHalfWidth(const MeetingPerson& p, float y) {
  float fh = p.face.height, sq = MeetingRoomSet::TurnedWidth(p.turn);
  float top = p.face.y;
  struct E {
    float cy, rx, ry;
  };
  float half = 0;
  for (E e : {E{top + MeetingRoomSet::kTorsoCentre * fh, MeetingRoomSet::kTorsoHalfWidth * fh * sq,
                MeetingRoomSet::kTorsoHalfHeight * fh},
              E{top + 2.0f * fh, 1.2f * fh * sq, 0.8f * fh}}) {
    float d = (y - e.cy) / e.ry;
    if (std::abs(d) < 1) half = std::max(half, e.rx * std::sqrt(1 - d * d));
  }
  return half;
}

const std::vector<Layout>& Layouts() {
  static const std::vector<Layout> layouts = {
      {"boardroom",
       {{0, 56},
        {34, 86, 0.35f},
        {70, 44, 0, true},
        {102, 32, -0.5f},
        {150, 24},
        {178, 20, 0.3f},
        {205, 22},
        {250, 38, 0, true},
        {300, 80, -0.3f},
        {0, 28, 0, false, 8, 0.35f}},
       140,
       220,
       70},
      {"long table",
       {{0, 34, 0.4f},
        {24, 90},
        {48, 62, -0.4f},
        {76, 40, 0, true},
        {110, 28},
        {140, 22, -0.35f},
        {170, 20},
        {196, 21},
        {225, 26, 0.45f},
        {262, 48, 0, true},
        {316, 74},
        {0, 30, 0, false, 10, 0.3f}},
       150,
       215,
       65},
      {"huddle room",
       {{0, 64, -0.3f},
        {55, 82},
        {110, 52, 0.5f, true},
        {160, 30},
        {188, 24, 0, false},
        {235, 46, -0.45f},
        {290, 88, 0.25f},
        {0, 26, 0, false, 6, 0.4f}},
       150,
       210,
       75},
      {"training room",
       {{359.6f, 42},
        {28, 70, 0.3f},
        {64, 36, 0, true},
        {96, 26, -0.4f},
        {128, 22},
        {160, 20},
        {186, 23, 0.35f},
        {214, 29},
        {248, 50, 0, true},
        {284, 84},
        {0, 32, -0.3f, false, 1, 0.3f}},
       120,
       225,
       70},
  };
  return layouts;
}

bool InAzimuths(float a, float from, float to) {
  return from <= to ? a >= from && a <= to : a >= from || a <= to;
}

MeetingRoom Build(const Layout& layout, int width, int height, float metrePixels) {
  MeetingRoom room;
  room.name = layout.name + " " + std::to_string(width) + "x" + std::to_string(height);
  room.width = width;
  room.height = height;
  room.jpegQuality = layout.jpegQuality;
  room.dimFrom = layout.dimFrom / 360.0f * float(width);
  room.dimTo = layout.dimTo / 360.0f * float(width);
  const float horizon = kHorizon * float(height);
  std::vector<MeetingPerson> people;
  for (size_t i = 0; i < layout.seats.size(); ++i) {
    const Seat& s = layout.seats[i];
    MeetingPerson p;
    float fh = s.faceHeight, fw = fh * MeetingRoomSet::TurnedWidth(s.turn);
    // People are of different heights: a little up or down, the same every run.
    float lift = float(int(i * 37 % 7) - 3) * 0.08f;
    float cy = horizon - kFaceAboveHorizon * fh + lift * fh;
    float cx = s.azimuth / 360.0f * float(width);
    if (s.behind >= 0) {
      // Beside the nearer person's body, `share` of the face behind it.
      const MeetingPerson& near = people[size_t(s.behind)];
      float ncx = near.face.x + near.face.width / 2;
      float half = BodyHalfWidth(near, cy);
      cx = ncx + half + fw * (0.5f - s.share);
      p.hidden = s.share;
    }
    cx = std::fmod(std::fmod(cx, float(width)) + float(width), float(width));
    // Round to whole pixels: the picture places them there.
    float left = std::round(cx - fw / 2), top = std::round(cy - fh / 2);
    float x = std::fmod(left + float(width), float(width));
    p.face = {x, top, fw, fh};
    p.acrossSeam = x + fw > float(width);
    p.body = {std::fmod(cx - 1.2f * fh * MeetingRoomSet::TurnedWidth(s.turn) + float(width),
                        float(width)),
              top - 0.25f * fh, 2.4f * fh * MeetingRoomSet::TurnedWidth(s.turn), 2.35f * fh};
    p.distance = metrePixels / fh;
    p.turn = s.turn;
    p.light = s.window                                              ? RoomLight::backlit
              : InAzimuths(s.azimuth, layout.dimFrom, layout.dimTo) ? RoomLight::dim
                                                                    : RoomLight::even;
    p.photoFace = int(i * 5 + layout.name.size()) + layout.firstPhotoFace;
    if (s.window) {
      float ww = std::max(5.0f * fh, 0.05f * float(width));
      room.windows.push_back({std::fmod(cx - ww / 2 + float(width), float(width)),
                              0.14f * float(height), ww, 0.5f * float(height)});
    }
    people.push_back(p);
  }
  // Far to near, so nearer people are drawn over farther ones.
  std::stable_sort(
      people.begin(), people.end(),
      [](const MeetingPerson& a, const MeetingPerson& b) { return a.distance > b.distance; });
  room.people = std::move(people);
  return room;
}

// A room of the kind the set holds, drawn from `seed`: 8 to 12 people round the table, the far
// end (smallest faces, 20 to 24 pixels, in the dark) somewhere across the room from the seam,
// faces growing towards the camera's sides up to 60 to 90 pixels, one person on the seam, one
// partly hidden beside a near person, some turned, one or two before a window.
Layout Generate(unsigned seed) {
  std::mt19937 rng(seed);
  auto uniform = [&](float lo, float hi) {
    return lo + (hi - lo) * float(rng() % 10000) / 9999.0f;
  };
  Layout layout;
  layout.name = "hold-out " + std::to_string(seed);
  const int seated = 7 + int(rng() % 5);  // plus the one partly hidden
  const float far = uniform(140, 220);
  const float nearest = uniform(62, 90), farthest = uniform(20, 24);
  const float spacing = 360.0f / float(seated);
  std::vector<float> azimuths = {0};
  for (int i = 1; i < seated; ++i) azimuths.push_back(spacing * (float(i) + uniform(-0.2f, 0.2f)));
  // The seat nearest the far end's middle is the farthest face.
  size_t farSeat = 0;
  for (size_t i = 0; i < azimuths.size(); ++i)
    if (std::abs(azimuths[i] - far) < std::abs(azimuths[farSeat] - far)) farSeat = i;
  for (size_t i = 0; i < azimuths.size(); ++i) {
    float a = azimuths[i];
    float across = std::abs(a - far);
    across = std::min(across, 360 - across) / 180.0f;  // 0 at the far end, 1 opposite it
    Seat s{a, farthest + (nearest - farthest) * std::pow(across, 1.3f)};
    if (i == farSeat) s.faceHeight = farthest;
    s.faceHeight = std::clamp(s.faceHeight + (i == farSeat ? 0 : uniform(-3, 3)), farthest, 90.0f);
    if (rng() % 5 < 2) s.turn = uniform(-0.5f, 0.5f);
    layout.seats.push_back(s);
  }
  // The largest face is the nearest person's.
  auto largest =
      std::max_element(layout.seats.begin(), layout.seats.end(),
                       [](const Seat& a, const Seat& b) { return a.faceHeight < b.faceHeight; });
  largest->faceHeight = nearest;
  // At least two people turned to the side.
  int turned = 0;
  for (const Seat& s : layout.seats) turned += std::abs(s.turn) >= 0.3f;
  for (size_t i = 1; turned < 2 && i < layout.seats.size(); ++i)
    if (std::abs(layout.seats[i].turn) < 0.3f) {
      layout.seats[i].turn = rng() % 2 ? 0.4f : -0.4f;
      ++turned;
    }
  // The dark far end holds two or three seats; windows behind one or two people away from it.
  const float dimHalf = spacing * uniform(1.05f, 1.25f);
  for (int w = 0, n = 1 + int(rng() % 2), tries = 0; w < n && tries < 50; ++tries) {
    size_t i = 1 + rng() % (layout.seats.size() - 1);
    float d = std::abs(layout.seats[i].azimuth - far);
    if (std::min(d, 360 - d) > dimHalf + 10 && !layout.seats[i].window) {
      layout.seats[i].window = true;
      ++w;
    }
  }
  // Someone partly hidden beside a near person (one with a face of 50 pixels or more, not on
  // the seam: one person sits across it).
  std::vector<int> near;
  for (size_t i = 1; i < layout.seats.size(); ++i)
    if (layout.seats[i].faceHeight >= 50 && !layout.seats[i].window &&
        layout.seats[i].azimuth < 330)
      near.push_back(int(i));
  if (near.empty()) near.push_back(1);
  Seat hidden{0, 0};
  hidden.behind = near[rng() % near.size()];
  hidden.faceHeight =
      std::max(24.0f, layout.seats[size_t(hidden.behind)].faceHeight * uniform(0.35f, 0.45f));
  hidden.share = uniform(0.25f, 0.4f);
  if (rng() % 3 == 0) hidden.turn = uniform(-0.35f, 0.35f);
  layout.seats.push_back(hidden);
  layout.dimFrom = far - dimHalf;
  layout.dimTo = far + dimHalf;
  layout.jpegQuality = 60 + int(rng() % 21);
  layout.firstPhotoFace = int(rng() % 97);
  return layout;
}

}  // namespace

std::vector<MeetingRoom> MeetingRoomSet::Rooms(unsigned seed) {
  if (seed == 0) return Rooms();
  Layout layout = Generate(seed);
  return {Build(layout, 3840, 1080, kFaceMetrePixels),
          Build(layout, 4992, 1248, kFaceMetrePixels * 4992.0f / 3840.0f)};
}

std::vector<unsigned> MeetingRoomSet::HoldOutSeeds() {
  std::vector<unsigned> seeds;
  const char* list = std::getenv("CORVANE_HOLDOUT_SEEDS");
  if (!list) return seeds;
  std::string text(list);
  std::replace(text.begin(), text.end(), ',', ' ');
  std::istringstream in(text);
  for (unsigned long seed; in >> seed;)
    if (seed > 0) seeds.push_back(unsigned(seed));
  return seeds;
}

float MeetingRoomSet::TurnedWidth(float turn) {
  return 1.0f - 0.5f * std::min(1.0f, std::abs(turn));
}

std::vector<MeetingRoom> MeetingRoomSet::Rooms() {
  std::vector<MeetingRoom> rooms;
  for (const Layout& layout : Layouts()) {
    rooms.push_back(Build(layout, 3840, 1080, kFaceMetrePixels));
    rooms.push_back(Build(layout, 4992, 1248, kFaceMetrePixels * 4992.0f / 3840.0f));
  }
  return rooms;
}

std::string MeetingRoomSet::SizeClass(float faceHeight) {
  if (faceHeight < 30) return "20-29";
  if (faceHeight < 45) return "30-44";
  if (faceHeight < 65) return "45-64";
  return "65-90";
}

}  // namespace testsupport
