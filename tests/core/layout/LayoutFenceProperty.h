#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "LayoutScenes.h"

namespace layouttest {

// Seated rooms: people round a 360-degree camera (or in front of a 180-degree one) at random
// angles and distances, never overlapping one another, some of them across the seam.
inline Room seatedRoom(std::mt19937& rng, int mode) {
  Room room;
  room.is360 = rng() % 4 != 0;
  room.width = room.is360 ? 3840 : 1920;
  room.mode = mode;
  room.fit = 1 + static_cast<int>(rng() % 3);
  room.mirror = rng() % 2 == 0;
  room.offset = room.is360 && rng() % 2 ? static_cast<int>(rng() % room.width) : 0;
  const int n = static_cast<int>(rng() % 10);
  for (int tries = 0; static_cast<int>(room.people.size()) < n && tries < 400; ++tries) {
    // Nearer people are larger; heads at about the same height.
    const float w = 150 + static_cast<float>(rng() % 180);
    const float h = w * 1.1f;
    const float cy = 480 + static_cast<float>(rng() % 80);
    const float x = room.is360 ? static_cast<float>(rng() % room.width)
                               : static_cast<float>(rng() % static_cast<unsigned>(room.width - w));
    bool clear = true;
    for (const rect& o : room.people) {
      double d = std::fabs((x + w / 2) - (o.x + o.width / 2));
      if (room.is360) d = std::min(d, room.width - d);
      if (d < (w + o.width) / 2 + 20) clear = false;
    }
    if (clear)
      room.people.push_back(box(x, cy - h / 2, w, h, 100 + static_cast<int>(room.people.size())));
  }
  if (!room.people.empty() && rng() % 3 == 0) {
    room.pins.push_back(100 + static_cast<int>(rng() % room.people.size()));
  }
  return room;
}

// One tile's crop on the sampled source: pieces split at the 360-degree seam joined again.
struct Crop {
  rect src;  // x + width may pass the frame width on a 360-degree camera
  rect dst;
  int id = -1;
};

inline std::vector<Crop> crops(const std::vector<roi_pair>& pairs, int w, bool is360) {
  std::vector<Crop> out;
  for (size_t i = 0; i < pairs.size(); ++i) {
    Crop c{pairs[i].src, pairs[i].dst, pairs[i].src.id};
    if (is360 && i + 1 < pairs.size()) {
      const roi_pair& a = pairs[i];
      const roi_pair& b = pairs[i + 1];
      if (a.src.id == b.src.id && a.dst.y == b.dst.y && a.dst.height == b.dst.height &&
          std::fabs(a.dst.x + a.dst.width - b.dst.x) < 0.05 &&
          std::fabs(a.src.x + a.src.width - w) < 0.05 && b.src.x == 0 && a.src.y == b.src.y) {
        c.src.width += b.src.width;
        c.dst.width += b.dst.width;
        ++i;
      }
    }
    out.push_back(c);
  }
  return out;
}

// A person's columns on the sampled source (mirrored when the picture is).
inline double sourceX(const rect& person, const Room& room) {
  double x = room.mirror ? room.width - person.x - person.width : person.x;
  return room.is360 ? std::fmod(x + 2.0 * room.width, room.width) : x;
}

// How much of the person's width the crop covers (at any turn on a 360-degree camera).
inline double covered(const Crop& c, const rect& person, const Room& room) {
  const double x = sourceX(person, room);
  double sum = 0;
  const double w = room.width;
  for (double shift : room.is360 ? std::vector<double>{-w, 0.0, w} : std::vector<double>{0.0}) {
    const double lo = std::max<double>(x, c.src.x + shift);
    const double hi = std::min<double>(x + person.width, c.src.x + c.src.width + shift);
    sum += std::max(0.0, hi - lo);
  }
  return sum;
}

inline bool whole(const Crop& c, const rect& person, const Room& room) {
  return covered(c, person, room) >= person.width - 0.5 && c.src.y <= person.y + 0.5 &&
         c.src.y + c.src.height >= person.y + person.height - 0.5;
}

// Whether the crop cuts the person: it shows part of them, not all.
inline bool cuts(const Crop& c, const rect& person, const Room& room) {
  if (covered(c, person, room) <= 0.5) return false;
  if (c.src.y >= person.y + person.height - 0.5 || c.src.y + c.src.height <= person.y + 0.5) {
    return false;
  }
  return !whole(c, person, room);
}

// The part of a person's box no edge may run through (as the engine sees it): the middle half of
// its width (on a 180-degree picture reaching the picture's edge where the box touches it), its
// top four fifths.
inline rect core(const rect& person, const Room& room) {
  rect c = person;
  c.x = person.x + person.width * 0.25f;
  c.width = person.width * 0.5f;
  c.height = person.height * 0.8f;
  if (!room.is360) {
    if (person.x <= 0.5f) {
      c.width += c.x - person.x;
      c.x = person.x;
    }
    if (person.x + person.width >= room.width - 0.5f) c.width = person.x + person.width - c.x;
  }
  return c;
}

// Whether a whole-turn view's edge (its start) runs through the person.
inline bool seamCuts(const Crop& c, const rect& person, const Room& room) {
  if (!room.is360) return false;  // a 180-degree picture has no seam
  const double into = std::fmod(c.src.x - sourceX(person, room) + 2.0 * room.width, room.width);
  return into > 0.5 && into < person.width - 0.5;
}

enum class CropKind { Fenced, WholeTurn, Free };

// Which rules a crop obeys: the user's rectangles, the compose band and the top-down halves are
// free; a 360-degree panorama's seam is fenced only where the user set no base position (a
// 180-degree one has none).
inline CropKind kindOf(const Crop& c, const Room& room) {
  if (c.id == 50 || c.id == 51) return CropKind::Free;
  if (room.mode == 2) return CropKind::Free;
  if (room.mode == 0 && c.dst.y == 0 && c.dst.height == 214 && c.id == -1) return CropKind::Free;
  if (std::fabs(c.src.width - room.width) < 0.5) {
    return !room.is360 || room.offset == 0 ? CropKind::WholeTurn : CropKind::Free;
  }
  return CropKind::Fenced;
}

}  // namespace layouttest
