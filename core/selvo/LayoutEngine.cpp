#include "LayoutEngine.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "FocusPlanner.h"
#include "OrlithLog.h"
#include "PairEmitter.h"
#include "PresentationPlanner.h"
#include "SpeakerPlanner.h"

namespace selvo {

namespace {

constexpr size_t kMaxVoiceSamples = 64;
constexpr int kMaxRects = 256;

bool finiteRect(const rect& r) {
  return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) &&
         std::isfinite(r.height) && r.width > 0 && r.height > 0;
}

std::string text(const char* s) { return s ? std::string(s) : std::string(); }

// Rectangles kept whole inside the frame's height (x is handled by the caller).
std::vector<rect> copyRects(const rect* rects, int count, const char* what) {
  std::vector<rect> out;
  if (!rects || count <= 0) return out;
  if (count > kMaxRects) {
    ORLITH_LOG_WARNING(std::string("too many ") + what + " rectangles, keeping " +
                       std::to_string(kMaxRects));
    count = kMaxRects;
  }
  out.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    if (finiteRect(rects[i])) out.push_back(rects[i]);
  }
  return out;
}

}  // namespace

LayoutEngine::LayoutEngine(LayoutTuning& tuning) : tuning_(tuning) {
  for (auto& list : pairs_) list.reserve(kMaxPairs + 2);
  cameras_.reserve(24);
}

// ---- Set-up ----

void LayoutEngine::setUp(bool is360, int videoWidth, int videoHeight, int outputWidth,
                         int outputHeight, int subWidth, int subHeight, bool keepPeople) {
  if (videoWidth <= 0 || videoHeight <= 0 || outputWidth <= 0 || outputHeight <= 0) {
    ORLITH_LOG_ERROR("layout sizes must be positive: video " + std::to_string(videoWidth) + "x" +
                     std::to_string(videoHeight) + ", output " + std::to_string(outputWidth) + "x" +
                     std::to_string(outputHeight));
    ready_ = false;
    for (auto& list : pairs_) list.clear();
    sub_.clear();
    return;
  }
  const bool sameVideo = ready_ && geometry_.videoWidth == videoWidth &&
                         geometry_.videoHeight == videoHeight && geometry_.is360 == is360;
  geometry_.is360 = is360;
  geometry_.videoWidth = videoWidth;
  geometry_.videoHeight = videoHeight;
  geometry_.outputWidth = outputWidth;
  geometry_.outputHeight = outputHeight;
  geometry_.subWidth = std::max(0, subWidth);
  geometry_.subHeight = std::max(0, subHeight);
  if (!sameVideo) {
    geometry_.bannerY = std::max(0, (videoHeight - videoWidth / 6) / 2);
    iconWidth_ = iconHeight_ = videoWidth / 30;
  }
  if (!keepPeople || !sameVideo) {
    roster_.reset();
    speaker_.reset();
    people_.clear();
    present_.clear();
  }
  grid_.reset();
  groups_.reset();
  splitChosen_ = false;
  cameras_.clear();
  for (auto& list : pairs_) list.clear();
  sub_.clear();
  focusedInPip_ = -1;
  hasFrameBorder_ = false;
  ready_ = true;
}

void LayoutEngine::Init(bool is360, int videoWidth, int videoHeight, int outputWidth,
                        int outputHeight, int subWidth, int subHeight, int) {
  std::lock_guard<std::mutex> lock(mutex_);
  setUp(is360, videoWidth, videoHeight, outputWidth, outputHeight, subWidth, subHeight, false);
}

void LayoutEngine::Reinit(bool is360, int videoWidth, int videoHeight, int outputWidth,
                          int outputHeight, int subWidth, int subHeight, int) {
  std::lock_guard<std::mutex> lock(mutex_);
  setUp(is360, videoWidth, videoHeight, outputWidth, outputHeight, subWidth, subHeight, true);
}

