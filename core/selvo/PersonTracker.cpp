#include "PersonTracker.h"

#include <cmath>
#include <string>

#include "CorrelationTarget.h"
#include "MedianFlowTarget.h"
#include "OrlithLog.h"

namespace selvo {

namespace {
// Halvings of the frame the targets are resampled from: down to a sixteenth.
constexpr int kPyramidLevels = 5;
}  // namespace

bool PersonTracker::Init(int width, int height, bool is360, int kind) {
  std::lock_guard lock(mutex_);
  if (width <= 0 || height <= 0 || (kind != TRACKER_CORRELATION && kind != TRACKER_OPTICAL_FLOW)) {
    ORLITH_LOG_ERROR("tracker cannot work at " + std::to_string(width) + "x" +
                     std::to_string(height) + " with kind " + std::to_string(kind));
    kind_ = 0;
    return false;
  }
  width_ = width;
  height_ = height;
  is360_ = is360;
  kind_ = kind;
  targets_.clear();
  results_.clear();
  resultsNew_ = false;
  return true;
}

void PersonTracker::SetFrameManager(ISELVO_FRAME_MANAGER* frameManager) {
  std::lock_guard lock(mutex_);
  frameManager_ = frameManager;
}

std::unique_ptr<TargetModel> PersonTracker::MakeModel() const {
  if (kind_ == TRACKER_OPTICAL_FLOW) return std::make_unique<MedianFlowTarget>();
  return std::make_unique<CorrelationTarget>();
}

void PersonTracker::SetTargets(const rect* rects, int count) {
  std::lock_guard lock(mutex_);
  std::vector<Target> next;
  for (int i = 0; rects && i < count; ++i) {
    const rect& r = rects[i];
    if (!(r.width > 0 && r.height > 0)) continue;
    Target t;
    t.given = r;
    // A target handed in again where it already is keeps what its model has learnt.
    for (Target& old : targets_) {
      if (old.given.id != r.id || !old.model) continue;
      if (std::abs(old.given.x - r.x) < 1 && std::abs(old.given.y - r.y) < 1 &&
          std::abs(old.given.width - r.width) < 1 && std::abs(old.given.height - r.height) < 1) {
        t.model = std::move(old.model);
        t.lost = old.lost;
      }
      break;
    }
    next.push_back(std::move(t));
  }
  targets_ = std::move(next);
}

void PersonTracker::Track(unsigned frameId) {
  std::lock_guard lock(mutex_);
  if (!kind_ || !frameManager_ || targets_.empty()) return;
  FrameView view;
  if (!frameManager_->GetFrame(frameId, &view) || !view.luma || view.width <= 0 ||
      view.height <= 0) {
    ORLITH_LOG_WARNING("frame " + std::to_string(frameId) + " is not open; nothing tracked");
    return;
  }
  frame_.Build({view.luma, view.width, view.height, view.bytesPerRow, is360_}, kPyramidLevels);
  // Process pixels to frame pixels.
  float sx = float(view.width) / float(width_), sy = float(view.height) / float(height_);
  results_.clear();
  for (Target& t : targets_) {
    if (!t.model) {
      auto model = MakeModel();
      cv::Rect2f box(t.given.x * sx, t.given.y * sy, t.given.width * sx, t.given.height * sy);
      if (!model->Start(frame_, box)) {
        t.lost = true;
        rect r = t.given;
        r.score = 0;
        results_.push_back(r);
        continue;
      }
      t.model = std::move(model);
      t.lost = false;
    } else {
      t.lost = !t.model->Follow(frame_);
    }
    cv::Rect2f b = t.model->Box();
    float x = b.x / sx;
    if (is360_) {
      x = std::fmod(x, float(width_));
      if (x < 0) x += float(width_);
    }
    rect r{x, b.y / sy, b.width / sx, b.height / sy, t.given.id, t.model->Confidence()};
    results_.push_back(r);
    // What the model now holds is what a repeated SetTargets with these values means.
    t.given.x = r.x, t.given.y = r.y, t.given.width = r.width, t.given.height = r.height;
  }
  resultsNew_ = true;
}

void PersonTracker::GetResultCount(int* count) {
  std::lock_guard lock(mutex_);
  if (!count) return;
  *count = resultsNew_ ? int(results_.size()) : -1;
  resultsNew_ = false;
}

void PersonTracker::GetResults(rect* rects, int count) {
  std::lock_guard lock(mutex_);
  for (int i = 0; rects && i < count && i < int(results_.size()); ++i)
    rects[i] = results_[size_t(i)];
}

}  // namespace selvo
