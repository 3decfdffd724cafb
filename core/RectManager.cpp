#include "RectManager.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "OrlithLog.h"
#include "OutlineBudget.h"
#include "RectIdCounter.h"
#include "SamePlace.h"

namespace orlith {

namespace {

using rect = selvo::rect;

int roundUpEven(int n) { return n % 2 ? n + 1 : n; }

// x mod W into [0, W).
int wrap(int x, int W) {
  if (W <= 0) return x;
  int m = x % W;
  return m < 0 ? m + W : m;
}

bool sameId(const Extended_Rect& e, int id) { return e.display.id == id; }

}  // namespace

RectManager::RectManager() { resetPins(); }

RectManager::Request RectManager::makeRequest(RequestKind kind, int id) {
  Request request;
  request.kind = kind;
  request.id = id;
  return request;
}

RectManager::~RectManager() = default;

void RectManager::validateRectSize(rect& r, int W, int H, int minSide, bool is360, float ratio) {
  int minW = std::max(int(r.width * ratio), minSide);
  int minH = std::max(minSide, int(r.height * ratio));
  if (minW >= W) minW = 320;
  if (minH >= W) minH = 320;
  minH = roundUpEven(minH);
  if (float(minH) > r.height) {
    r.y = float(int(r.height * 0.5f + r.y) - minH / 2);
    r.height = float(minH);
  }
  if (r.y < 0) r.y = 0;
  if (r.y + r.height > float(H)) r.y -= float(int(r.y + r.height) - H);
  minW = roundUpEven(minW);
  if (float(minW) > r.width) {
    r.x = float(int(r.width * 0.5f + r.x) - minW / 2);
    r.width = float(minW);
  }
  if (r.width > float(W)) r.width = float(W);
  if (is360) {
    if (r.x < 0) {
      r.x += float(W);
    } else if (r.x >= float(W)) {
      r.x = float(wrap(int(r.x), W));
    }
  } else {
    if (r.x < 0) r.x = 0;
    if (r.x + r.width > float(W)) r.x -= float(int(r.x + r.width) - W);
  }
}

float RectManager::overlapRatio(const rect& a, const rect& b) {
  if (!(b.x < a.x + a.width && b.y < a.y + a.height && a.x < b.x + b.width &&
        a.y < b.y + b.height)) {
    return 0;
  }
  float ix = std::min(a.x + a.width, b.x + b.width) - std::max(a.x, b.x);
  float iy = std::min(a.y + a.height, b.y + b.height) - std::max(a.y, b.y);
  float inter = ix * iy;
  float uni = a.width * a.height + b.width * b.height - inter;
  return uni > 0 ? inter / uni : 0;
}

bool RectManager::SetVideoInfo(int width, int height, bool is360) {
  width_.store(width);
  height_.store(height);
  is360_.store(is360);
  return true;
}

void RectManager::SetBasePositionOffset(int offset) {
  if (!is360_.load()) return;
  int W = width_.load();
  offset_.store(W > 0 ? wrap(offset, W) : offset);
}

void RectManager::SetMaxGridCount(int count) {
  std::lock_guard lock(mutex_);
  maxGridCount_ = std::max(0, count);
  mode3Pins_.ids.resize(size_t(maxGridCount_), -1);
  if (mode3Pins_.cursor >= maxGridCount_) mode3Pins_.cursor = 0;
}

// ---- ids and conversions (mutex_ held) ----

bool RectManager::idInUse(int id) const {
  for (const auto& e : entries_) {
    if (e.display.id == id) return true;
  }
  for (const auto& r : requests_) {
    if (r.kind == RequestKind::Add && r.entry.display.id == id) return true;
  }
  for (const auto& a : ignoreAreas_) {
    if (a.id == id) return true;
  }
  for (const auto& a : newIgnoreAreas_) {
    if (a.id == id) return true;
  }
  for (const auto& [detection, entry] : detectionIds_) {
    if (detection == id) return true;
  }
  return false;
}

int RectManager::NewRectId() const {
  std::lock_guard lock(mutex_);
  return RectIdCounter::shared().next([this](int id) { return idInUse(id); });
}

int RectManager::storedX(double x, double width) const {
  int W = width_.load();
  double v = mirror_.load() ? double(W) - x - width : x;
  int s = int(v) + offset_.load();
  if (is360_.load()) return wrap(s, W);
  if (s >= W) s = W - int(width);
  if (s < 0) s = 0;
  return s;
}

void RectManager::toDisplay(const rect& r, int& x, int& y, int& w, int& h) const {
  int W = width_.load();
  w = int(r.width);
  h = int(r.height);
  int v = int(double(r.x) - offset_.load());
  if (mirror_.load()) v = W - v - w;
  if (v >= W) v = is360_.load() ? wrap(v, W) : W - w;
  if (v < 0) v = is360_.load() ? v + W : 0;
  x = v;
  y = int(r.y);
}

bool RectManager::hit(const rect& r, int d, int y) const {
  int W = width_.load();
  float m = (r.x > float(d) && r.x + r.width > float(W)) ? float(d + W) : float(d);
  return r.x <= m && m <= r.x + r.width && r.y <= float(y) && float(y) <= r.y + r.height;
}

// ---- drawing and adding ----

void RectManager::SetTempRect(rect r) {
  std::lock_guard lock(mutex_);
  if (r.x == 0 && r.y == 0 && r.width == 0 && r.height == 0) {
    drawing_ = false;  // the rubber band is gone
    return;
  }
  r.x = float(storedX(r.x, r.width));
  tempRect_ = r;
  drawing_ = true;
}

void RectManager::CancelTempRect() {
  std::lock_guard lock(mutex_);
  drawing_ = false;
}

bool RectManager::GetTempRect(rect& r) const {
  std::lock_guard lock(mutex_);
  if (!drawing_) return false;
  r = tempRect_;
  return true;
}

int RectManager::projectedEntries() const {
  // The main list as it will be once the waiting requests are carried out: a clearing waiting
  // there frees every place, an addition or a removal waiting there counts already.
  std::vector<int> ids;
  for (const auto& e : entries_) ids.push_back(e.display.id);
  for (const Request& request : requests_) {
    if (request.kind == RequestKind::ClearAll) ids.clear();
    if (request.kind == RequestKind::Add) ids.push_back(request.entry.display.id);
    if (request.kind == RequestKind::Remove) std::erase(ids, request.id);
  }
  return int(ids.size());
}

int RectManager::ignoreAreaCount() const {
  return int(ignoreAreas_.size() + newIgnoreAreas_.size());
}

int RectManager::outlineRoom() const {
  const int entries = projectedEntries();
  return std::min(kMaxRects - entries, OutlineBudget::room(entries, ignoreAreaCount()));
}

bool RectManager::framedAlready(const rect& fitted) const {
  const int W = width_.load();
  const bool is360 = is360_.load();
  const float threshold = overlapThreshold_.load();
  auto same = [&](const rect& r) { return SamePlace::test(r, fitted, threshold, W, is360); };
  for (const auto& e : entries_) {
    if (same(e.display)) return true;
  }
  for (const Request& request : requests_) {
    if (request.kind == RequestKind::Add && same(request.entry.display)) return true;
  }
  return false;
}

bool RectManager::addManual(rect r, bool toIgnore) {
  if (outlineRoom() <= 0) {
    drawing_ = false;
    return false;
  }
  int W = width_.load(), H = height_.load();
  bool is360 = is360_.load();
  r.x = float(storedX(r.x, r.width));
  r.id = RectIdCounter::shared().next([this](int id) { return idInUse(id); });
  if (toIgnore) {
    validateRectSize(r, W, H, kIgnoreAreaMinSide, is360, 0);
    newIgnoreAreas_.push_back(r);
  } else {
    validateRectSize(r, W, H, minSide_.load(), is360, 0);
    Request request = makeRequest(RequestKind::Add);
    request.entry.display = r;
    request.entry.tracking = r;
    request.entry.source = kManualRect;
    requests_.push_back(request);
  }
  // Only a rectangle the user drew (its rubber band was up) is the newest one, which the layout
  // marks as being worked on: the boxes a start or a loaded layout puts back are not.
  if (drawing_) {
    latestManualId_ = r.id;
    newManual_ = true;
  }
  drawing_ = false;
  tempRect_.x = tempRect_.y = tempRect_.width = tempRect_.height = 0;
  return true;
}

bool RectManager::AddManualRect(rect r) {
  std::lock_guard lock(mutex_);
  return addManual(r, ignoreEditing_.load());
}

bool RectManager::AddIgnoreManualRect(rect r) {
  std::lock_guard lock(mutex_);
  return addManual(r, true);
}

void RectManager::GetLatestManulRectId(bool& isNew, int& id) {
  std::lock_guard lock(mutex_);
  isNew = newManual_;
  id = latestManualId_;
  newManual_ = false;
  latestManualId_ = -1;
}

// ---- requests ----

void RectManager::RemoveRect(bool, int id) {
  std::lock_guard lock(mutex_);
  if (ignoreEditing_.load()) {
    auto gone = [id](const rect& a) { return a.id == id; };
    std::erase_if(ignoreAreas_, gone);
    std::erase_if(newIgnoreAreas_, gone);
    return;
  }
  requests_.push_back(makeRequest(RequestKind::Remove, id));
}

void RectManager::ChangeRectTracked(bool, int id) {
  std::lock_guard lock(mutex_);
  requests_.push_back(makeRequest(RequestKind::Change, id));
}

void RectManager::ClearAllRects() {
  std::lock_guard lock(mutex_);
  if (ignoreEditing_.load()) {
    ignoreAreas_.clear();
    newIgnoreAreas_.clear();
    return;
  }
  requests_.push_back(makeRequest(RequestKind::ClearAll));
}

void RectManager::TrackAllRects() {
  std::lock_guard lock(mutex_);
  requests_.push_back(makeRequest(RequestKind::TrackAll));
}

void RectManager::UntrackAllRects() {
  std::lock_guard lock(mutex_);
  requests_.push_back(makeRequest(RequestKind::UntrackAll));
}

void RectManager::PinRect(int id) {
  std::lock_guard lock(mutex_);
  requests_.push_back(makeRequest(RequestKind::Pin, id));
}

void RectManager::EnableAutoDetectTracking() {
  std::lock_guard lock(mutex_);
  autoTrackDetections_.store(true);
  requests_.push_back(makeRequest(RequestKind::TrackAllDetected));
}

void RectManager::DisableAutoDetectTracking() {
  std::lock_guard lock(mutex_);
  autoTrackDetections_.store(false);
  requests_.push_back(makeRequest(RequestKind::UntrackAllDetected));
}

// ---- hit test and queries ----

bool RectManager::FindRect(int x, int y, bool& isTrack, bool& isDetect, int& id) const {
  std::lock_guard lock(mutex_);
  int W = width_.load();
  if (W <= 0) return false;
  if (mirror_.load()) x = W - x;
  int d = wrap(x + offset_.load(), W);
  if (ignoreEditing_.load()) {
    for (const auto* list : {&ignoreAreas_, &newIgnoreAreas_}) {
      for (const auto& a : *list) {
        if (hit(a, d, y)) {
          id = a.id;
          isTrack = isDetect = false;
          return true;
        }
      }
    }
    return false;
  }
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
    if (hit(it->display, d, y)) {
      id = it->display.id;
      isTrack = it->tracked;
      isDetect = it->source == kDetectedRect;
      return true;
    }
  }
  return false;
}

