#pragma once

#include <opencv2/core.hpp>
#include <vector>

#include "LumaCrop.h"
#include "SelvoTypes.h"

namespace selvo {

// The second look at faces the pass scored below the confidence (far, dim, backlit, turned or
// partly hidden faces score low in a tile where they are a few pixels of the model's input):
// up to four of them, each with its surroundings cut out, enlarged so the face fills a good part
// of the model's input and its contrast stretched from the face's own pixels, side by side in
// one picture for one forward pass. Faces the model then finds in the middle of a cell come back
// in panorama pixels.
class CandidateMosaic {
 public:
  static constexpr int kSide = 256;  // the model's input
  static constexpr int kCellsAcross = 2;
  static constexpr int kCell = kSide / kCellsAcross;
  static constexpr int kCapacity = kCellsAcross * kCellsAcross;
  // The cut round a candidate, in face sides: the face is a third of its cell.
  static constexpr float kContextSides = 3.0f;

  // Fills `input` (kSide x kSide, 8-bit) with the cells of candidates [first, first +
  // kCapacity) and `regions` with the panorama region each cell shows (x may pass the edges of a
  // 360-degree panorama). Empty cells are mid-grey.
  static void Build(const LumaPlane& plane, const std::vector<rect>& candidates, size_t first,
                    cv::Mat& input, std::vector<cv::Rect2f>& regions);

  // The faces found in `input` whose centre lies in the middle third of a cell, mapped back to
  // panorama pixels (x wrapped into [0, width) on a 360-degree panorama).
  static std::vector<rect> MapBack(const std::vector<rect>& faces,
                                   const std::vector<cv::Rect2f>& regions, int width, bool is360);

  // Stretches the cell's contrast so the pixels of `face` (the cell's middle) span most of the
  // range: a dim or backlit face comes out as a lit one would. A face already of good contrast
  // is left as it is.
  static void Normalise(cv::Mat& cell, const cv::Rect& face);
};

}  // namespace selvo
