#include "CandidateMosaic.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <opencv2/core.hpp>

#include "FaceMerger.h"

namespace selvo {

namespace {
// The face's pixels should span at least this much of the range; the stretch maps its 2nd and
// 98th percentiles to these levels.
constexpr int kGoodContrast = 150;
constexpr double kLow = 24, kHigh = 224;
// Two candidate boxes are one place when this much of the smaller lies in the larger.
constexpr float kSamePlace = 0.5f;
// Where a partly hidden person's face shows beside a found one: its centre beside the found
// face's (more than kBesideNear and less than kBesideFar face widths across) and below it
// (between kBesideBelowFrom and kBesideBelowTo face heights under the found face's top: the
// camera sits below the seated people's eyes, so a farther face shows lower, beside the nearer
// person's shoulders), and at most kBesideSmaller of its height.
constexpr float kBesideNear = 0.6f;
constexpr float kBesideFar = 2.5f;
constexpr float kBesideBelowFrom = 0.5f;
constexpr float kBesideBelowTo = 3.0f;
constexpr float kBesideSmaller = 0.85f;
// Where the face behind usually shows, in the same measures.
constexpr float kBehindNear = 1.0f;
constexpr float kBehindFar = 1.9f;
constexpr float kBehindBelowFrom = 1.4f;
constexpr float kBehindBelowTo = 2.9f;
constexpr float kBehindLarger = 0.2f;
}  // namespace

void CandidateMosaic::AddPlaces(std::vector<rect>& places, std::vector<rect> candidates,
                                float wrapWidth, size_t most) {
  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const rect& a, const rect& b) { return a.score > b.score; });
  auto same = [&](const rect& c, const rect& p) {
    return FaceMerger::Covered(c, p, wrapWidth) > kSamePlace;
  };
  size_t added = 0;
  for (const rect& c : candidates) {
    if (added >= most) break;
    if (std::none_of(places.begin(), places.end(), [&](const rect& p) { return same(c, p); })) {
      places.push_back(c);
      ++added;
    }
  }
}

namespace {
// Whether the faint box's centre lies between `near` and `far` found face widths across from
// the found face's centre and between `from` and `to` found face heights below its top.
bool Within(const rect& faint, const rect& found, float wrapWidth, float near, float far,
            float from, float to) {
  float dx = (faint.x + faint.width / 2) - (found.x + found.width / 2);
  if (wrapWidth > 0) dx -= std::round(dx / wrapWidth) * wrapWidth;
  float across = std::abs(dx) / found.width;
  float below = (faint.y + faint.height / 2) - found.y;
  return across > near && across < far && below > found.height * from && below < found.height * to;
}
}  // namespace

bool CandidateMosaic::BesideFound(const rect& faint, const rect& found, float wrapWidth) {
  return faint.height <= found.height * kBesideSmaller &&
         Within(faint, found, wrapWidth, kBesideNear, kBesideFar, kBesideBelowFrom, kBesideBelowTo);
}

bool CandidateMosaic::Behind(const rect& faint, const rect& found, float wrapWidth) {
  return BesideFound(faint, found, wrapWidth) && faint.height >= found.height * kBehindLarger &&
         Within(faint, found, wrapWidth, kBehindNear, kBehindFar, kBehindBelowFrom, kBehindBelowTo);
}

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

void CandidateMosaic::Build(const LumaPlane& plane, const std::vector<rect>& places, size_t first,
                            cv::Mat& input, std::vector<Cell>& cells) {
  input.create(kSide, kSide, CV_8UC1);
  input.setTo(128);
  cells.clear();
  cv::Mat sampled;
  for (size_t j = first; j < CellCount(places.size()) && cells.size() < size_t(kCapacity); ++j) {
    const rect& c = places[j / kViews];
    float side = std::max(c.width, c.height) * kContextSides;
    Cell shown{cv::Rect2f(c.x + c.width / 2 - side / 2, c.y + c.height / 2 - side / 2, side, side),
               j % kViews == 1};
    int k = int(cells.size());
    cv::Mat cell =
        input(cv::Rect((k % kCellsAcross) * kCell, (k / kCellsAcross) * kCell, kCell, kCell));
    LumaCrop::Sample(plane, shown.region, cell.size(), sampled);
    if (shown.mirrored) cv::flip(sampled, sampled, 1);
    sampled.convertTo(cell, CV_8U);
    Normalise(cell, cv::Rect(kCell / 3, kCell / 3, kCell / 3, kCell / 3));
    cells.push_back(shown);
  }
}

std::vector<rect> CandidateMosaic::MapBack(const std::vector<rect>& faces,
                                           const std::vector<Cell>& cells, int width, bool is360,
                                           std::vector<size_t>* cellOf) {
  std::vector<rect> out;
  if (cellOf) cellOf->clear();
  for (const rect& f : faces) {
    float cx = f.x + f.width / 2, cy = f.y + f.height / 2;
    int col = int(std::floor(cx / kCell)), row = int(std::floor(cy / kCell));
    if (col < 0 || row < 0 || col >= kCellsAcross || row >= kCellsAcross) continue;
    size_t k = size_t(row * kCellsAcross + col);
    if (k >= cells.size()) continue;
    // Only the candidate itself: a neighbour in its surroundings is not what was looked at.
    float lx = cx - float(col * kCell), ly = cy - float(row * kCell);
    if (std::abs(lx - kCell / 2.0f) > kCell / 6.0f || std::abs(ly - kCell / 2.0f) > kCell / 6.0f)
      continue;
    const Cell& cell = cells[k];
    float left = f.x - float(col * kCell);
    if (cell.mirrored) left = float(kCell) - (left + f.width);
    float scale = cell.region.width / float(kCell);
    rect m = f;
    m.x = cell.region.x + left * scale;
    m.y = cell.region.y + (f.y - float(row * kCell)) * scale;
    m.width = f.width * scale;
    m.height = f.height * scale;
    if (is360 && width > 0) {
      m.x = std::fmod(m.x, float(width));
      if (m.x < 0) m.x += float(width);
    }
    out.push_back(m);
    if (cellOf) cellOf->push_back(k);
  }
  return out;
}

std::vector<rect> CandidateMosaic::Confirmed(const std::vector<rect>& faces,
                                             const std::vector<size_t>& cellOf, float confidence,
                                             float agreed) {
  // Each place's best score in each view.
  std::map<size_t, std::array<float, kViews>> best;
  for (size_t n = 0; n < faces.size() && n < cellOf.size(); ++n) {
    float& b = best[cellOf[n] / kViews][cellOf[n] % kViews];
    b = std::max(b, faces[n].score);
  }
  std::vector<rect> out;
  for (size_t n = 0; n < faces.size() && n < cellOf.size(); ++n) {
    const auto& views = best[cellOf[n] / kViews];
    const bool one = *std::max_element(views.begin(), views.end()) >= confidence;
    const bool all = *std::min_element(views.begin(), views.end()) >= agreed;
    if (faces[n].score >= (one ? confidence : agreed) && (one || all)) out.push_back(faces[n]);
  }
  return out;
}

}  // namespace selvo
