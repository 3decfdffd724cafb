#include "PersonDetector.h"

#include <pthread.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>
#include <string>

#include "CandidateMosaic.h"
#include "FaceMerger.h"
#include "OrlithLog.h"
#include "PanoramaTiles.h"
#include "SelvoFactory.h"
#include "dispatch/SyncAnnotation.h"
#include "dispatch/ThreadStart.h"

namespace selvo {

namespace {

// A parallel_for_ body that tells a race detector about the start and the join of the pool
// under OpenCV, made with that pool's own atomics, which it cannot see: what the caller did
// before the loop happens before every lane, and every lane before the caller goes on.
template <typename F>
class LaneBody : public cv::ParallelLoopBody {
 public:
  explicit LaneBody(F f) : f_(std::move(f)) {}
  void operator()(const cv::Range& range) const override {
    platform::SyncAnnotation::acquire(this);  // before any member is read
    f_(range);
    platform::SyncAnnotation::release(this);
  }

 private:
  F f_;
};

}  // namespace

namespace {
constexpr float kMergeOverlap = 0.3f;
// The band pass: tiles of 0.44 of the picture height (a 24-pixel face becomes about 13 pixels
// of the model's input, which it still finds; at 0.5 it loses some) over rows 0.25 to 0.60 of
// the height, one row of tiles: eleven round a 3840 x 1080 panorama. The fine type spends
// more: tiles of 0.40, twelve of them.
constexpr float kBandSide = 0.44f;
constexpr float kFineBandSide = 0.40f;
constexpr float kBandTop = 0.25f;
constexpr float kBandBottom = 0.60f;
// The band's tiles overlap by a quarter: faces up to that size lie whole in one of them.
constexpr float kBandLargestFace = 0.25f;
// A face the last pass found counts as found again above this overlap.
constexpr float kSameFaceOverlap = 0.1f;
// Reinforcement looks at squares of this many face sides around missed people, at most this
// many squares per pass.
constexpr float kReinforceSides = 4.0f;
constexpr int kMaxReinforced = 8;
// A tile counts as changed when more than kChangedCells of its cells (16 x 16 pixels) differ by
// more than kChangeLevel grey levels from when it was last looked at: someone walking in changes
// dozens, the camera's noise and compression none.
constexpr int kChangeScale = 16;
constexpr int kChangeLevel = 12;
constexpr int kChangedCells = 3;
// A box this much inside another is the same face.
constexpr float kSameFace = 0.3f;
// The tiles report faces down to this score; those below the confidence are candidates for a
// second look, at most this many places a pass (each in two views, four views a forward pass).
constexpr float kCandidateScore = 0.15f;
constexpr size_t kMaxPlaces = 8;
// A place whose face both its views find at this score is a face, below the confidence.
constexpr float kAgreedScore = 0.5f;
// Fainter boxes, down to this score, are candidates only beside a face found, where someone
// partly hidden by a nearer person shows: at most this many places of them a pass.
constexpr float kFaintScore = 0.05f;
constexpr size_t kMaxBesidePlaces = 2;
// Only faces up to this share of the picture height get a second look: larger ones fill enough
// of a whole-height tile already.
constexpr float kLargestSecondLook = 0.1f;
// The translated-mode face detector reports boxes in a 1920-pixel-wide frame, shrunk further
// by 11/12 for a 360-degree panorama.
constexpr float kExternalWidth = 1920.0f;
constexpr float kExternal360Factor = 12.0f / 11.0f;

float wrapX(float x, int width) {
  float w = float(width);
  x = std::fmod(x, w);
  return x < 0 ? x + w : x;
}
}  // namespace

PersonDetector::PersonDetector() = default;

PersonDetector::~PersonDetector() { StopWorker(); }

// The pass under way gives up at its next tile; the thread ends and takes nothing of OpenCV's
// with it that a later exit could trip over.
void PersonDetector::StopWorker() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    stopRequested_ = true;
  }
  wake_.notify_all();
  if (worker_.joinable()) worker_.join();
  running_ = false;
  for (Lane& lane : lanes_) {
    lane.tile.release();
    lane.half.release();
    lane.input.release();
  }
  ForgetPasses();
  std::lock_guard lock(mutex_);
  pending_ = {};
  jobPending_ = false;
}

bool PersonDetector::Abandoned(const Job& job) const {
  return stopRequested_ || job.generation != liveGeneration_;
}

