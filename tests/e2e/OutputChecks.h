#pragma once

#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "render/LayoutRoiPair.h"

namespace selvo {
class BlazeFaceModel;
}

namespace e2e {

// What the demo clip's maker wrote beside the clip: where each photograph lies in the unturned
// panorama and how fast the panorama turns.
struct Placement {
  struct Photo {
    std::string file;
    int x = 0, y = 0, width = 0, height = 0;
    int photoWidth = 0, photoHeight = 0;
  };
  int width = 0, height = 0;
  double scrollPixelsPerFrame = 0;
  std::vector<Photo> photos;

  // Empty photos when the file is missing or unreadable; `error` says why.
  static Placement load(const std::string& path, std::string* error);
};

// A labelled person of the clip: the face box in unturned panorama pixels.
struct Person {
  std::string photo;
  cv::Rect2d face;
};

// The labelled faces of the photographs (tests/data/vision/face_boxes.json) mapped into the
// unturned panorama; faces the crop cut away are left out.
std::vector<Person> labelledPeople(const Placement& placement, const std::string& faceBoxesPath);

// The first frame as the clip's maker composed it, made here with OpenCV from the photographs:
// BGR, placement.width x placement.height.
cv::Mat unturnedPanorama(const Placement& placement, const std::string& photosDir);

// How far (pixels, 0..width-1) `frame` (BGR or BGRA, the panorama's size) is turned left against
// `unturned`: frame(x) shows unturned((x + turn) mod width). Measured from the pictures, to a few
// pixels, because the player does not say which frame of the clip it hands out.
int measureTurn(const cv::Mat& frame, const cv::Mat& unturned);

// A face box of the unturned panorama where it lies in a frame turned by `turn`.
cv::Rect2d turned(const cv::Rect2d& face, int turn, int width);

// Head and shoulders around a face, as a person's whole shot must hold them: modest on purpose
// (hair above, shoulders below and beside), so it checks framing and not the engine's own margin.
cv::Rect2d headAndShoulders(const cv::Rect2d& face);

// Whether `box` lies inside the tile's source rectangle, allowing for the 360-degree wrap, within
// `slack` pixels.
bool holds(const corvane::LayoutRect& src, const cv::Rect2d& box, int width, double slack = 2);

// The people (indices into `faces`) that no found box claims: each face needs a box of its own
// around its centre (at any turn across the seam) whose centre lies within `near` face widths of
// the face's across (a box the picture's edge cut is spared that), the nearest box going to the
// nearest face.
std::vector<size_t> unfoundPeople(const std::vector<cv::Rect2d>& faces,
                                  const std::vector<cv::Rect2d>& found, int width, double near);

// Output tiles: pairs that are drawn into the picture (not thumbnails, a real size).
std::vector<corvane::LayoutRoiPair> tiles(const std::vector<corvane::LayoutRoiPair>& pairs);

// The tile's pixels against a reference made with OpenCV alone: the source rectangle cut from
// `source` (wrapping at the seam) and scaled bilinearly to the destination. Mean absolute
// difference per channel (0..255) over the tile's inside, away from its drawn edges.
double tileDifference(const cv::Mat& picture, const cv::Mat& source,
                      const corvane::LayoutRoiPair& tile);

// Channel level (0..255) at or below which a pixel counts as black.
constexpr double kBlackLevel = 8;

// Mean level (0..255) above which the source counts as visibly lit. A dark coat or shadow just
// above black in the flat reference can fall to black in the band's projected picture; a hole is
// black where the source is clearly not.
constexpr double kLitLevel = 24;

// Blocks of `side` x `side` output pixels (on a grid from the top left) that are black although
// the source the pairs draw there is lit (mean above kLitLevel), or that no tile covers: holes in the output that the
// virtual camera would send.
std::vector<cv::Rect> blackBlocks(const cv::Mat& picture, const cv::Mat& source,
                                  const std::vector<corvane::LayoutRoiPair>& pairs, int side = 16);

// The tile's part of the picture (BGR).
cv::Mat tilePixels(const cv::Mat& picture, const corvane::LayoutRoiPair& tile);

// A face the face model found: its box in the picture's pixels and its score.
struct Found {
  cv::Rect2d box;
  float score = 0;
};

// Faces the face model finds in a BGR picture (square windows of it scaled to its input),
// overlapping finds joined, best first.
std::vector<Found> findFaces(selvo::BlazeFaceModel& model, const cv::Mat& bgr,
                             float minScore = 0.5f);

// A box of the tile's picture where it lies in the source frame.
cv::Rect2d toSource(const corvane::LayoutRoiPair& tile, const cv::Rect2d& box);

// Distinct grey levels over a sample of the picture: a blank picture has one or two.
int greyLevels(const cv::Mat& bgr);

// Mean absolute difference per channel of two BGR pictures of the same size.
double meanDifference(const cv::Mat& a, const cv::Mat& b);

}  // namespace e2e
