#pragma once

#include <vector>

#include "camera/AnalysisFacade.h"

namespace corvane {

// The boxes and ignore areas an analysis holds, taken before it is set up anew and put into the
// new set-up, in the source's pixels: the drawn boxes and the pinned ones (pinned again) and the
// ignore areas.
class CarriedBoxes {
 public:
  struct Box {
    AnalysisFacade::IntRect rect;
    bool pinned = false;
  };

  CarriedBoxes() = default;
  // What `facade`, set up for a source of width x height, holds now.
  static CarriedBoxes take(AnalysisFacade& facade, int width, int height);

  bool taken() const { return taken_; }
  // Whether the boxes belong to a source of this size.
  bool fits(int width, int height) const { return width == width_ && height == height_; }
  const std::vector<Box>& boxes() const { return boxes_; }
  const std::vector<AnalysisFacade::IntRect>& ignoreAreas() const { return ignoreAreas_; }
  // Into a facade set up anew for a source of the same size.
  void putInto(AnalysisFacade& facade) const;

 private:
  bool taken_ = false;
  int width_ = 0;
  int height_ = 0;
  std::vector<Box> boxes_;
  std::vector<AnalysisFacade::IntRect> ignoreAreas_;
};

}  // namespace corvane