void PersonDetector::Init(int width, int height, bool is360, int modelType, int /*reserved*/,
                          float confidence) {
  // A pass under way is for the old picture: it is abandoned and its worker ended first.
  StopWorker();
  {
    std::lock_guard lock(mutex_);
    width_ = width;
    height_ = height;
    is360_ = is360;
    jobPending_ = false;
    forget_ = true;  // the people of the last pass belong to the old picture
    ++generation_;
    liveGeneration_ = generation_;
  }
  SetModelType(modelType);
  SetConfidenceThreshold(confidence);
  {
    std::lock_guard lock(resultMutex_);
    resultNew_ = false;
    latest_ = {};
    delivered_ = {};
  }
  if (!lanes_.back().model.IsLoaded()) {
    std::string folder = GetSelvoResourceFolder();
    std::string path = (folder.empty() ? std::string(".") : folder) + "/" + kModelFileName;
    // Load logged why; this detector finds nothing. One lane failing means all do: only the
    // first reports it.
    for (Lane& lane : lanes_)
      if (!lane.model.Load(path)) return;
  }
  cv::setNumThreads(kDetectThreads);
  {
    std::lock_guard lock(mutex_);
    stopping_ = false;
    stopRequested_ = false;
  }
  if (auto refused = platform::ThreadStart::start(worker_, [this] { WorkerLoop(); })) {
    ORLITH_LOG_ERROR("the person detection cannot start (" + *refused + "): nobody is found");
    return;
  }
  pthread_setname_np(worker_.native_handle(), kWorkerName);
  running_ = true;
}

void PersonDetector::ForgetPasses() {
  previous_.clear();
  memory_.clear();
  secondLooked_.clear();
  small_.release();
}

void PersonDetector::RequestFullPass() { fullPassAsked_ = true; }

void PersonDetector::SetMinRectSideLength(int side) { minSide_ = std::max(0, side); }

void PersonDetector::EnableReinforcementDetect(bool enable) { reinforce_ = enable; }

void PersonDetector::SetConfidenceThreshold(float confidence) {
  if (!(confidence > 0.0f && confidence < 1.0f)) {
    ORLITH_LOG_WARNING("confidence threshold " + std::to_string(confidence) + " ignored");
    return;
  }
  confidence_ = confidence;
}

void PersonDetector::SetModelType(int modelType) {
  if (modelType < 0 || modelType > 2) {
    ORLITH_LOG_WARNING("model type " + std::to_string(modelType) + " ignored");
    return;
  }
  modelType_ = modelType;
}

void PersonDetector::SetCallback(DetectCallback* callback) {
  std::lock_guard lock(mutex_);
  callback_ = callback;
}

void PersonDetector::SetFrameManager(ISELVO_FRAME_MANAGER* frameManager) {
  std::lock_guard lock(mutex_);
  frameManager_ = frameManager;
}

void PersonDetector::SetNativeMode(bool native) { native_ = native; }

void PersonDetector::AddFrame(unsigned frameId, bool detect) {
  lastAdded_ = frameId;
  if (!detect || !native_ || !running_) return;
  std::unique_lock lock(mutex_);
  if (!frameManager_) return;
  FrameView view;
  if (!frameManager_->GetFrame(frameId, &view) || !view.luma || view.width <= 0 ||
      view.height <= 0 || view.bytesPerRow < view.width) {
    ORLITH_LOG_WARNING("frame " + std::to_string(frameId) + " is not open; nothing detected");
    return;
  }
  // The plane is only valid until EndFrame: the worker gets its own packed copy. A frame still
  // waiting in the mailbox is replaced.
  Job& job = pending_;
  job.width = view.width;
  job.height = view.height;
  job.tracked = view.tracked;
  job.generation = generation_;
  job.frameId = frameId;
  job.luma.resize(size_t(view.width) * size_t(view.height));
  for (int y = 0; y < view.height; ++y)
    std::memcpy(job.luma.data() + size_t(y) * size_t(view.width),
                view.luma + size_t(y) * size_t(view.bytesPerRow), size_t(view.width));
  jobPending_ = true;
  lock.unlock();
  wake_.notify_one();
}