bool RectManager::IsRectPinned(int id) const {
  std::lock_guard lock(mutex_);
  auto contains = [id](const std::vector<int>& v) {
    return std::find(v.begin(), v.end(), id) != v.end();
  };
  switch (layoutMode_.load()) {
    case 0:
      return contains(gridPins_.ids);
    case 3:
      return contains(mode3Pins_.ids);
    case 7:
      return !presentationPin_.empty() && presentationPin_.front() == id;
    case 5:
    case 9:
      return !speakerPin_.empty() && speakerPin_.front() == id;
    default:
      return false;
  }
}

std::vector<int> RectManager::GetPinnedIds() const {
  std::lock_guard lock(mutex_);
  switch (layoutMode_.load()) {
    case 0:
      return gridPins_.ids;
    case 3:
      return mode3Pins_.ids;
    case 7:
      return presentationPin_;
    case 5:
    case 9:
      return speakerPin_;
    default:
      return {};
  }
}

bool RectManager::GetTransformRectId(int& id) const {
  std::lock_guard lock(mutex_);
  if (!transforming_.load()) return false;
  id = transformRect_.id;
  return true;
}

void RectManager::GetTransformingRect(int& x, int& y, int& w, int& h) const {
  std::lock_guard lock(mutex_);
  toDisplay(transformRect_, x, y, w, h);
}

