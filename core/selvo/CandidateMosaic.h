#pragma once

#include <opencv2/core.hpp>
#include <vector>

#include "LumaCrop.h"
#include "SelvoTypes.h"

namespace selvo {

// The second look at faces the pass scored below the confidence (far, dim, backlit, turned or
// partly hidden faces score low in a tile where they are a few pixels of the model's input).
// The candidates are first gathered into places (a small face gives several boxes of different
// sizes round it); each place is cut out with its surroundings, enlarged so the face fills a good
// part of the model's input, its contrast stretched from the face's own pixels, and shown twice:
// as it is and mirrored. The model's score of a small face swings with a pixel's shift of its
// framing; the mirrored view is a second, independent framing of the same face at no extra cut.
// Four cells side by side make one picture for one forward pass. Faces the model then finds in
// the middle of a cell come back in panorama pixels.
class CandidateMosaic {
 public:
  static constexpr int kSide = 256;  // the model's input
  static constexpr int kCellsAcross = 2;
  static constexpr int kCell = kSide / kCellsAcross;
  static constexpr int kCapacity = kCellsAcross * kCellsAcross;
  // The cut round a candidate, in face sides: the face is a third of its cell.
  static constexpr float kContextSides = 3.0f;
  // The views of each place: as it is, then mirrored.
  static constexpr int kViews = 2;

  // What one cell of the mosaic shows: the panorama region (x may pass the edges of a
  // 360-degree panorama), mirrored left to right or not.
  struct Cell {
    cv::Rect2f region;
    bool mirrored = false;
  };

  // Adds to `places` up to `most` new places to look at among `candidates`, best score first: a
  // candidate whose box lies mostly inside a place's (half of the smaller box) or holds it is
  // that place (x compared across the seam when wrapWidth > 0).
  static void AddPlaces(std::vector<rect>& places, std::vector<rect> candidates, float wrapWidth,
                        size_t most);

  // Whether a faint box (too faint to be a candidate on its own) sits where someone partly
  // hidden by `found` would: beside the found person's body, not on it, and smaller than the
  // found face (farther away). People behind and beside a nearer one show a sliver of a face
  // that scores low however it is framed in a tile.
  static bool BesideFound(const rect& faint, const rect& found, float wrapWidth);

  // Whether a faint box beside `found` (see BesideFound) sits where the face of someone seated
  // behind and beside that person usually shows: about one and a half face widths across from
  // the found face, about two face heights below its top (farther faces show nearer the
  // horizon), at least a fifth of its size. These are looked at before other faint boxes.
  static bool Behind(const rect& faint, const rect& found, float wrapWidth);

  // Fills `input` (kSide x kSide, 8-bit) with cells [first, first + kCapacity) of the places'
  // views (cell j shows place j / kViews, mirrored when j % kViews is 1) and `cells` with what
  // each shows. Empty cells are mid-grey.
  static void Build(const LumaPlane& plane, const std::vector<rect>& places, size_t first,
                    cv::Mat& input, std::vector<Cell>& cells);

  // The faces found in `input` whose centre lies in the middle third of a cell, mapped back to
  // panorama pixels (x wrapped into [0, width) on a 360-degree panorama). With `cellOf`, the
  // index in `cells` each face came from.
  static std::vector<rect> MapBack(const std::vector<rect>& faces, const std::vector<Cell>& cells,
                                   int width, bool is360, std::vector<size_t>* cellOf = nullptr);

  // The faces of the places the closer look confirms, among `faces` found in the cells
  // `cellOf` (counted over all mosaics: place cell / kViews, view cell % kViews). A place is
  // confirmed when one view finds its face at `confidence`, or when every view finds it at
  // `agreed`: a partly hidden or tiny face rarely reaches the confidence in either framing, while
  // a pattern that only looks like a face in one framing seldom does in the mirrored one too. A
  // place confirmed by one view keeps the faces at the confidence, one confirmed by agreement
  // those at `agreed`.
  static std::vector<rect> Confirmed(const std::vector<rect>& faces,
                                     const std::vector<size_t>& cellOf, float confidence,
                                     float agreed);

  // How many cells the places' views fill.
  static size_t CellCount(size_t places) { return places * size_t(kViews); }

  // Stretches the cell's contrast so the pixels of `face` (the cell's middle) span most of the
  // range: a dim or backlit face comes out as a lit one would. A face already of good contrast
  // is left as it is.
  static void Normalise(cv::Mat& cell, const cv::Rect& face);
};

}  // namespace selvo