// The renderer draws the icons and tags; the engine keeps the names for the record.
void LayoutEngine::SetDefaultLogoPath(const char* path) {
  std::lock_guard<std::mutex> lock(mutex_);
  logoPath_ = text(path);
}
void LayoutEngine::SetVoiceIndicatorIconPath(const char* path) {
  std::lock_guard<std::mutex> lock(mutex_);
  voicePath_ = text(path);
}
void LayoutEngine::SetPinIconPath(const char* path) {
  std::lock_guard<std::mutex> lock(mutex_);
  pinPath_ = text(path);
}
void LayoutEngine::SetAnchorPointSymbolPath(const char* path) {
  std::lock_guard<std::mutex> lock(mutex_);
  anchorPath_ = text(path);
}
void LayoutEngine::SetIgnoreTagIconPath(const char* path) {
  std::lock_guard<std::mutex> lock(mutex_);
  ignorePath_ = text(path);
}
void LayoutEngine::SetNameTagImage(const char* path, int style) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (style < 0 || style > 2) {
    ORLITH_LOG_WARNING("name-tag style " + std::to_string(style) + " is not 0, 1 or 2");
    return;
  }
  tagPaths_[style] = text(path);
}
void LayoutEngine::SetViewMoveIcon(const char* path, int width, int height, int) {
  std::lock_guard<std::mutex> lock(mutex_);
  movePath_ = text(path);
  if (width > 0 && height > 0) {
    iconWidth_ = width;
    iconHeight_ = height;
  }
}

// ---- Per-frame input ----

int LayoutEngine::GetLayoutMode() {
  std::lock_guard<std::mutex> lock(mutex_);
  return mode_;
}

void LayoutEngine::SetManualRect(int layoutMode, rect manual) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!finiteRect(manual)) return;
  if (layoutMode == LAYOUT_FOCUS) focusRect_ = manual;
  if (layoutMode == LAYOUT_PRESENTATION) presentationRect_ = manual;
}

void LayoutEngine::SetRects(const rect* tracked, int trackedCount, const rect* untracked,
                            int untrackedCount) {
  std::lock_guard<std::mutex> lock(mutex_);
  tracked_ = copyRects(tracked, trackedCount, "tracked");
  untracked_ = copyRects(untracked, untrackedCount, "untracked");
  names_.clear();
  inputsPending_ = true;
}

void LayoutEngine::SetIgnoreAreas(const rect* areas, int count) {
  std::lock_guard<std::mutex> lock(mutex_);
  ignore_ = copyRects(areas, count, "ignore");
}

void LayoutEngine::SetPinnedIds(int count, const int* ids) {
  std::lock_guard<std::mutex> lock(mutex_);
  pins_.clear();
  if (!ids || count <= 0) return;
  for (int i = 0; i < std::min(count, kMaxRects); ++i) {
    if (ids[i] != -1 && std::find(pins_.begin(), pins_.end(), ids[i]) == pins_.end()) {
      pins_.push_back(ids[i]);
    }
  }
}

void LayoutEngine::SetContentOffset(int offset) {
  std::lock_guard<std::mutex> lock(mutex_);
  geometry_.contentOffset = offset;
}

void LayoutEngine::SetNameTag(int rectId, const char* name, const char*, const char*) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::string value = text(name);
  for (auto& entry : names_) {
    if (entry.first == rectId) {
      entry.second = value;
      return;
    }
  }
  if (names_.size() < static_cast<size_t>(kMaxRects)) names_.emplace_back(rectId, value);
}

void LayoutEngine::SetLatestManualRectId(int id) {
  std::lock_guard<std::mutex> lock(mutex_);
  anchorId_ = id;
}

void LayoutEngine::SetTransformingRectId(int id) {
  std::lock_guard<std::mutex> lock(mutex_);
  transformingId_ = id;
  if (id != -1) anchorId_ = id;
}

void LayoutEngine::AddVoiceDirection(bool isVoice, int angle) {
  std::lock_guard<std::mutex> lock(mutex_);
  int a = angle % 360;
  if (a > 180) a -= 360;
  if (a <= -180) a += 360;
  if (voice_.size() >= kMaxVoiceSamples) voice_.erase(voice_.begin());
  voice_.emplace_back(isVoice, a);
}

void LayoutEngine::SetFrameTime(int64_t microseconds) {
  std::lock_guard<std::mutex> lock(mutex_);
  hasFrameTime_ = true;
  frameTime_ = microseconds;
}