void PersonDetector::WorkerLoop() {
  Job job;
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || jobPending_; });
      if (stopping_) return;
      std::swap(job, pending_);
      jobPending_ = false;
      if (forget_) ForgetPasses();
      forget_ = false;
    }
    std::vector<rect> faces = Detect(job);
    DetectCallback* callback;
    {
      std::lock_guard lock(mutex_);
      if (job.generation != generation_ || stopping_) continue;  // set up anew or stopping
      callback = callback_;
    }
    Publish(faces, job.width, job.height, job.frameId);
    if (callback) callback->OnDetectDone();
  }
}

std::vector<rect> PersonDetector::RunTile(Lane& lane, const Job& job, const PanoramaTiles::Tile& t,
                                          float confidence) {
  const bool is360 = is360_;
  const int x = t.x, y = t.y, side = t.side;
  // A tile inside the picture is read in place; one across an edge or the seam is copied.
  cv::Mat tile;
  if (x >= 0 && y >= 0 && x + side <= job.width && y + side <= job.height) {
    tile = cv::Mat(job.height, job.width, CV_8UC1,
                   const_cast<uint8_t*>(job.luma.data()))(cv::Rect(x, y, side, side));
  } else {
    PanoramaTiles::Copy(job.luma.data(), job.width, job.height, job.width, is360, t, lane.tile);
    tile = lane.tile;
  }
  // Halving first is several times cheaper than one area resize by an odd factor.
  const int n = BlazeFaceModel::kInputSide;
  while (tile.cols / 2 >= n) {
    cv::resize(tile, lane.half, cv::Size(tile.cols / 2, tile.rows / 2), 0, 0, cv::INTER_AREA);
    std::swap(tile, lane.half);
    lane.half = cv::Mat();
  }
  cv::resize(tile, lane.input, cv::Size(n, n), 0, 0, side > n ? cv::INTER_AREA : cv::INTER_LINEAR);
  std::vector<rect> faces = lane.model.Run(lane.input, confidence);
  float scale = float(side) / float(n);
  for (rect& f : faces) {
    f.x = x + f.x * scale;
    f.y = y + f.y * scale;
    f.width *= scale;
    f.height *= scale;
  }
  return faces;
}

void PersonDetector::RunOnLanes(const Job& job, size_t count,
                                const std::function<void(Lane&, size_t)>& work) {
  std::atomic<size_t> next{0};
  std::atomic<int> forwards{0};
  // Each lane takes the next piece of work until none is left. Inside OpenCV's parallel region
  // the model's own loops run on the lane's thread only; should OpenCV run the lanes one after
  // the other, the first simply takes every piece.
  LaneBody body([&](const cv::Range& range) {
    for (int l = range.start; l < range.end; ++l) {
      for (size_t i; (i = next++) < count;) {
        if (Abandoned(job)) return;
        work(lanes_[size_t(l)], i);
        ++forwards;
      }
    }
  });
  platform::SyncAnnotation::release(&body);
  cv::parallel_for_(cv::Range(0, int(lanes_.size())), body, double(lanes_.size()));
  platform::SyncAnnotation::acquire(&body);
  passForwards_ += forwards;
}

std::vector<std::vector<rect>> PersonDetector::RunTiles(
    const Job& job, const std::vector<PanoramaTiles::Tile>& tiles, float confidence) {
  std::vector<std::vector<rect>> faces(tiles.size());
  RunOnLanes(job, tiles.size(),
             [&](Lane& lane, size_t i) { faces[i] = RunTile(lane, job, tiles[i], confidence); });
  return faces;
}

