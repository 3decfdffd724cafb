#include "MedianFlowTarget.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>
#include <opencv2/video/tracking.hpp>

namespace selvo {

namespace {
constexpr int kGrid = 10;              // points per side of the grid
constexpr float kMargin = 0.6f;        // room around the target, in target sides
constexpr int kTargetSide = 56;        // the target's longer side in the patch
constexpr float kMaxBackError = 2.0f;  // median forward-backward error of a followed target
constexpr int kMinPoints = 10;

float median(std::vector<float> v) {
  if (v.empty()) return 0;
  size_t mid = v.size() / 2;
  std::nth_element(v.begin(), v.begin() + long(mid), v.end());
  return v[mid];
}
}  // namespace

bool MedianFlowTarget::Start(const LumaPlane& plane, const cv::Rect2f& box) {
  if (!(box.width >= 4 && box.height >= 4) || !plane.data) return false;
  box_ = box;
  lost_ = false;
  quality_ = 1;
  Remember(plane);
  return true;
}

void MedianFlowTarget::Remember(const LumaPlane& plane) {
  float f = kTargetSide / std::max(box_.width, box_.height);
  float w = box_.width * (1 + 2 * kMargin), h = box_.height * (1 + 2 * kMargin);
  region_ = {box_.x - box_.width * kMargin, box_.y - box_.height * kMargin, w, h};
  size_ = {std::max(16, int(std::lround(w * f))), std::max(16, int(std::lround(h * f)))};
  cv::Mat patch;
  LumaCrop::Sample(plane, region_, size_, patch);
  patch.convertTo(previous_, CV_8U);
}

bool MedianFlowTarget::Follow(const LumaPlane& plane) {
  if (previous_.empty() || !plane.data) return false;
  // The same region in the new frame.
  cv::Mat patch, current;
  LumaCrop::Sample(plane, region_, size_, patch);
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
  const cv::Size win(11, 11);
  const cv::TermCriteria term(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 20, 0.03);
  cv::calcOpticalFlowPyrLK(previous_, current, start, forward, okForward, err, win, 3, term);
  cv::calcOpticalFlowPyrLK(current, previous_, forward, back, okBack, err, win, 3, term);

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
  Remember(plane);
  return true;
}

float MedianFlowTarget::Confidence() const { return lost_ ? 0.0f : quality_; }

}  // namespace selvo