void RectManager::GetDisplayRect(int id, int& x, int& y, int& w, int& h) const {
  std::lock_guard lock(mutex_);
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
    if (sameId(*it, id)) {
      toDisplay(it->display, x, y, w, h);
      return;
    }
  }
}

void RectManager::GetIgnoreRect(int index, int& x, int& y, int& w, int& h) const {
  std::lock_guard lock(mutex_);
  if (index < 0 || size_t(index) >= ignoreAreas_.size()) return;
  toDisplay(ignoreAreas_[size_t(index)], x, y, w, h);
}

void RectManager::GetIgnoreRectById(int id, int& x, int& y, int& w, int& h) const {
  std::lock_guard lock(mutex_);
  for (const auto* list : {&ignoreAreas_, &newIgnoreAreas_}) {
    for (const auto& a : *list) {
      if (a.id == id) {
        toDisplay(a, x, y, w, h);
        return;
      }
    }
  }
}

std::vector<rect> RectManager::GetIgnoreAreas() const {
  std::lock_guard lock(mutex_);
  std::vector<rect> all = ignoreAreas_;
  all.insert(all.end(), newIgnoreAreas_.begin(), newIgnoreAreas_.end());
  return all;
}

std::vector<rect> RectManager::GetUntrackedRects() const {
  std::lock_guard lock(mutex_);
  std::vector<rect> out;
  for (const auto& e : entries_) {
    if (!e.tracked) out.push_back(e.display);
  }
  return out;
}

