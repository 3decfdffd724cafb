#pragma once

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "LayoutHarness.h"

namespace layouttest {

// A meeting room as a camera in the middle of the table sees it: the true face boxes of the people
// seated round it, in panorama pixels.
struct MeetingRoom {
  std::string name;
  int width = 3840;
  int height = 1080;
  std::vector<rect> faces;  // ids from 1
};

// Rooms of 8 to 12 seated people at 1 to 6 m (faces 20 to 90 pixels wide), one of them across the
// 360-degree seam, some partly hidden behind a nearer neighbour, at both camera sizes. Made from
// fixed seeds: the same rooms every run.
inline std::vector<MeetingRoom> meetingRooms() {
  std::vector<MeetingRoom> rooms;
  const int sizes[][2] = {{3840, 1080}, {4992, 1248}};
  for (int seed = 1; seed <= 6; ++seed) {
    for (const auto& size : sizes) {
      std::mt19937 rng(static_cast<unsigned>(seed * 7919 + size[0]));
      const auto uniform = [&](double lo, double hi) {
        return lo + (hi - lo) * static_cast<double>(rng() % 10000) / 9999.0;
      };
      MeetingRoom room;
      room.width = size[0];
      room.height = size[1];
      room.name = "room " + std::to_string(seed);
      const int n = 8 + (seed * 3 + size[0]) % 5;
      const double spacing = static_cast<double>(room.width) / n;
      const double horizon = room.height * 0.45;
      double lastX = 0, lastW = 0;
      for (int i = 0; i < n; ++i) {
        const double distance = uniform(1.0, 6.0);
        double fw = std::clamp(90.0 / distance, 20.0, 90.0);
        // The first person sits across the seam; every fourth (in some rooms) half behind the
        // nearer one before them.
        double centre =
            i == 0 ? uniform(-0.2, 0.2) * fw : i * spacing + uniform(-0.2, 0.2) * spacing;
        const bool hidden = i > 1 && i % 4 == 3 && seed % 2 == 1;
        if (hidden) {
          fw = std::min(fw, lastW * 0.6);
          fw = std::max(fw, 20.0);
          centre = lastX + lastW * 0.9;
        }
        const double fh = fw * 1.2;
        const double cy = horizon + (fw - 50) * 0.6 + uniform(-15, 15) - (hidden ? fh * 0.3 : 0);
        double x = centre - fw / 2;
        x = std::fmod(x + room.width, static_cast<double>(room.width));
        room.faces.push_back(box(static_cast<float>(x), static_cast<float>(cy - fh / 2),
                                 static_cast<float>(fw), static_cast<float>(fh), i + 1));
        lastX = centre;
        lastW = fw;
      }
      rooms.push_back(std::move(room));
    }
  }
  return rooms;
}

}  // namespace layouttest