std::vector<rect> PersonDetector::SecondLook(const Job& job, std::vector<rect> candidates,
                                             const std::vector<rect>& people, float confidence) {
  // The faint candidates beside people found have places of their own, after the others: first
  // those where someone seated behind usually shows, then the rest.
  const float wrap = is360_ ? float(job.width) : 0.0f;
  std::vector<rect> places, behind, beside;
  for (const rect& c : candidates)
    if (c.score < kCandidateScore)
      (std::any_of(people.begin(), people.end(),
                   [&](const rect& f) { return CandidateMosaic::Behind(c, f, wrap); })
           ? behind
           : beside)
          .push_back(c);
  candidates.erase(std::remove_if(candidates.begin(), candidates.end(),
                                  [](const rect& c) { return c.score < kCandidateScore; }),
                   candidates.end());
  CandidateMosaic::AddPlaces(places, std::move(candidates), wrap, kMaxPlaces);
  const size_t before = places.size();
  CandidateMosaic::AddPlaces(places, std::move(behind), wrap, kMaxBesidePlaces);
  CandidateMosaic::AddPlaces(places, std::move(beside), wrap,
                             kMaxBesidePlaces - std::min(kMaxBesidePlaces, places.size() - before));
  const size_t mosaics =
      (CandidateMosaic::CellCount(places.size()) + CandidateMosaic::kCapacity - 1) /
      CandidateMosaic::kCapacity;
  std::vector<std::vector<rect>> found(mosaics);
  std::vector<std::vector<size_t>> cellOf(mosaics);
  const LumaPlane plane{job.luma.data(), job.width, job.height, job.width, is360_};
  RunOnLanes(job, mosaics, [&](Lane& lane, size_t i) {
    std::vector<CandidateMosaic::Cell> cells;
    CandidateMosaic::Build(plane, places, i * CandidateMosaic::kCapacity, lane.input, cells);
    // Faces down to the agreed score: a place's views are weighed together below.
    found[i] =
        CandidateMosaic::MapBack(lane.model.Run(lane.input, std::min(kAgreedScore, confidence)),
                                 cells, job.width, is360_, &cellOf[i]);
    for (size_t& k : cellOf[i]) k += i * CandidateMosaic::kCapacity;
  });
  std::vector<rect> faces;
  std::vector<size_t> cells;
  for (size_t i = 0; i < mosaics; ++i) {
    faces.insert(faces.end(), found[i].begin(), found[i].end());
    cells.insert(cells.end(), cellOf[i].begin(), cellOf[i].end());
  }
  return CandidateMosaic::Confirmed(faces, cells, confidence, kAgreedScore);
}

std::vector<size_t> PersonDetector::TilesToRun(const Job& job,
                                               const std::vector<PanoramaTiles::Tile>& tiles,
                                               bool full, std::vector<cv::Mat>& looks) {
  const cv::Mat luma(job.height, job.width, CV_8UC1, const_cast<uint8_t*>(job.luma.data()));
  const int sw = std::max(1, job.width / kChangeScale), sh = std::max(1, job.height / kChangeScale);
  // Whole cells only (1080 rows make 67.5 cells): a whole shrink factor takes OpenCV's fast area
  // resize, six times cheaper than the general one. The few rows left over are the table's.
  const cv::Rect whole(0, 0, std::min(job.width, sw * kChangeScale),
                       std::min(job.height, sh * kChangeScale));
  cv::resize(luma(whole), small_, cv::Size(sw, sh), 0, 0, cv::INTER_AREA);
  const LumaPlane plane{small_.data, sw, sh, int(small_.step[0]), bool(is360_)};
  looks.assign(tiles.size(), cv::Mat());
  std::vector<size_t> run;
  cv::Mat diff;
  for (size_t i = 0; i < tiles.size(); ++i) {
    const PanoramaTiles::Tile& t = tiles[i];
    int side = std::max(1, t.side / kChangeScale);
    LumaCrop::Copy(plane, {t.x / kChangeScale, t.y / kChangeScale, side, side}, looks[i]);
    bool changed = full || i >= memory_.size() || memory_[i].look.size() != looks[i].size();
    if (!changed) {
      cv::absdiff(looks[i], memory_[i].look, diff);
      changed = cv::countNonZero(diff > kChangeLevel) > kChangedCells;
    }
    if (changed) run.push_back(i);
  }
  return run;
}

