#include "MedianFlowTarget.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>
#include <opencv2/video/tracking.hpp>

namespace selvo {

namespace {
constexpr int kGrid = 8;               // points per side of the grid
constexpr float kMargin = 0.6f;        // room around the target, in target sides
constexpr int kTargetSide = 56;        // the target's longer side in the patch
constexpr float kMaxBackError = 2.0f;  // median forward-backward error of a followed target
constexpr int kMinPoints = 10;
constexpr float kRecentreAt = 0.08f;  // drift of the region, in region sides
const cv::Size kWindow(9, 9);         // Lucas-Kanade window
constexpr int kLevels = 1;            // pyramid levels above the patch

float median(std::vector<float> v) {
  if (v.empty()) return 0;
  size_t mid = v.size() / 2;
  std::nth_element(v.begin(), v.begin() + long(mid), v.end());
  return v[mid];
}
}  // namespace

bool MedianFlowTarget::Start(const LumaPyramid& frame, const cv::Rect2f& box) {
  if (!(box.width >= 4 && box.height >= 4) || !frame.Base().data) return false;
  box_ = box;
  lost_ = false;
  quality_ = 1;
  Remember(frame);
  return true;
}

void MedianFlowTarget::Remember(const LumaPyramid& frame) {
  float f = kTargetSide / std::max(box_.width, box_.height);
  float w = box_.width * (1 + 2 * kMargin), h = box_.height * (1 + 2 * kMargin);
  region_ = {box_.x - box_.width * kMargin, box_.y - box_.height * kMargin, w, h};
  size_ = {std::max(16, int(std::lround(w * f))), std::max(16, int(std::lround(h * f)))};
  cv::Mat patch;
  frame.Sample(region_, size_, patch);
  patch.convertTo(previous_, CV_8U);
  cv::buildOpticalFlowPyramid(previous_, previousLevels_, kWindow, kLevels);
}

bool MedianFlowTarget::Follow(const LumaPyramid& frame) {
  const LumaPlane& plane = frame.Base();
  if (previous_.empty() || !frame.Base().data) return false;
  // The same region in the new frame.
  cv::Mat patch, current;
  frame.Sample(region_, size_, patch);
  patch.convertTo(current, CV_8U);

  float sx = size_.width / region_.width, sy = size_.height / region_.height;
  cv::Rect2f inPatch((box_.x - region_.x) * sx, (box_.y - region_.y) * sy, box_.width * sx,
                     box_.height * sy);
  std::vector<cv::Point2f> start;
  for (int j = 0; j < kGrid; ++j)
    for (int i = 0; i < kGrid; ++i)
      start.emplace_back(inPatch.x + inPatch.width * (i + 0.5f) / kGrid,
                         inPatch.y + inPatch.height * (j + 0.5f) / kGrid);
  std::vector<cv::Point2f> forward, back;
  std::vector<uchar> okForward, okBack;
  std::vector<float> err;
  // One pyramid of the new patch serves both directions.
  std::vector<cv::Mat> levels;
  cv::buildOpticalFlowPyramid(current, levels, kWindow, kLevels);
  const cv::TermCriteria term(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 10, 0.03);
  cv::calcOpticalFlowPyrLK(previousLevels_, levels, start, forward, okForward, err, kWindow,
                           kLevels, term);
  cv::calcOpticalFlowPyrLK(levels, previousLevels_, forward, back, okBack, err, kWindow, kLevels,
                           term);

  std::vector<int> alive;
  std::vector<float> fb;
  for (size_t i = 0; i < start.size(); ++i) {
    if (!okForward[i] || !okBack[i]) continue;
    float e = float(cv::norm(start[i] - back[i]));
    alive.push_back(int(i));
    fb.push_back(e);
  }
  bool followed = false;
  if (int(alive.size()) >= kMinPoints) {
    // Keep the better half: those that come back closest.
    float limit = median(fb);
    std::vector<int> kept;
    for (size_t k = 0; k < alive.size(); ++k)
      if (fb[k] <= limit) kept.push_back(alive[k]);
    if (int(kept.size()) >= kMinPoints / 2 && limit <= kMaxBackError) {
      std::vector<float> dx, dy, ratio;
      for (int i : kept) {
        dx.push_back(forward[size_t(i)].x - start[size_t(i)].x);
        dy.push_back(forward[size_t(i)].y - start[size_t(i)].y);
      }
      for (size_t a = 0; a < kept.size(); ++a)
        for (size_t b = a + 1; b < kept.size(); ++b) {
          float before = float(cv::norm(start[size_t(kept[a])] - start[size_t(kept[b])]));
          float after = float(cv::norm(forward[size_t(kept[a])] - forward[size_t(kept[b])]));
          if (before > 1) ratio.push_back(after / before);
        }
      float scale = ratio.empty() ? 1.0f : std::clamp(median(ratio), 0.8f, 1.25f);
      float mx = median(dx) / sx, my = median(dy) / sy;
      float cx = box_.x + box_.width / 2 + mx, cy = box_.y + box_.height / 2 + my;
      float w = box_.width * scale, h = box_.height * scale;
      if (plane.is360) {
        cx = std::fmod(cx, float(plane.width));
        if (cx < 0) cx += plane.width;
      }
      bool onPicture =
          cy >= 0 && cy <= plane.height && (plane.is360 || (cx >= 0 && cx <= plane.width));
      if (onPicture && w >= 4 && h >= 4) {
        box_ = {cx - w / 2, cy - h / 2, w, h};
        quality_ = std::clamp(1.0f - limit / (2 * kMaxBackError), 0.05f, 1.0f);
        followed = true;
      }
    }
  }
  if (!followed) {
    // Keep the last good look: the target may come back where it was.
    lost_ = true;
    return false;
  }
  lost_ = false;
  // While the target stays well inside the region, the new patch serves as the next frame's
  // reference as it is; otherwise the region is centred on the target again.
  cv::Rect2f centred(box_.x - box_.width * kMargin, box_.y - box_.height * kMargin,
                     box_.width * (1 + 2 * kMargin), box_.height * (1 + 2 * kMargin));
  float drift = std::max(std::abs(centred.x - region_.x) / region_.width,
                         std::abs(centred.y - region_.y) / region_.height);
  float resize = std::abs(centred.width / region_.width - 1);
  bool wrappedRound = plane.is360 && std::abs(centred.x - region_.x) > plane.width / 2.0f;
  if (drift < kRecentreAt && resize < kRecentreAt && !wrappedRound) {
    previous_ = current;
    previousLevels_.swap(levels);
  } else {
    Remember(frame);
  }
  return true;
}

float MedianFlowTarget::Confidence() const { return lost_ ? 0.0f : quality_; }

}  // namespace selvo