std::vector<rect> RectManager::GetTrackedDisplayRects() const {
  std::lock_guard lock(mutex_);
  std::vector<rect> out;
  for (const auto& e : entries_) {
    if (e.tracked) out.push_back(e.display);
  }
  return out;
}

std::vector<rect> RectManager::GetTrackedDetectRects() const {
  std::lock_guard lock(mutex_);
  std::vector<rect> out;
  for (const auto& e : entries_) {
    if (e.tracked && e.source == kDetectedRect) out.push_back(e.tracking);
  }
  return out;
}

std::vector<rect> RectManager::GetTrackedManualRects() const {
  std::lock_guard lock(mutex_);
  std::vector<rect> out;
  for (const auto& e : entries_) {
    if (e.tracked && e.source == kManualRect) out.push_back(e.tracking);
  }
  return out;
}

std::vector<rect> RectManager::GetManualRect() const {
  std::lock_guard lock(mutex_);
  std::vector<rect> out;
  for (const auto& e : entries_) {
    if (e.source != kManualRect) continue;
    rect r = e.display;
    r.id = -1;
    r.score = -1;
    out.push_back(r);
  }
  return out;
}

std::vector<rect> RectManager::GetDetectRect() const {
  std::lock_guard lock(mutex_);
  std::vector<rect> out;
  for (const auto& e : entries_) {
    if (e.source != kDetectedRect) continue;
    rect r = e.display;
    validateRectSize(r, width_.load(), height_.load(), minSide_.load(), is360_.load(), 0);
    r.id = -1;
    r.score = -1;
    out.push_back(r);
  }
  return out;
}

bool RectManager::HasRectTracked() const {
  std::lock_guard lock(mutex_);
  return std::any_of(entries_.begin(), entries_.end(), [](const auto& e) { return e.tracked; });
}

bool RectManager::HasDetectRectTracked() const {
  std::lock_guard lock(mutex_);
  return std::any_of(entries_.begin(), entries_.end(),
                     [](const auto& e) { return e.tracked && e.source == kDetectedRect; });
}