std::vector<rect> PersonDetector::Detect(const Job& job) {
  const bool is360 = is360_;
  const float confidence = confidence_;
  const float wrap = is360 ? float(job.width) : 0.0f;
  std::vector<rect> all;
  passForwards_ = 0;
  std::vector<PanoramaTiles::Tile> tiles =
      PanoramaTiles::Make(job.width, job.height, is360, PanoramaTiles::SideFactor(modelType_));
  const size_t wholeHeight = tiles.size();
  // Small faces (far end of the table, a guest by the wall) are found in a second, finer pass
  // over the band where seated and standing people's faces appear; the ceiling and the table
  // are left out, so the extra tiles cost only that band.
  if (modelType_ != 0) {
    const int side = int(std::lround(job.height * (modelType_ == 1 ? kFineBandSide : kBandSide)));
    for (const auto& tile :
         PanoramaTiles::MakeBand(job.width, job.height, is360, side, int(job.height * kBandTop),
                                 int(job.height * kBandBottom), side / 4))
      tiles.push_back(tile);
  }
  // The coarse type spends least: it takes the tiles' word and looks no closer.
  const int modelType = modelType_;
  const bool secondLook = modelType != 0;
  const bool full = fullPassAsked_.exchange(false) || memory_.size() != tiles.size() ||
                    memoryConfidence_ != confidence || memoryModelType_ != modelType ||
                    passesSinceFull_ + 1 >= kFullPassEvery;
  std::vector<cv::Mat> looks;
  std::vector<size_t> run = TilesToRun(job, tiles, full, looks);
  std::vector<PanoramaTiles::Tile> running;
  for (size_t i : run) running.push_back(tiles[i]);
  std::vector<std::vector<rect>> fresh =
      RunTiles(job, running, secondLook ? std::min(confidence, kFaintScore) : confidence);
  if (Abandoned(job)) {
    fullPassAsked_ = fullPassAsked_ || full;  // the pass asked for is still owed
    return {};
  }
  memory_.resize(tiles.size());
  for (size_t k = 0; k < run.size(); ++k) {
    memory_[run[k]].faces = std::move(fresh[k]);
    memory_[run[k]].look = looks[run[k]];
  }
  memoryConfidence_ = confidence;
  memoryModelType_ = modelType;
  passesSinceFull_ = full ? 0 : passesSinceFull_ + 1;
  // Whether a face lies in a tile looked at this pass.
  auto inRunTile = [&](const rect& f) {
    float cx = f.x + f.width / 2, cy = f.y + f.height / 2;
    for (size_t i : run) {
      const PanoramaTiles::Tile& t = tiles[i];
      float dx = cx - float(t.x);
      if (is360) dx -= std::floor(dx / float(job.width)) * float(job.width);
      if (dx >= 0 && dx < float(t.side) && cy >= float(t.y) && cy < float(t.y + t.side))
        return true;
    }
    return false;
  };
  std::vector<rect> weak, faint;
  for (size_t i = 0; i < tiles.size(); ++i)
    for (const rect& f : memory_[i].faces)
      // Large faces are the whole-height pass's: one cut by a band tile's edge would come back
      // as a second, partial box that no merge joins to the whole face.
      if (i < wholeHeight || f.height <= tiles[i].side * kBandLargestFace) {
        if (f.score >= confidence)
          all.push_back(f);
        else if (inRunTile(f))
          (f.score >= kCandidateScore ? weak : faint).push_back(f);
      }
  std::vector<rect> merged = FaceMerger::Merge(all, kMergeOverlap, wrap);
  // What earlier second looks confirmed stays where no tile was looked at again; elsewhere the
  // candidates are looked at anew.
  std::vector<rect> secondFaces;
  for (const rect& f : secondLooked_)
    if (!inRunTile(f)) secondFaces.push_back(f);

  // The faint boxes beside someone found join the candidates on their own: merged with the
  // others, they would move those.
  std::vector<rect> toLook = FaceMerger::Merge(weak, kMergeOverlap, wrap);
  for (const rect& c : FaceMerger::Merge(faint, kMergeOverlap, wrap))
    if (std::any_of(merged.begin(), merged.end(),
                    [&](const rect& f) { return CandidateMosaic::BesideFound(c, f, wrap); }))
      toLook.push_back(c);

  // A second look at what scored below the confidence and is not a face already found.
  if (secondLook && !toLook.empty()) {
    // Inside a face already found, or on its edge (an ear, the hair) when much smaller.
    auto inside = [&](const rect& c, const rect& f) {
      if (FaceMerger::Covered(c, f, wrap) > kSameFace) return true;
      if (c.height > f.height * 0.5f) return false;
      rect grown{f.x - f.width * 0.3f, f.y - f.height * 0.3f, f.width * 1.6f, f.height * 1.6f};
      return FaceMerger::Covered(c, grown, wrap) > kSameFace;
    };
    // A face-like pattern on the clothes of someone found: the chest below a larger face.
    auto onChest = [&](const rect& c, const rect& f) {
      if (c.height > f.height * 0.7f) return false;
      float dx = (c.x + c.width / 2) - (f.x + f.width / 2);
      if (wrap > 0) dx -= std::round(dx / wrap) * wrap;
      float below = c.y + c.height / 2 - (f.y + f.height);
      return std::abs(dx) < f.width * 0.6f && below > 0 && below < f.height * 3;
    };
    // What a closer look would find there is dropped below anyway: no look is spent on it.
    auto onSomeoneFound = [&](const rect& c) {
      return std::any_of(merged.begin(), merged.end(),
                         [&](const rect& f) { return inside(c, f) || onChest(c, f); }) ||
             std::any_of(secondFaces.begin(), secondFaces.end(),
                         [&](const rect& f) { return inside(c, f); });
    };
    std::vector<rect> candidates;
    const float largest = kLargestSecondLook * float(job.height);
    for (const rect& c : toLook) {
      bool known = std::any_of(merged.begin(), merged.end(), [&](const rect& f) {
        return FaceMerger::Overlap(c, f, wrap) > kSameFaceOverlap;
      });
      // Far faces lie in the band where seated people's faces are; below it are the table, the
      // chairs and the clothes, whose patterns the closer look would only make more face-like.
      float cy = c.y + c.height / 2;
      if (!known && c.height <= largest && cy >= kBandTop * float(job.height) &&
          cy <= kBandBottom * float(job.height) && !onSomeoneFound(c))
        candidates.push_back(c);
    }
    std::vector<rect> confirmed = SecondLook(job, std::move(candidates), merged, confidence);
    if (Abandoned(job)) return {};
    // A closer look can find a part of a face already found (the eyes of a large face) or
    // the same face twice at two sizes: the best box of each place stays.
    std::sort(confirmed.begin(), confirmed.end(),
              [](const rect& a, const rect& b) { return a.score > b.score; });
    std::vector<rect> kept;
    for (const rect& c : FaceMerger::Merge(confirmed, kMergeOverlap, wrap)) {
      auto insideOf = [&](const rect& f) { return inside(c, f); };
      if (c.height <= largest && !onSomeoneFound(c) &&
          std::none_of(kept.begin(), kept.end(), insideOf))
        kept.push_back(c);
    }
    secondFaces.insert(secondFaces.end(), kept.begin(), kept.end());
  }
  if (!secondLook) secondFaces.clear();
  secondLooked_ = secondFaces;
  for (const rect& f : secondFaces)
    if (std::none_of(merged.begin(), merged.end(),
                     [&](const rect& m) { return FaceMerger::Covered(f, m, wrap) > kSameFace; }))
      merged.push_back(f);
  std::sort(merged.begin(), merged.end(),
            [](const rect& a, const rect& b) { return a.score > b.score; });

  // A finer look around the people of the last pass that this pass missed, while rectangles
  // are being tracked: a turned or small face often scores higher when it fills more of the
  // model's input.
  if (reinforce_ && job.tracked) {
    std::vector<cv::Rect> looked;
    bool added = false;
    for (const rect& prev : previous_) {
      bool seen = std::any_of(merged.begin(), merged.end(), [&](const rect& f) {
        return FaceMerger::Overlap(prev, f, wrap) > kSameFaceOverlap;
      });
      if (seen) continue;
      // One look covers every missed person whose face lies well inside it.
      cv::Point2f centre(prev.x + prev.width / 2, prev.y + prev.height / 2);
      bool covered = std::any_of(looked.begin(), looked.end(), [&](const cv::Rect& r) {
        float m = std::max(prev.width, prev.height);
        float cx = centre.x;
        if (wrap > 0 && cx < r.x) cx += wrap;
        return cx - m >= r.x && cx + m <= r.x + r.width && centre.y - m >= r.y &&
               centre.y + m <= r.y + r.height;
      });
      if (covered) continue;
      if (int(looked.size()) == kMaxReinforced || Abandoned(job)) break;
      float faceSide = std::max(prev.width, prev.height);
      int side = int(std::clamp(faceSide * kReinforceSides, 128.0f, float(job.height)));
      int x = int(std::lround(centre.x - side / 2.0f));
      int y =
          std::clamp(int(std::lround(centre.y - side / 2.0f)), 0, std::max(0, job.height - side));
      if (!is360) x = std::clamp(x, 0, std::max(0, job.width - side));
      if (is360) x = ((x % job.width) + job.width) % job.width;
      looked.emplace_back(x, y, side, side);
    }
    std::vector<PanoramaTiles::Tile> looks;
    for (const cv::Rect& r : looked) looks.push_back({r.x, r.y, r.width});
    // Only faces where the last pass saw people count: the look is a second opinion on them,
    // not a search.
    for (const auto& faces : RunTiles(job, looks, confidence))
      for (const rect& f : faces) {
        bool known = std::any_of(previous_.begin(), previous_.end(), [&](const rect& p) {
          return FaceMerger::Overlap(p, f, wrap) > kSameFaceOverlap;
        });
        if (known) {
          all.push_back(f);
          added = true;
        }
      }
    if (Abandoned(job)) return {};
    if (added) merged = FaceMerger::Merge(all, kMergeOverlap, wrap);
  }

  // Keep boxes inside the picture (x wraps on a 360-degree panorama).
  std::vector<rect> out;
  for (rect f : merged) {
    float top = std::max(0.0f, f.y), bottom = std::min(float(job.height), f.y + f.height);
    f.y = top;
    f.height = bottom - top;
    if (!is360) {
      float left = std::max(0.0f, f.x), right = std::min(float(job.width), f.x + f.width);
      f.x = left;
      f.width = right - left;
    }
    if (f.width >= 2 && f.height >= 2) out.push_back(f);
  }
  previous_ = out;
  lastPassForwards_ = passForwards_;
  return out;
}