// ---- The layout ----

VoiceGeometry LayoutEngine::voiceGeometry(const LayoutTuningValues& tuning) const {
  VoiceGeometry g;
  g.is360 = geometry_.is360;
  g.width = geometry_.videoWidth;
  g.mirror = geometry_.mirror;
  g.contentOffset = geometry_.contentOffset;
  g.angleTolerance = angleTolerance_;
  g.highlightMs = tuning.highlightMs;
  g.clearMs = tuning.clearMs;
  return g;
}

bool LayoutEngine::isPinned(int id) const {
  return id != -1 && std::find(pins_.begin(), pins_.end(), id) != pins_.end();
}

const std::string* LayoutEngine::nameOf(int id) const {
  for (const auto& entry : names_) {
    if (entry.first == id) return entry.second.empty() ? nullptr : &entry.second;
  }
  return nullptr;
}

void LayoutEngine::normaliseGeometry() {
  if (geometry_.is360) {
    geometry_.contentOffset =
        static_cast<int>(Framing::wrap(geometry_.contentOffset, geometry_.videoWidth));
  } else {
    geometry_.contentOffset = 0;
  }
}

void LayoutEngine::collectPresent() {
  present_.clear();
  const auto add = [&](const rect& r, bool tracked) {
    rect box = PairEmitter::toDisplay(r, geometry_);
    box.height = std::min<float>(box.height, static_cast<float>(geometry_.videoHeight));
    box.width = std::min<float>(box.width, static_cast<float>(geometry_.videoWidth));
    present_.push_back({box, tracked});
  };
  for (const rect& r : tracked_) add(r, true);
  for (const rect& r : untracked_) add(r, false);
  inputsPending_ = false;
}

void LayoutEngine::gatherPeople(int64_t nowUs, const LayoutTuningValues& tuning) {
  collectPresent();
  std::vector<LayoutPerson> present;
  for (const Present& each : present_) {
    const int id = each.box.id;
    if (id == -1 || std::any_of(present.begin(), present.end(),
                                [&](const LayoutPerson& p) { return p.id == id; })) {
      continue;
    }
    LayoutPerson p;
    p.id = id;
    p.box = each.box;
    p.tracked = each.tracked;
    present.push_back(p);
  }

  roster_.update(present, nowUs,
                 [&](int id) { return isPinned(id) || id == anchorId_ || id == transformingId_; });
  people_ = roster_.members();

  const VoiceGeometry voice = voiceGeometry(tuning);
  if (beamforming_) {
    for (const auto& [isVoice, angle] : voice_) {
      speaker_.addSample(isVoice, angle, nowUs, people_, voice);
    }
    speaker_.refresh(nowUs, people_, voice);
  } else {
    speaker_.reset();
  }
  voice_.clear();
  for (LayoutPerson& p : people_) {
    const auto pin = std::find(pins_.begin(), pins_.end(), p.id);
    p.pinRank = pin == pins_.end() ? -1 : static_cast<int>(pin - pins_.begin());
    p.activeSpeaker = p.id == speaker_.activeSpeaker();
    p.highlighted = beamforming_ && speaker_.isHighlighted(p.id, nowUs, voice);
  }
}

void LayoutEngine::gatherBodies() {
  bodies_.clear();
  bodyIds_.clear();
  const auto add = [&](const rect& box, int id) {
    bodies_.push_back(Framing::body(box, geometry_.videoWidth, geometry_.is360));
    bodyIds_.push_back(id);
  };
  for (const LayoutPerson& p : people_) add(p.box, p.id);
  // Those not joined yet (or without an id) are not shown, but they are not cut either.
  for (const Present& p : present_) {
    if (std::find(bodyIds_.begin(), bodyIds_.end(), p.box.id) == bodyIds_.end() || p.box.id == -1) {
      add(p.box, p.box.id);
    }
  }
}