void RectManager::GetAllTagPairs(TagPairs& pairs) const {
  std::lock_guard lock(mutex_);
  for (const auto& e : entries_) pairs.emplace_back(e.display.id, e.person);
}

std::vector<Extended_Rect> RectManager::GetEntries() const {
  std::lock_guard lock(mutex_);
  return entries_;
}

// ---- transform ----

bool RectManager::StartTransformRect(int id) {
  std::lock_guard lock(mutex_);
  if (transforming_.load()) return false;
  if (ignoreEditing_.load()) {
    for (const auto* list : {&ignoreAreas_, &newIgnoreAreas_}) {
      for (const auto& a : *list) {
        if (a.id == id) {
          transformRect_ = a;
          transformOnIgnore_ = true;
          transforming_.store(true);
          return true;
        }
      }
    }
    return false;
  }
  for (const auto& e : entries_) {
    if (sameId(e, id)) {
      transformRect_ = e.display;
      transformOnIgnore_ = false;
      transforming_.store(true);
      return true;
    }
  }
  return false;
}

void RectManager::SetTransformingRect(int x, int y, int w, int h) {
  std::lock_guard lock(mutex_);
  if (!transforming_.load()) return;
  rect& r = transformRect_;
  r.width = float(w);
  r.height = float(h);
  int W = width_.load();
  int v = mirror_.load() ? offset_.load() + W - x - w : x + offset_.load();
  if (v >= W) v = is360_.load() ? wrap(v, W) : W - w;
  if (v < 0) v = is360_.load() ? v + W : 0;
  r.x = float(v);
  r.y = float(y);
  validateRectSize(r, W, height_.load(), transformOnIgnore_ ? kIgnoreAreaMinSide : minSide_.load(),
                   is360_.load(), 0);
  // Ignore areas are not the processing queue's: they follow at once.
  if (transformOnIgnore_) applyTransform(r, true);
}

void RectManager::EndTransformRect() {
  std::lock_guard lock(mutex_);
  // The editor ends a transform whenever its selection goes: the newest rectangle is then no
  // longer the one being worked on either, and the layout takes its mark away.
  latestManualId_ = -1;
  newManual_ = true;
  if (!transforming_.load()) return;
  if (transformOnIgnore_) {
    applyTransform(transformRect_, true);
  } else {
    Request request = makeRequest(RequestKind::Transform);
    request.area = transformRect_;
    requests_.push_back(request);
  }
  transforming_.store(false);
}

bool RectManager::applyTransform(const rect& area, bool onIgnore) {
  auto place = [&area](rect& target) {
    target.x = area.x;
    target.y = area.y;
    target.width = area.width;
    target.height = area.height;
  };
  if (onIgnore) {
    for (auto* list : {&ignoreAreas_, &newIgnoreAreas_}) {
      for (auto& a : *list) {
        if (a.id == area.id) place(a);
      }
    }
    return false;
  }
  for (auto& e : entries_) {
    if (!sameId(e, area.id)) continue;
    place(e.display);
    if (e.source == kManualRect) e.tracking = e.display;
    e.lost_count = 0;
    return e.tracked;  // a tracked rectangle's tracker must take the new place
  }
  return false;
}

// ---- ignore areas ----

void RectManager::EndIgnoreAreaEditing(bool keep) {
  std::lock_guard lock(mutex_);
  if (keep) ignoreAreas_.insert(ignoreAreas_.end(), newIgnoreAreas_.begin(), newIgnoreAreas_.end());
  newIgnoreAreas_.clear();
  if (transforming_.load() && transformOnIgnore_) transforming_.store(false);
  ignoreEditing_.store(false);
}

void RectManager::RemoveIgnoreAreas() {
  std::lock_guard lock(mutex_);
  ignoreAreas_.clear();
  newIgnoreAreas_.clear();
}

bool RectManager::inIgnoreArea(const rect& f) const {
  float cx = f.x + f.width / 2, cy = f.y + f.height / 2;
  for (const auto& a : ignoreAreas_) {
    int dx = int(std::fabs(cx - (a.x + a.width / 2)));
    int dy = int(std::fabs(cy - (a.y + a.height / 2)));
    if (dy >= dx ? a.height / 2 > float(dy) : a.width / 2 > float(dx)) return true;
  }
  return false;
}