rect PersonDetector::HeadAndShoulders(const rect& face, int width, int height, bool is360,
                                      int minSide) {
  // Hair above the face, the shoulders below it: 1.8 times the face's width, twice its height
  // starting 0.3 of a face above it. Kept modest: the rectangle manager widens it again for
  // display and drops boxes of its maximum detection side.
  float cx = face.x + face.width / 2;
  float w = std::max(face.width * 1.8f, float(minSide));
  float top = face.y - face.height * 0.3f;
  float h = face.height * 2.0f;
  if (h < minSide) {
    top -= (minSide - h) / 2;
    h = float(minSide);
  }
  h = std::min(h, float(height));
  top = std::clamp(top, 0.0f, float(height) - h);
  w = std::min(w, float(width));
  float x = cx - w / 2;
  if (is360)
    x = wrapX(x, width);
  else
    x = std::clamp(x, 0.0f, float(width) - w);
  return rect{x, top, w, h, -1, face.score};
}

void PersonDetector::Publish(const std::vector<rect>& faces, int width, int height,
                             unsigned frameId) {
  const bool is360 = is360_;
  Result result;
  result.frameId = frameId;
  for (const rect& f : faces) {
    result.found.push_back(rect{f.x, f.y, f.width, f.height, -1, f.score});
    result.adjusted.push_back(HeadAndShoulders(f, width, height, is360, minSide_));
  }
  std::lock_guard lock(resultMutex_);
  latest_ = std::move(result);
  resultNew_ = true;
}