// Whole-panorama views start at the content offset. On a 360-degree camera whose user has not set
// a base position (offset 0), a person sitting across that seam would be split between the
// picture's edges: the view then starts in the widest gap instead, and stays there while the same
// people sit clear of it.
void LayoutEngine::turnPanorama() {
  if (!geometry_.is360 || geometry_.contentOffset != 0 || bodies_.empty()) {
    panoramaTurn_ = 0;
    turnPeople_.clear();
    return;
  }
  idScratch_.assign(bodyIds_.begin(), bodyIds_.end());
  std::sort(idScratch_.begin(), idScratch_.end());
  const double w = geometry_.videoWidth;
  if (idScratch_ == turnPeople_ && !Framing::crosses(bodies_, panoramaTurn_, w)) return;
  turnPeople_.swap(idScratch_);
  panoramaTurn_ = Framing::seamIn(bodies_, w, 0.0);
}

// The top-down view splits the turn where nobody sits: clear of everyone's box where the gaps
// allow, else of their cores; the split holds while it cuts nobody's core and, once people come
// or go, nobody's box.
void LayoutEngine::splitTopDown() {
  const double w = geometry_.videoWidth;
  if (mode_ != LAYOUT_TOP_DOWN || !geometry_.is360 || w <= 0) {
    splitChosen_ = false;
    splitPeople_.clear();
    return;
  }
  coreScratch_.clear();
  for (const Body& b : bodies_) coreScratch_.push_back(b.core());
  idScratch_.assign(bodyIds_.begin(), bodyIds_.end());
  std::sort(idScratch_.begin(), idScratch_.end());
  const auto cuts = [&](const std::vector<Body>& bodies) {
    return Framing::crosses(bodies, splitFirst_, w) || Framing::crosses(bodies, splitSecond_, w);
  };
  if (splitChosen_ && !cuts(coreScratch_) && (idScratch_ == splitPeople_ || !cuts(bodies_))) {
    splitPeople_.swap(idScratch_);
    return;
  }
  splitPeople_.swap(idScratch_);
  splitChosen_ = true;
  const double outputHalf = std::round(geometry_.outputHeight / 2.0);
  const double aspect = outputHalf > 0 ? geometry_.outputWidth / outputHalf : 1.0;
  const double longest = std::min(w * 0.65, geometry_.videoHeight * aspect);
  const double shortest = w - longest;
  if (!Framing::halves(bodies_, w, 0.0, shortest, longest, splitFirst_, splitSecond_)) {
    Framing::halves(coreScratch_, w, 0.0, shortest, longest, splitFirst_, splitSecond_);
  }
}

CropPose LayoutEngine::fenced(const CropPose& pose, const LayoutTile& tile,
                              const FramingLimits& limits) {
  if (tile.fence == TileFence::Open || bodies_.empty()) return pose;
  for (size_t i = 0; i < bodies_.size(); ++i) {
    const int id = bodyIds_[i];
    bodies_[i].member =
        id != -1 && (tile.members.empty() ? id == tile.id
                                          : std::find(tile.members.begin(), tile.members.end(),
                                                      id) != tile.members.end());
  }
  return Framing::fence(pose, tile.aspect(), limits, bodies_, tile.fence == TileFence::Only,
                        fenceScratch_, tile.cutAtSides);
}