// ---- persons ----

bool RectManager::SetPersonInfoByPersonid(const PersonInfo* info, int personId) {
  if (!info) return false;
  std::lock_guard lock(mutex_);
  for (auto& e : entries_) {
    if (e.person.person_id == personId) {
      e.person = *info;
      return true;
    }
  }
  return false;
}

void RectManager::SetPersonInfoByRectid(const PersonInfo* info, int id) {
  if (!info) return;
  std::lock_guard lock(mutex_);
  for (auto& e : entries_) {
    if (sameId(e, id)) {
      e.person = *info;
    } else if (e.person.person_id == info->person_id) {
      e.person = PersonInfo{};
      e.person.name = "Unknown";
    }
  }
}

void RectManager::SetPersonHidden(int personId, bool hidden) {
  std::lock_guard lock(mutex_);
  for (auto& e : entries_) {
    if (e.person.person_id == personId) e.person.is_hidden = hidden;
  }
}

void RectManager::DeletePerson(int personId) {
  std::lock_guard lock(mutex_);
  for (auto& e : entries_) {
    if (e.person.person_id == personId) {
      e.person = PersonInfo{};
      return;
    }
  }
}

std::vector<rect> RectManager::GetAdjustDetectedRects() const {
  std::lock_guard lock(mutex_);
  std::vector<rect> out;
  for (const auto& e : entries_) {
    if (e.source == kDetectedRect && e.lost_count == 0) out.push_back(e.tracking);
  }
  return out;
}

int RectManager::GetAdjustIdWithOrigDetectId(int detectionId, int& personId) const {
  std::lock_guard lock(mutex_);
  auto it = detectionIds_.find(detectionId);
  if (it == detectionIds_.end()) return 0;
  for (const auto& e : entries_) {
    if (sameId(e, it->second)) personId = e.person.person_id;
  }
  return it->second;
}

// ---- pins (mutex_ held) ----

void RectManager::resetPins() {
  gridPins_.ids.assign(8, -1);
  mode3Pins_.ids.assign(size_t(maxGridCount_), -1);
  presentationPin_.assign(1, -1);
  speakerPin_.assign(1, -1);
}

namespace {

// Removes the id from a ring, keeping its cursor on the same slot.
void eraseFromRing(std::vector<int>& ids, int& cursor, int id) {
  for (size_t i = 0; i < ids.size();) {
    if (ids[i] != id) {
      ++i;
      continue;
    }
    bool wasLast = i + 1 == ids.size();
    ids.erase(ids.begin() + long(i));
    if (int(i) == cursor && wasLast) {
      cursor = 0;
    } else if (int(i) < cursor) {
      cursor = std::max(0, cursor - 1);
    }
  }
}

void toggleInRing(std::vector<int>& ids, int& cursor, int size, int id) {
  if (std::find(ids.begin(), ids.end(), id) != ids.end()) {
    eraseFromRing(ids, cursor, id);
  } else if (int(ids.size()) < size) {
    ids.push_back(id);
  } else if (size > 0) {
    if (cursor >= int(ids.size())) cursor = 0;
    ids[size_t(cursor)] = id;
    cursor = (cursor + 1) % size;
  }
}

void toggleSingle(std::vector<int>& pin, int id) {
  if (pin.empty()) {
    pin.push_back(id);
  } else if (pin.front() == id) {
    pin.clear();
  } else {
    pin.assign(1, id);
  }
}

}  // namespace

void RectManager::pin(int id) {
  switch (layoutMode_.load()) {
    case 0:
      toggleInRing(gridPins_.ids, gridPins_.cursor, 8, id);
      break;
    case 3:
      toggleInRing(mode3Pins_.ids, mode3Pins_.cursor, maxGridCount_, id);
      break;
    case 7:
      toggleSingle(presentationPin_, id);
      break;
    case 5:
    case 9:
      toggleSingle(speakerPin_, id);
      break;
    default:
      break;
  }
}