int PersonDetector::GetResultCount(int* count) {
  std::lock_guard lock(resultMutex_);
  if (!resultNew_) {
    if (count) *count = 0;
    return 0;
  }
  delivered_ = latest_;
  resultNew_ = false;
  if (count) *count = int(delivered_.found.size());
  return 1;
}

void PersonDetector::GetResults(rect* found, rect* adjusted, int count) {
  std::lock_guard lock(resultMutex_);
  int n = std::min(count, int(delivered_.found.size()));
  for (int i = 0; i < n; ++i) {
    if (found) found[i] = delivered_.found[size_t(i)];
    if (adjusted) adjusted[i] = delivered_.adjusted[size_t(i)];
  }
}

bool PersonDetector::GetResultFrameId(unsigned* frameId) {
  std::lock_guard lock(resultMutex_);
  if (frameId) *frameId = delivered_.frameId;
  return true;
}

void PersonDetector::SetExternalResults(const rect* rects, int count) {
  const int width = width_, height = height_;
  const bool is360 = is360_;
  if (width <= 0 || height <= 0) return;
  float g = float(width) / kExternalWidth * (is360 ? kExternal360Factor : 1.0f);
  std::vector<rect> faces;
  for (int i = 0; rects && i < count; ++i) {
    const rect& r = rects[i];
    rect f{r.x * g, r.y * g, r.width * g, r.height * g, -1, r.score > 0 ? r.score : 1.0f};
    if (!(f.width >= 2 && f.height >= 2)) continue;
    float top = std::max(0.0f, f.y), bottom = std::min(float(height), f.y + f.height);
    if (bottom - top < 2) continue;
    f.y = top;
    f.height = bottom - top;
    if (is360) {
      f.x = wrapX(f.x, width);
    } else {
      float left = std::max(0.0f, f.x), right = std::min(float(width), f.x + f.width);
      if (right - left < 2) continue;
      f.x = left;
      f.width = right - left;
    }
    faces.push_back(f);
  }
  Publish(faces, width, height, lastAdded_);
}

}  // namespace selvo