void LayoutEngine::planTiles(std::vector<LayoutTile>& tiles, const LayoutTuningValues& tuning) {
  PlanContext context;
  context.geometry = geometry_;
  context.tuning = tuning;
  context.people = people_;
  context.waiting.assign(bodies_.begin() + static_cast<std::ptrdiff_t>(people_.size()),
                         bodies_.end());
  context.activeSpeaker = speaker_.activeSpeaker();
  context.recentSpeakers = speaker_.recentSpeakers();
  context.focusRect = PairEmitter::toDisplay(focusRect_, geometry_);
  context.presentationRect = PairEmitter::toDisplay(presentationRect_, geometry_);
  context.fitPolicy = fitPolicy_;
  context.maxGridCount = maxGridCount_;
  context.composeMaxCount = composeMaxCount_;
  context.panoramaTurn = panoramaTurn_;
  context.topDownFirst = splitFirst_;
  context.topDownSecond = splitSecond_;
  context.pipLevel = pipLevel_;
  context.extendPixels = extendPixels_;
  context.autoMerge = autoMerge_;

  focusedInPip_ = -1;
  hasFrameBorder_ = false;
  switch (mode_) {
    case LAYOUT_COMPOSE:
      grid_.planCompose(context, tiles);
      break;
    case LAYOUT_FOCUS:
      hasFrameBorder_ = FocusPlanner::planFocus(context, tiles);
      break;
    case LAYOUT_TOP_DOWN:
      FocusPlanner::planTopDown(context, tiles);
      break;
    case LAYOUT_GRID:
      grid_.planGrid(context, tiles);
      break;
    case LAYOUT_SPEAKER:
      SpeakerPlanner::planSpeaker(context, tiles);
      break;
    case LAYOUT_TWO_GROUPS:
      groups_.plan(context, tiles);
      break;
    case LAYOUT_PRESENTATION:
      focusedInPip_ = PresentationPlanner::plan(context, tiles);
      break;
    case LAYOUT_SINGLE_SPEAKER:
      SpeakerPlanner::planSingleSpeaker(context, tiles);
      break;
    case LAYOUT_PANORAMA:
    default:
      FocusPlanner::planPanorama(context, tiles);
      break;
  }
}

LayoutEngine::Camera& LayoutEngine::cameraFor(uint32_t key) {
  for (Camera& c : cameras_) {
    if (c.key == key) return c;
  }
  cameras_.push_back({key, -1, VirtualCamera(), false});
  return cameras_.back();
}

void LayoutEngine::shoot(const std::vector<LayoutTile>& tiles, const LayoutTuningValues& tuning) {
  for (Camera& c : cameras_) c.used = false;
  CameraMotion motion;
  motion.tolerance = tuning.stableTolerance;
  motion.maximum = tuning.stableMaximum;
  motion.frames = tuning.transitionFrames;
  motion.panWeight = tuning.panWeight;
  motion.width = geometry_.videoWidth;
  motion.circular = geometry_.is360;

  FramingLimits limits;
  limits.width = geometry_.videoWidth;
  limits.height = geometry_.videoHeight;
  limits.circular = geometry_.is360;
  limits.minHeight = tuning.minSrcHeightScale * geometry_.videoHeight;
  const PairEmitter emitter(geometry_);

  for (const LayoutTile& tile : tiles) {
    Camera& cam = cameraFor(tile.key);
    const bool newSubject = cam.camera.hasPose() && cam.subject != tile.id;
    const bool cut = tile.direct || (tile.id != -1 && tile.id == transformingId_) ||
                     (tile.speakerCut && newSubject && !tuning.speakerTransitionAlways);
    const double aspect = tile.aspect();
    // The camera aims at a crop that cuts nobody; holding still, what it shows cuts nobody
    // either (people shift while it holds). Moves run their course undisturbed.
    const CropPose target = fenced(tile.target, tile, limits);
    CropPose pose = Framing::clamp(cam.camera.update(target, motion, cut), aspect, limits);
    const bool atTarget = pose.cx == target.cx && pose.cy == target.cy && pose.h == target.h;
    if (!cam.camera.moving() && !atTarget) pose = fenced(pose, tile, limits);
    cam.subject = tile.id;
    cam.used = true;

    roi_pair model;
    model.src.id = tile.id;
    model.dst.id = tile.id;
    if (tile.highlight) model.edge_flags = PairEmitter::kAllEdges;
    if (tile.speaking && tile.id != -1) model.icon_flags |= ROI_ICON_VOICE_INDICATOR;
    if (tuning.nameTag && tile.id != -1 && nameOf(tile.id)) {
      model.icon_flags |= PairEmitter::nameTagBit(true, tile.speaking ? 2 : tile.tracked ? 1 : 0);
    }
    if (tuning.showScaleFactor && pose.h > 0) {
      model.scale = static_cast<float>(tile.dst.height / pose.h);
    }
    std::vector<roi_pair>& list = pairs_[static_cast<int>(tile.layer) - 1];
    emitter.emit(tile.dst, pose, aspect, model, list);

    if (hasFrameBorder_ && tile.key == slotTileKey(1)) {
      const double w = pose.h * aspect;
      frameBorder_ = makeRect(pose.cx - w * 0.5, pose.cy - pose.h * 0.5, w, pose.h);
    }
  }
  cameras_.erase(
      std::remove_if(cameras_.begin(), cameras_.end(), [](const Camera& c) { return !c.used; }),
      cameras_.end());
}

