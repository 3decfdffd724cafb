#pragma once

#include <QPointF>
#include <cstdint>
#include <string>
#include <vector>

#include "render/BorderMode.h"

namespace corvane {

// One ROI outline over the preview, in the overlay's coordinates (y downwards). The first point
// is the box's top-left corner, from which every decoration hangs.
struct BorderProperty {
  std::vector<QPointF> points;
  float width = 0;
  float height = 0;
  float lineWidth = 1.5f;
  float lineAlpha = 1.0f;  // filled in, not drawn with
  BorderMode mode = BorderMode::normal;
  std::string name;
  std::string title;
  std::string company;
  bool hasTag = false;
  bool hasPin = false;
  bool hasAnchor = false;
  bool hasIgnore = false;
  bool isDashed = false;
  int64_t id = 0;

  bool operator==(const BorderProperty&) const = default;
};

}  // namespace corvane
