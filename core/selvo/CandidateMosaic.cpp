#include "CandidateMosaic.h"

#include <algorithm>
#include <cmath>

namespace selvo {

namespace {
// The face's pixels should span at least this much of the range; the stretch maps its 2nd and
// 98th percentiles to these levels.
constexpr int kGoodContrast = 150;
constexpr double kLow = 24, kHigh = 224;
}  // namespace

void CandidateMosaic::Normalise(cv::Mat& cell, const cv::Rect& face) {
  cv::Rect r = face & cv::Rect(0, 0, cell.cols, cell.rows);
  if (r.area() <= 0) return;
  int histogram[256] = {};
  for (int y = r.y; y < r.y + r.height; ++y) {
    const uint8_t* row = cell.ptr<uint8_t>(y);
    for (int x = r.x; x < r.x + r.width; ++x) ++histogram[row[x]];
  }
  const int n = r.area();
  int lo = 0, hi = 255;
  for (int sum = 0; lo < 255 && (sum += histogram[lo]) < n * 2 / 100;) ++lo;
  for (int sum = 0; hi > 0 && (sum += histogram[hi]) < n * 2 / 100;) --hi;
  if (hi - lo >= kGoodContrast || hi <= lo) return;
  double gain = (kHigh - kLow) / double(hi - lo);
  cell.convertTo(cell, -1, gain, kLow - gain * lo);
}

void CandidateMosaic::Build(const LumaPlane& plane, const std::vector<rect>& candidates,
                            size_t first, cv::Mat& input, std::vector<cv::Rect2f>& regions) {
  input.create(kSide, kSide, CV_8UC1);
  input.setTo(128);
  regions.clear();
  cv::Mat sampled;
  for (size_t i = first; i < candidates.size() && regions.size() < size_t(kCapacity); ++i) {
    const rect& c = candidates[i];
    float side = std::max(c.width, c.height) * kContextSides;
    cv::Rect2f region(c.x + c.width / 2 - side / 2, c.y + c.height / 2 - side / 2, side, side);
    int k = int(regions.size());
    cv::Mat cell =
        input(cv::Rect((k % kCellsAcross) * kCell, (k / kCellsAcross) * kCell, kCell, kCell));
    LumaCrop::Sample(plane, region, cell.size(), sampled);
    sampled.convertTo(cell, CV_8U);
    Normalise(cell, cv::Rect(kCell / 3, kCell / 3, kCell / 3, kCell / 3));
    regions.push_back(region);
  }
}

std::vector<rect> CandidateMosaic::MapBack(const std::vector<rect>& faces,
                                           const std::vector<cv::Rect2f>& regions, int width,
                                           bool is360) {
  std::vector<rect> out;
  for (const rect& f : faces) {
    float cx = f.x + f.width / 2, cy = f.y + f.height / 2;
    int col = int(cx) / kCell, row = int(cy) / kCell;
    if (col < 0 || row < 0 || col >= kCellsAcross || row >= kCellsAcross) continue;
    size_t k = size_t(row * kCellsAcross + col);
    if (k >= regions.size()) continue;
    // Only the candidate itself: a neighbour in its surroundings is not what was looked at.
    float lx = cx - float(col * kCell), ly = cy - float(row * kCell);
    if (std::abs(lx - kCell / 2.0f) > kCell / 6.0f || std::abs(ly - kCell / 2.0f) > kCell / 6.0f)
      continue;
    const cv::Rect2f& region = regions[k];
    float scale = region.width / float(kCell);
    rect m = f;
    m.x = region.x + (f.x - float(col * kCell)) * scale;
    m.y = region.y + (f.y - float(row * kCell)) * scale;
    m.width = f.width * scale;
    m.height = f.height * scale;
    if (is360 && width > 0) {
      m.x = std::fmod(m.x, float(width));
      if (m.x < 0) m.x += float(width);
    }
    out.push_back(m);
  }
  return out;
}

}  // namespace selvo
