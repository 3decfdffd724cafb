#include "SpeakerTracker.h"

#include <algorithm>
#include <cmath>

#include "Framing.h"
#include "PairEmitter.h"

namespace selvo {

void SpeakerTracker::reset() {
  active_ = candidate_ = -1;
  activeSince_ = candidateSince_ = candidateLast_ = 0;
  lastHeard_.clear();
  recent_.clear();
}

int SpeakerTracker::dwellMs(const VoiceGeometry& geometry) {
  return geometry.highlightMs > 0 ? std::max(500, geometry.highlightMs) : kDefaultDwellMs;
}

double SpeakerTracker::columnForAngle(int angle, const VoiceGeometry& geometry) {
  const double w = geometry.width;
  if (w <= 0) return -1;
  double source;
  if (geometry.is360) {
    source = Framing::wrap(w * 0.5 + angle / 360.0 * w, w);
  } else {
    if (angle < -90 || angle > 90) return -1;
    source = std::clamp(w * 0.5 + angle / 180.0 * w, 0.0, w);
  }
  // The column as a box of no width, through the boxes' own way to the display.
  LayoutGeometry view;
  view.is360 = geometry.is360;
  view.videoWidth = static_cast<int>(std::lround(w));
  view.mirror = geometry.mirror;
  view.contentOffset = geometry.contentOffset;
  rect column{};
  column.x = static_cast<float>(source);
  return PairEmitter::toDisplay(column, view).x;
}

int SpeakerTracker::personAt(double column, const std::vector<LayoutPerson>& people,
                             const VoiceGeometry& geometry) {
  if (column < 0 || geometry.width <= 0) return -1;
  const double degreesPerPixel = (geometry.is360 ? 360.0 : 180.0) / geometry.width;
  int best = -1;
  double bestDistance = 0;
  for (const LayoutPerson& p : people) {
    const double d =
        std::fabs(Framing::delta(column, p.centerX(), geometry.width, geometry.is360)) *
        degreesPerPixel;
    if (d > geometry.angleTolerance) continue;
    if (best < 0 || d < bestDistance) {
      best = p.id;
      bestDistance = d;
    }
  }
  return best;
}

void SpeakerTracker::heard(int id, int64_t nowUs) {
  auto it = std::find_if(lastHeard_.begin(), lastHeard_.end(),
                         [&](const Heard& h) { return h.id == id; });
  if (it == lastHeard_.end()) {
    lastHeard_.push_back({id, nowUs});
  } else {
    it->at = nowUs;
  }
}

void SpeakerTracker::addSample(bool isVoice, int angle, int64_t nowUs,
                               const std::vector<LayoutPerson>& people,
                               const VoiceGeometry& geometry) {
  if (!isVoice) return;
  const int id = personAt(columnForAngle(angle, geometry), people, geometry);
  if (id == -1) return;
  heard(id, nowUs);
  if (id == active_) {
    candidate_ = -1;
    return;
  }
  if (id != candidate_ || nowUs - candidateLast_ > kStreakGapUs) {
    candidate_ = id;
    candidateSince_ = nowUs;
  }
  candidateLast_ = nowUs;
  const bool confirmed = nowUs - candidateSince_ >= kConfirmUs;
  const bool dwellOver =
      active_ == -1 || nowUs - activeSince_ >= static_cast<int64_t>(dwellMs(geometry)) * 1000;
  if (confirmed && dwellOver) {
    active_ = candidate_;
    activeSince_ = nowUs;
    candidate_ = -1;
  }
}

void SpeakerTracker::refresh(int64_t nowUs, const std::vector<LayoutPerson>& people,
                             const VoiceGeometry& geometry) {
  const auto present = [&](int id) {
    return std::any_of(people.begin(), people.end(),
                       [&](const LayoutPerson& p) { return p.id == id; });
  };
  const int64_t keepUs =
      static_cast<int64_t>(std::max(geometry.highlightMs, geometry.clearMs)) * 1000;
  lastHeard_.erase(
      std::remove_if(lastHeard_.begin(), lastHeard_.end(),
                     [&](const Heard& h) { return !present(h.id) || nowUs - h.at > keepUs; }),
      lastHeard_.end());
  if (active_ != -1) {
    auto it = std::find_if(lastHeard_.begin(), lastHeard_.end(),
                           [&](const Heard& h) { return h.id == active_; });
    const bool stale =
        it == lastHeard_.end() || nowUs - it->at > static_cast<int64_t>(geometry.clearMs) * 1000;
    if (stale || !present(active_)) active_ = -1;
  }
  if (candidate_ != -1 && (!present(candidate_) || nowUs - candidateLast_ > kStreakGapUs)) {
    candidate_ = -1;
  }
  std::vector<Heard> order = lastHeard_;
  std::sort(order.begin(), order.end(), [](const Heard& a, const Heard& b) {
    return a.at != b.at ? a.at > b.at : a.id < b.id;
  });
  recent_.clear();
  for (const Heard& h : order) recent_.push_back(h.id);
}

bool SpeakerTracker::isHighlighted(int id, int64_t nowUs, const VoiceGeometry& geometry) const {
  for (const Heard& h : lastHeard_) {
    if (h.id == id) return nowUs - h.at <= static_cast<int64_t>(geometry.highlightMs) * 1000;
  }
  return false;
}

}  // namespace selvo