// The renderer draws the first twenty pairs: overlays first to survive, then the scene.
void LayoutEngine::capPairs() {
  size_t total = pairs_[0].size() + pairs_[1].size() + pairs_[2].size();
  for (int list : {1, 0, 2}) {
    while (total > static_cast<size_t>(kMaxPairs) && !pairs_[list].empty()) {
      pairs_[list].pop_back();
      --total;
    }
  }
}

void LayoutEngine::DoBufferLayout() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& list : pairs_) list.clear();
  if (!ready_) {
    ORLITH_LOG_WARNING("layout requested before Init");
    return;
  }
  // Time only runs forwards: a clock that steps back counts as one more frame.
  if (hasFrameTime_ && (!laidOut_ || frameTime_ >= nowUs_)) {
    nowUs_ = frameTime_;
    clockWarned_ = false;
  } else if (laidOut_) {
    if (hasFrameTime_ && !clockWarned_) {
      ORLITH_LOG_WARNING("frame time went backwards; counting frames until it catches up");
      clockWarned_ = true;
    }
    nowUs_ += kDefaultFrameUs;
  }
  hasFrameTime_ = false;
  laidOut_ = true;

  frameTuning_ = tuning_.snapshot();
  normaliseGeometry();
  // A new mode, or a turned picture, starts every tile afresh.
  if (mode_ != lastMode_ || fitPolicy_ != lastFitPolicy_ ||
      geometry_.contentOffset != lastOffset_) {
    cameras_.clear();
    grid_.reset();
    groups_.reset();
    splitChosen_ = false;
    lastMode_ = mode_;
    lastFitPolicy_ = fitPolicy_;
    lastOffset_ = geometry_.contentOffset;
  }
  gatherPeople(nowUs_, frameTuning_);
  gatherBodies();
  turnPanorama();
  splitTopDown();
  std::vector<LayoutTile> tiles;
  tiles.reserve(16);
  planTiles(tiles, frameTuning_);
  shoot(tiles, frameTuning_);
  capPairs();
}

std::vector<BorderItem> LayoutEngine::borderItems() const {
  std::vector<BorderItem> items;
  const unsigned mask = drawFlags_;
  const int w = geometry_.videoWidth;
  const auto fixed = [&](const rect& stored, int type) {
    if (!(mask & kDrawFixed) || !finiteRect(stored)) return;
    BorderItem item;
    item.box = PairEmitter::toDisplay(stored, geometry_);
    item.id = stored.id;
    item.type = type;
    item.icons = ROI_ICON_ANCHOR_POINT;
    items.push_back(item);
  };
  if (mode_ == LAYOUT_FOCUS && fitPolicy_ == FocusPlanner::kPolicyManual) fixed(focusRect_, 11);
  if (mode_ == LAYOUT_PRESENTATION) fixed(presentationRect_, 12);
  if (mode_ == LAYOUT_FOCUS && hasFrameBorder_ && (mask & kDrawFixed)) {
    BorderItem item;
    item.box = frameBorder_;
    item.type = 11;
    items.push_back(item);
  }
  if (!geometry_.is360 && mode_ == LAYOUT_COMPOSE && (mask & kDrawFixed)) {
    BorderItem banner;
    banner.box = makeRect(0, geometry_.bannerY, w, geometry_.bannerHeight());
    banner.dashed = true;
    banner.icons = ROI_ICON_BANNER_DRAG_0;
    items.push_back(banner);
  }

  // People: the one being drawn, pinned, speaking, tracked, the others.
  const VoiceGeometry voice = voiceGeometry(frameTuning_);
  std::vector<BorderItem> people;
  std::vector<int> rank;
  for (const Present& p : present_) {
    const int id = p.box.id;
    if (!(mask & (p.tracked ? kDrawTracking : kDrawNormal))) continue;
    const bool speaking = id != -1 && beamforming_ && (mask & kDrawSpeaking) &&
                          speaker_.isHighlighted(id, nowUs_, voice);
    BorderItem item;
    item.box = p.box;
    item.id = id;
    item.type = speaking ? 2 : p.tracked ? 1 : 0;
    if (speaking) item.icons |= ROI_ICON_VOICE_INDICATOR;
    if ((mask & kDrawPin) && isPinned(id)) item.icons |= ROI_ICON_PIN;
    if (id != -1 && id == anchorId_) item.icons |= ROI_ICON_ANCHOR_POINT;
    if ((mask & kDrawNameTag) && frameTuning_.nameTag && id != -1 && nameOf(id)) {
      item.icons |= PairEmitter::nameTagBit(false, item.type);
    }
    people.push_back(item);
    rank.push_back(id == -1 ? 0 : isPinned(id) ? 1 : speaking ? 2 : p.tracked ? 3 : 4);
  }
  std::vector<size_t> order(people.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return rank[a] < rank[b]; });
  // The rectangle being drawn goes first: the output takes the type of the last control pair of
  // an id, and a fitted frame (also id -1) must win.
  std::vector<BorderItem> ordered;
  ordered.reserve(items.size() + people.size() + ignore_.size());
  for (size_t i : order) {
    if (people[i].id == -1) ordered.push_back(people[i]);
  }
  ordered.insert(ordered.end(), items.begin(), items.end());
  for (size_t i : order) {
    if (people[i].id != -1) ordered.push_back(people[i]);
  }
  items = std::move(ordered);

  if (mask & kDrawIgnore) {
    for (const rect& r : ignore_) {
      BorderItem item;
      item.box = PairEmitter::toDisplay(r, geometry_);
      item.id = r.id;
      if (editIgnoreIconFlags_ & 1u) item.icons = ROI_ICON_IGNORE;
      items.push_back(item);
    }
  }
  return items;
}