void RectManager::unpin(int id) {
  eraseFromRing(gridPins_.ids, gridPins_.cursor, id);
  eraseFromRing(mode3Pins_.ids, mode3Pins_.cursor, id);
  std::erase(presentationPin_, id);
  std::erase(speakerPin_, id);
}

void RectManager::removeEntries(const std::function<bool(const Extended_Rect&)>& which) {
  for (auto it = entries_.begin(); it != entries_.end();) {
    if (which(*it)) {
      unpin(it->display.id);
      it = entries_.erase(it);
    } else {
      ++it;
    }
  }
}

// ---- processing queue ----

bool RectManager::ValidateTrackedRect() {
  std::lock_guard lock(mutex_);
  bool changed = false;
  bool editing = ignoreEditing_.load();
  std::deque<Request> waiting;
  while (!requests_.empty()) {
    Request request = std::move(requests_.front());
    requests_.pop_front();
    switch (request.kind) {
      case RequestKind::Add:
        entries_.push_back(request.entry);
        changed = true;
        break;
      case RequestKind::Remove: {
        bool wasTracked = false;
        removeEntries([&](const Extended_Rect& e) {
          if (!sameId(e, request.id)) return false;
          wasTracked = wasTracked || e.tracked;
          return true;
        });
        changed = changed || wasTracked;
        break;
      }
      case RequestKind::Change: {
        if (editing) {
          waiting.push_back(request);
          break;
        }
        auto it = std::find_if(entries_.begin(), entries_.end(),
                               [&](const auto& e) { return sameId(e, request.id); });
        if (it == entries_.end()) {
          ORLITH_LOG_DEBUG("_change_rect_actually id " + std::to_string(request.id) +
                           " not found.");
        } else {
          it->tracked = !it->tracked;
          changed = true;
        }
        break;
      }
      case RequestKind::ClearAll:
        entries_.clear();
        resetPins();
        changed = true;
        break;
      case RequestKind::TrackAll:
      case RequestKind::UntrackAll:
        if (editing) {
          waiting.push_back(request);
          break;
        }
        for (auto& e : entries_) e.tracked = request.kind == RequestKind::TrackAll;
        changed = true;
        break;
      case RequestKind::TrackAllDetected:
      case RequestKind::UntrackAllDetected:
        if (editing) {
          waiting.push_back(request);
          break;
        }
        for (auto& e : entries_) {
          if (e.source != kDetectedRect) continue;
          e.tracked = request.kind == RequestKind::TrackAllDetected;
          changed = true;
        }
        break;
      case RequestKind::Pin:
        if (editing) {
          waiting.push_back(request);
          break;
        }
        pin(request.id);
        break;
      case RequestKind::Transform:
        if (applyTransform(request.area, false)) changed = true;
        break;
    }
  }
  requests_ = std::move(waiting);
  if (transforming_.load() && !transformOnIgnore_ && applyTransform(transformRect_, false)) {
    changed = true;
  }
  return changed;
}

rect RectManager::fitDetection(const rect& k) const {
  rect f = k;
  validateRectSize(f, width_.load(), height_.load(), minSide_.load(), is360_.load(),
                   enlargeRatio_.load());
  return f;
}

Extended_Rect RectManager::detectedEntry(const rect& k) const {
  Extended_Rect e;
  e.tracking = k;
  e.display = fitDetection(k);
  e.display.id = k.id;
  e.lost_count = 0;
  e.source = kDetectedRect;
  e.tracked = autoTrackDetections_.load();
  return e;
}

std::vector<rect> RectManager::kept(const std::vector<rect>& detections, bool limitFitted) const {
  int E = roundUpEven(maxDetectSide_.load());
  std::vector<rect> out;
  for (rect k : detections) {
    if (k.id < 0 || idInUse(k.id)) {
      k.id = RectIdCounter::shared().next([this](int id) { return idInUse(id); });
    }
    rect f = fitDetection(k);
    const rect& sized = limitFitted ? f : k;
    if (!(sized.width < float(E) && sized.height < float(E))) continue;
    if (inIgnoreArea(f)) continue;
    out.push_back(k);
  }
  return out;
}

