#pragma once

#include <memory>
#include <vector>

#include "SelvoRoiPair.h"
#include "render/BorderProperty.h"

namespace corvane {

// The overlay's outlines of the preview's control pairs: each pair with a border becomes a
// closed outline in the overlay's coordinates (a panorama `panoramaWidth` wide drawn `width`
// wide), its mode from the pair's type, and a second one at the left for a pair that runs past
// the panorama's right edge (the focus and picture-in-picture frames stay where they are). The
// ignore icons show only while no edit mode is open.
class BorderOutlines {
 public:
  using RoiPairs = std::vector<std::shared_ptr<orlith::SelvoRoiPair>>;
  static std::vector<BorderProperty> make(const RoiPairs& control, double width,
                                          double panoramaWidth, bool editModeNone);
};

}  // namespace corvane