void LayoutEngine::SetSrcToSubwindow(int srcWidth, int srcHeight, int subWidth, int subHeight) {
  std::lock_guard<std::mutex> lock(mutex_);
  sub_.clear();
  if (!ready_) return;
  if (srcWidth != geometry_.videoWidth || srcHeight != geometry_.videoHeight) {
    ORLITH_LOG_WARNING("sub-window source " + std::to_string(srcWidth) + "x" +
                       std::to_string(srcHeight) + " differs from the video; using the video size");
  }
  geometry_.subWidth = subWidth;
  geometry_.subHeight = subHeight;
  // Without a layout this frame (an output that is not 16:9) the outlines still follow the input.
  if (inputsPending_) {
    normaliseGeometry();
    collectPresent();
  }
  std::vector<BorderItem> items;
  if (subDrawRect_) items = borderItems();
  sub_.build(geometry_, subWidth, subHeight, items);
}

// ---- Results ----

bool LayoutEngine::GetROIPairCount(int type, int* count) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!count || type < 1 || type > 3) return false;
  *count = static_cast<int>(pairs_[type - 1].size());
  return true;
}

bool LayoutEngine::GetROIPairs(int type, int count, roi_pair* pairs) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!pairs || type < 1 || type > 3 || count < 0) return false;
  const auto& list = pairs_[type - 1];
  if (static_cast<size_t>(count) > list.size()) return false;
  std::copy(list.begin(), list.begin() + count, pairs);
  return true;
}

bool LayoutEngine::GetSubwindowROIPairCount(int type, int* count) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!count) return false;
  if (type == SubwindowPairs::kTileList) {
    *count = static_cast<int>(sub_.tiles().size());
  } else if (type == SubwindowPairs::kBorderList) {
    *count = static_cast<int>(sub_.borders().size());
  } else {
    return false;
  }
  return true;
}

bool LayoutEngine::GetSubwindowROIPairs(int type, int count, roi_pair* pairs) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!pairs || count < 0) return false;
  const std::vector<roi_pair>* list = nullptr;
  if (type == SubwindowPairs::kTileList) list = &sub_.tiles();
  if (type == SubwindowPairs::kBorderList) list = &sub_.borders();
  if (!list || static_cast<size_t>(count) > list->size()) return false;
  std::copy(list->begin(), list->begin() + count, pairs);
  return true;
}