void RectManager::matchDetections(const std::vector<rect>& kept, bool onlyTracked,
                                  std::vector<rect>* unmatched) {
  int W = width_.load();
  bool is360 = is360_.load();
  float threshold = overlapThreshold_.load();
  std::vector<bool> matched(entries_.size(), false);
  for (const rect& k : kept) {
    rect f = fitDetection(k);
    float best = 0;
    int bestIndex = -1;
    for (size_t i = 0; i < entries_.size(); ++i) {
      if (matched[i]) continue;
      float o = overlapRatio(entries_[i].display, f);
      if (o > best) {
        best = o;
        bestIndex = int(i);
      }
      if (is360 && f.x + f.width > float(W)) {
        rect shifted = entries_[i].display;
        shifted.x += float(W);
        float o2 = overlapRatio(shifted, f);
        if (o2 > best) {
          best = o2;
          bestIndex = int(i);
        }
      }
    }
    if (bestIndex >= 0 && best >= threshold) {
      Extended_Rect& e = entries_[size_t(bestIndex)];
      matched[size_t(bestIndex)] = true;
      if (e.source == kDetectedRect && (!onlyTracked || e.tracked)) {
        int id = e.display.id;
        e.tracking = k;
        e.tracking.id = id;
        e.display = f;
        e.display.id = id;
        e.lost_count = 0;
      }
      detectionIds_[k.id] = e.display.id;
    } else if (unmatched) {
      unmatched->push_back(k);
    }
  }
}

void RectManager::SetDetectedRects(const std::vector<rect>& detections) {
  std::lock_guard lock(mutex_);
  detectionIds_.clear();
  std::vector<rect> keep = kept(detections, false);
  bool clearPrev = clearPrevDetections_.exchange(false);
  // A new box only where no box stands or waits to be added (a saved layout restored just
  // before), and only while the panorama can still draw one more.
  auto addNew = [this](const std::vector<rect>& found) {
    for (const rect& k : found) {
      if (framedAlready(fitDetection(k)) || outlineRoom() <= 0) continue;
      entries_.push_back(detectedEntry(k));
      detectionIds_[k.id] = k.id;
    }
  };
  if (entries_.empty() || clearPrev) {
    if (clearPrev) removeEntries([](const auto& e) { return e.source == kDetectedRect; });
    addNew(keep);
    return;
  }
  for (auto& e : entries_) {
    if (e.source == kDetectedRect) e.lost_count += 1;
  }
  std::vector<rect> unmatched;
  matchDetections(keep, false, &unmatched);
  int limit = lostLimit_.load();
  removeEntries(
      [limit](const auto& e) { return e.source == kDetectedRect && e.lost_count >= limit; });
  addNew(unmatched);
}

void RectManager::SetDetectedRects_replace_tracking(const std::vector<rect>& detections) {
  std::lock_guard lock(mutex_);
  detectionIds_.clear();
  std::vector<rect> keep = kept(detections, true);
  if (entries_.empty()) return;
  for (auto& e : entries_) {
    if (e.source == kDetectedRect && e.tracked) e.lost_count += 1;
  }
  matchDetections(keep, true, nullptr);
  removeEntries([](const auto& e) { return e.source == kDetectedRect && e.lost_count >= 10; });
}

void RectManager::SetTrackedRects(const std::vector<rect>& results) {
  std::lock_guard lock(mutex_);
  int W = width_.load(), H = height_.load();
  bool is360 = is360_.load();
  for (const rect& t : results) {
    auto it = std::find_if(entries_.begin(), entries_.end(),
                           [&](const auto& e) { return sameId(e, t.id); });
    if (it == entries_.end()) continue;
    it->tracking = t;
    const rect& d = it->display;
    int dx = int(std::fabs((t.x + t.width / 2) - (d.x + d.width / 2)));
    int dy = int(std::fabs((t.y + t.height / 2) - (d.y + d.height / 2)));
    if (std::sqrt(double(dx) * dx + double(dy) * dy) > 15.0 || d.id < 0) {
      rect moved = t;
      validateRectSize(moved, W, H, minSide_.load(), is360,
                       it->source == kDetectedRect ? enlargeRatio_.load() : 0);
      moved.id = t.id;
      it->display = moved;
    }
  }
}

}  // namespace orlith