// ---- Settings ----

void LayoutEngine::EnableBeamforming(bool enable) {
  std::lock_guard<std::mutex> lock(mutex_);
  beamforming_ = enable;
}

void LayoutEngine::SetMirror(bool mirror) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (geometry_.mirror != mirror) cameras_.clear();
  geometry_.mirror = mirror;
}

void LayoutEngine::EnableROIAutoMerge(bool enable) {
  std::lock_guard<std::mutex> lock(mutex_);
  autoMerge_ = enable;
}

void LayoutEngine::SetLayoutMode(int mode) {
  std::lock_guard<std::mutex> lock(mutex_);
  switch (mode) {
    case LAYOUT_COMPOSE:
    case LAYOUT_FOCUS:
    case LAYOUT_TOP_DOWN:
    case LAYOUT_GRID:
    case LAYOUT_SPEAKER:
    case LAYOUT_TWO_GROUPS:
    case LAYOUT_PRESENTATION:
    case LAYOUT_PANORAMA:
    case LAYOUT_SINGLE_SPEAKER:
      mode_ = mode;
      return;
    default:
      ORLITH_LOG_WARNING("unknown layout mode " + std::to_string(mode) + " ignored");
  }
}

void LayoutEngine::SetFitPolicy(int policy) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (policy < 1 || policy > 3) {
    ORLITH_LOG_WARNING("unknown fit policy " + std::to_string(policy) + " ignored");
    return;
  }
  fitPolicy_ = policy;
}

void LayoutEngine::SetHeightOffsetFor180Video(int offset) {
  std::lock_guard<std::mutex> lock(mutex_);
  const int limit = std::max(0, geometry_.videoHeight - geometry_.videoWidth / 6);
  geometry_.bannerY = std::clamp(offset, 0, limit);
}

void LayoutEngine::SetFocusModeROIExtendPixel(int pixels) {
  std::lock_guard<std::mutex> lock(mutex_);
  extendPixels_ = std::max(0, pixels);
}

void LayoutEngine::SetMaxGridCount(int count) {
  std::lock_guard<std::mutex> lock(mutex_);
  maxGridCount_ = std::clamp(count, 1, 9);
}

void LayoutEngine::SetGridComposeModeMaxCount(int count) {
  std::lock_guard<std::mutex> lock(mutex_);
  composeMaxCount_ = std::clamp(count, 1, 8);
}

void LayoutEngine::SetPIPSmallWindowSize(int level) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (level < 1 || level > 3) return;
  pipLevel_ = level;
}

void LayoutEngine::SetAngleTolerance(int degrees) {
  std::lock_guard<std::mutex> lock(mutex_);
  angleTolerance_ = std::clamp(degrees, 0, 180);
}

void LayoutEngine::GetViewMoveIconRect(float* values, int count) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!values || count <= 0) return;
  const double w = geometry_.videoWidth;
  const double k = w > 0 && geometry_.subWidth > 0 ? geometry_.subWidth / w : 1.0;
  const double out[4] = {(w - iconWidth_ - 1) * k,
                         (geometry_.bannerY + geometry_.bannerHeight() - iconHeight_ - 1) * k,
                         iconWidth_ * k, iconHeight_ * k};
  for (int i = 0; i < std::min(count, 4); ++i) values[i] = static_cast<float>(out[i]);
}

void LayoutEngine::EnableSubWindowDrawRect(int which, bool enable) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (which != 1) return;
  subDrawRect_ = enable;
}

void LayoutEngine::SetDrawFlags(unsigned mask) {
  std::lock_guard<std::mutex> lock(mutex_);
  drawFlags_ = mask;
}

void LayoutEngine::SetEditWindowIgnoreIconFlags(unsigned mask) {
  std::lock_guard<std::mutex> lock(mutex_);
  editIgnoreIconFlags_ = mask;
}

bool LayoutEngine::GetFocusedRectInPIP(int, int* id) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!id || mode_ != LAYOUT_PRESENTATION || focusedInPip_ == -1) return false;
  *id = focusedInPip_;
  return true;
}

}  // namespace selvo
