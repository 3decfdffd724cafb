#pragma once

// Recording doubles of the vision library's six objects and a factory handing them to the
// facade. Every call is written to one shared log, in call order, as "object.Operation(args)";
// results the facade relies on are scripted by the test. Header-only: tests that use it link
// orlith.

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <mutex>
#include <string>
#include <vector>

#include "SelvoObjectFactory.h"
#include "selvo/SelvoFactory.h"

namespace testsupport {

class CallLog {
 public:
  void add(std::string call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
  }
  std::vector<std::string> calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  // The calls that start with the prefix, in order.
  std::vector<std::string> matching(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& c : calls()) {
      if (c.rfind(prefix, 0) == 0) out.push_back(c);
    }
    return out;
  }
  size_t count(const std::string& prefix) const { return matching(prefix).size(); }
  // Position of the first call with the prefix at or after `from`; -1 when none.
  long indexOf(const std::string& prefix, long from = 0) const {
    auto all = calls();
    for (size_t i = size_t(std::max(0L, from)); i < all.size(); ++i) {
      if (all[i].rfind(prefix, 0) == 0) return long(i);
    }
    return -1;
  }
  void clear() {
    std::lock_guard lock(mutex_);
    calls_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> calls_;
};

inline std::string args(std::initializer_list<std::string> parts) {
  std::string s = "(";
  bool first = true;
  for (const auto& p : parts) {
    if (!first) s += ",";
    s += p;
    first = false;
  }
  return s + ")";
}
inline std::string str(int v) { return std::to_string(v); }
inline std::string str(unsigned v) { return std::to_string(v); }
inline std::string str(bool v) { return v ? "1" : "0"; }
inline std::string str(float v) {
  std::string s = std::to_string(v);
  s.erase(s.find_last_not_of('0') + 1);
  if (!s.empty() && s.back() == '.') s.pop_back();
  return s;
}
inline std::string str(const char* v) { return v ? v : "null"; }

class RecordingFrameManager : public selvo::ISELVO_FRAME_MANAGER {
 public:
  explicit RecordingFrameManager(std::shared_ptr<CallLog> log) : log_(std::move(log)) {}
  void Init(int w, int h, bool is360, int r) override {
    log_->add("frame.Init" + args({str(w), str(h), str(is360), str(r)}));
  }
  unsigned AddFrame(const uint8_t* plane0, int w, int h, bool detect, bool tracked) override {
    lastPlane = plane0;
    if (capture && plane0) captured.assign(plane0, plane0 + size_t(w) * size_t(h));
    log_->add("frame.AddFrame" + args({str(w), str(h), str(detect), str(tracked)}));
    return ++nextId_;
  }
  void BeginFrame(unsigned id) override { log_->add("frame.BeginFrame" + args({str(id)})); }
  void EndFrame(unsigned id) override { log_->add("frame.EndFrame" + args({str(id)})); }
  bool GetFrame(unsigned, selvo::FrameView*) const override { return false; }
  const uint8_t* lastPlane = nullptr;
  bool capture = false;
  std::vector<uint8_t> captured;

 private:
  std::shared_ptr<CallLog> log_;
  unsigned nextId_ = 0;
};

class RecordingDetector : public selvo::ISELVO_DETECTOR {
 public:
  explicit RecordingDetector(std::shared_ptr<CallLog> log) : log_(std::move(log)) {}
  void Init(int w, int h, bool is360, int model, int r, float conf) override {
    log_->add("detector.Init" + args({str(w), str(h), str(is360), str(model), str(r), str(conf)}));
  }
  void SetMinRectSideLength(int side) override {
    log_->add("detector.SetMinRectSideLength" + args({str(side)}));
  }
  void EnableReinforcementDetect(bool on) override {
    log_->add("detector.EnableReinforcementDetect" + args({str(on)}));
  }
  void SetConfidenceThreshold(float c) override {
    log_->add("detector.SetConfidenceThreshold" + args({str(c)}));
  }
  void SetModelType(int m) override { log_->add("detector.SetModelType" + args({str(m)})); }
  void AddFrame(unsigned id, bool detect) override {
    log_->add("detector.AddFrame" + args({str(id), str(detect)}));
  }
  void RequestFullPass() override { log_->add("detector.RequestFullPass()"); }
  // A scripted result is handed out on the first frame after it was pushed, once.
  int GetResultCount(int* count) override {
    std::lock_guard lock(mutex_);
    if (results_.empty()) return 0;
    delivered_ = std::move(results_.front());
    results_.pop_front();
    *count = int(delivered_.rects.size());
    return 1;
  }
  void GetResults(selvo::rect* found, selvo::rect* adjusted, int count) override {
    std::lock_guard lock(mutex_);
    log_->add("detector.GetResults" + args({str(count)}));
    for (int i = 0; i < count && size_t(i) < delivered_.rects.size(); ++i)
      found[i] = adjusted[i] = delivered_.rects[size_t(i)];
  }
  bool GetResultFrameId(unsigned* frameId) override {
    std::lock_guard lock(mutex_);
    if (!delivered_.frameId) return false;
    *frameId = *delivered_.frameId;
    return true;
  }
  void SetCallback(selvo::DetectCallback* cb) override {
    callback = cb;
    log_->add("detector.SetCallback");
  }
  void SetFrameManager(selvo::ISELVO_FRAME_MANAGER*) override {
    log_->add("detector.SetFrameManager");
  }
  void SetNativeMode(bool native) override {
    log_->add("detector.SetNativeMode" + args({str(native)}));
  }
  void SetExternalResults(const selvo::rect*, int n) override {
    log_->add("detector.SetExternalResults" + args({str(n)}));
  }
  // `frameId`: the frame the result says it was found in (none: the detector cannot tell).
  void pushResult(std::vector<selvo::rect> rects, std::optional<unsigned> frameId = {}) {
    std::lock_guard lock(mutex_);
    results_.push_back({std::move(rects), frameId});
  }
  selvo::DetectCallback* callback = nullptr;

 private:
  std::shared_ptr<CallLog> log_;
  std::mutex mutex_;
  struct Result {
    std::vector<selvo::rect> rects;
    std::optional<unsigned> frameId;
  };
  std::deque<Result> results_;
  Result delivered_;
};

class RecordingTracker : public selvo::ISELVO_TRACKER {
 public:
  RecordingTracker(std::shared_ptr<CallLog> log, std::string name)
      : log_(std::move(log)), name_(std::move(name)) {}
  bool Init(int w, int h, bool is360, int kind) override {
    log_->add(name_ + ".Init" + args({str(w), str(h), str(is360), str(kind)}));
    return initResult;
  }
  void Track(unsigned id) override { log_->add(name_ + ".Track" + args({str(id)})); }
  void SetTargets(const selvo::rect* rects, int count) override {
    std::lock_guard lock(mutex_);
    targets.assign(rects, rects + count);
    log_->add(name_ + ".SetTargets" + args({str(count)}));
  }
  void GetResultCount(int* count) override {
    std::lock_guard lock(mutex_);
    *count = results_.empty() ? -1 : int(results_.front().size());
  }
  void GetResults(selvo::rect* rects, int count) override {
    std::lock_guard lock(mutex_);
    log_->add(name_ + ".GetResults" + args({str(count)}));
    if (results_.empty()) return;
    auto r = results_.front();
    results_.pop_front();
    for (int i = 0; i < count && size_t(i) < r.size(); ++i) rects[i] = r[size_t(i)];
  }
  void SetFrameManager(selvo::ISELVO_FRAME_MANAGER*) override {
    log_->add(name_ + ".SetFrameManager");
  }
  void pushResult(std::vector<selvo::rect> rects) {
    std::lock_guard lock(mutex_);
    results_.push_back(std::move(rects));
  }
  std::vector<selvo::rect> lastTargets() {
    std::lock_guard lock(mutex_);
    return targets;
  }
  bool initResult = true;

 private:
  std::shared_ptr<CallLog> log_;
  std::string name_;
  std::mutex mutex_;
  std::vector<selvo::rect> targets;
  std::deque<std::vector<selvo::rect>> results_;
};

class RecordingLayout : public selvo::ISELVO_LAYOUT {
 public:
  explicit RecordingLayout(std::shared_ptr<CallLog> log) : log_(std::move(log)) {}
  void Init(bool is360, int vw, int vh, int ow, int oh, int sw, int sh, int r) override {
    log_->add("layout.Init" +
              args({str(is360), str(vw), str(vh), str(ow), str(oh), str(sw), str(sh), str(r)}));
  }
  void Reinit(bool is360, int vw, int vh, int ow, int oh, int sw, int sh, int r) override {
    log_->add("layout.Reinit" +
              args({str(is360), str(vw), str(vh), str(ow), str(oh), str(sw), str(sh), str(r)}));
  }
  void SetDefaultLogoPath(const char* p) override { one("SetDefaultLogoPath", str(p)); }
  void SetVoiceIndicatorIconPath(const char* p) override {
    one("SetVoiceIndicatorIconPath", str(p));
  }
  void SetPinIconPath(const char* p) override { one("SetPinIconPath", str(p)); }
  void SetAnchorPointSymbolPath(const char* p) override { one("SetAnchorPointSymbolPath", str(p)); }
  void SetIgnoreTagIconPath(const char* p) override { one("SetIgnoreTagIconPath", str(p)); }
  void SetNameTagImage(const char* p, int style) override {
    log_->add("layout.SetNameTagImage" + args({str(p), str(style)}));
  }
  void SetViewMoveIcon(const char* p, int w, int h, int pos) override {
    log_->add("layout.SetViewMoveIcon" + args({str(p), str(w), str(h), str(pos)}));
  }
  int GetLayoutMode() override { return mode; }
  void SetManualRect(int m, selvo::rect r) override {
    log_->add("layout.SetManualRect" +
              args({str(m), str(r.x), str(r.y), str(r.width), str(r.height)}));
  }
  void SetRects(const selvo::rect* t, int tn, const selvo::rect* u, int un) override {
    tracked.assign(t, t + tn);
    untracked.assign(u, u + un);
    log_->add("layout.SetRects" + args({str(tn), str(un)}));
  }
  void SetIgnoreAreas(const selvo::rect* a, int n) override {
    ignore.assign(a, a + n);
    log_->add("layout.SetIgnoreAreas" + args({str(n)}));
  }
  void SetPinnedIds(int n, const int*) override { one("SetPinnedIds", str(n)); }
  void SetContentOffset(int o) override { one("SetContentOffset", str(o)); }
  void SetNameTag(int id, const char* name, const char* company, const char* title) override {
    log_->add("layout.SetNameTag" + args({str(id), str(name), str(company), str(title)}));
  }
  void SetLatestManualRectId(int id) override { one("SetLatestManualRectId", str(id)); }
  void SetTransformingRectId(int id) override { one("SetTransformingRectId", str(id)); }
  void AddVoiceDirection(bool v, int angle) override {
    log_->add("layout.AddVoiceDirection" + args({str(v), str(angle)}));
  }
  void SetFrameTime(int64_t) override { log_->add("layout.SetFrameTime"); }
  void DoBufferLayout() override { log_->add("layout.DoBufferLayout"); }
  void SetSrcToSubwindow(int a, int b, int c, int d) override {
    log_->add("layout.SetSrcToSubwindow" + args({str(a), str(b), str(c), str(d)}));
  }
  bool GetROIPairCount(int type, int* count) override {
    *count = int(pairs[type].size());
    return true;
  }
  bool GetROIPairs(int type, int count, selvo::roi_pair* out) override {
    log_->add("layout.GetROIPairs" + args({str(type), str(count)}));
    for (int i = 0; i < count && size_t(i) < pairs[type].size(); ++i)
      out[i] = pairs[type][size_t(i)];
    return fetchResult;
  }
  bool GetSubwindowROIPairCount(int type, int* count) override {
    *count = int(subPairs[type].size());
    return true;
  }
  bool GetSubwindowROIPairs(int type, int count, selvo::roi_pair* out) override {
    log_->add("layout.GetSubwindowROIPairs" + args({str(type), str(count)}));
    for (int i = 0; i < count && size_t(i) < subPairs[type].size(); ++i) {
      out[i] = subPairs[type][size_t(i)];
    }
    return true;
  }
  void EnableBeamforming(bool on) override { one("EnableBeamforming", str(on)); }
  void SetMirror(bool on) override { one("SetMirror", str(on)); }
  void EnableROIAutoMerge(bool on) override { one("EnableROIAutoMerge", str(on)); }
  void SetLayoutMode(int m) override {
    mode = m;
    one("SetLayoutMode", str(m));
  }
  void SetFitPolicy(int p) override { one("SetFitPolicy", str(p)); }
  void SetHeightOffsetFor180Video(int o) override { one("SetHeightOffsetFor180Video", str(o)); }
  void SetFocusModeROIExtendPixel(int p) override { one("SetFocusModeROIExtendPixel", str(p)); }
  void SetMaxGridCount(int n) override { one("SetMaxGridCount", str(n)); }
  void SetGridComposeModeMaxCount(int n) override { one("SetGridComposeModeMaxCount", str(n)); }
  void SetPIPSmallWindowSize(int l) override { one("SetPIPSmallWindowSize", str(l)); }
  void SetAngleTolerance(int d) override { one("SetAngleTolerance", str(d)); }
  void GetViewMoveIconRect(float* v, int n) override {
    for (int i = 0; i < n && i < 4; ++i) v[i] = iconRect[i];
    one("GetViewMoveIconRect", str(n));
  }
  void EnableSubWindowDrawRect(int w, bool on) override {
    log_->add("layout.EnableSubWindowDrawRect" + args({str(w), str(on)}));
  }
  void SetDrawFlags(unsigned m) override { one("SetDrawFlags", str(m)); }
  void SetEditWindowIgnoreIconFlags(unsigned m) override {
    one("SetEditWindowIgnoreIconFlags", str(m));
  }
  bool GetFocusedRectInPIP(int, int* id) override {
    *id = focusedInPip;
    return focusedInPip >= 0;
  }

  int mode = 0;
  bool fetchResult = true;
  std::map<int, std::vector<selvo::roi_pair>> pairs, subPairs;
  std::vector<selvo::rect> tracked, untracked, ignore;
  float iconRect[4] = {0, 0, 0, 0};
  int focusedInPip = -1;

 private:
  void one(const char* op, const std::string& a) {
    log_->add(std::string("layout.") + op + args({a}));
  }
  std::shared_ptr<CallLog> log_;
};

class RecordingLayoutSetting : public selvo::ISELVO_LAYOUT_SETTING {
 public:
  explicit RecordingLayoutSetting(std::shared_ptr<CallLog> log) : log_(std::move(log)) {}
  void EnableShowScaleFactor(bool on) override { one("EnableShowScaleFactor", str(on)); }
  void SetSpeakerModeTransitionAlways(bool on) override {
    one("SetSpeakerModeTransitionAlways", str(on));
  }
  void EnableNameTag(bool on) override { one("EnableNameTag", str(on)); }
  void SetStableROITolerance(int t, int m) override {
    log_->add("settings.SetStableROITolerance" + args({str(t), str(m)}));
  }
  void SetBeamformingHighlightTime(int ms) override { one("SetBeamformingHighlightTime", str(ms)); }
  void SetSpeakerClearTime(int ms) override { one("SetSpeakerClearTime", str(ms)); }
  void SetTransitionFrameCount(int f) override { one("SetTransitionFrameCount", str(f)); }
  void SetPIPEnlargeScaleLimit(float l) override { one("SetPIPEnlargeScaleLimit", str(l)); }
  void SetMinSrcHeightScale(float s) override { one("SetMinSrcHeightScale", str(s)); }
  void SetVideoPanWeight(float w) override { one("SetVideoPanWeight", str(w)); }

 private:
  void one(const char* op, const std::string& a) {
    log_->add(std::string("settings.") + op + args({a}));
  }
  std::shared_ptr<CallLog> log_;
};

class RecordingRecognizer : public selvo::ISELVO_FACE_RECOGNIZER {
 public:
  explicit RecordingRecognizer(std::shared_ptr<CallLog> log) : log_(std::move(log)) {}
  bool Init(const char* folder) override {
    log_->add("recognizer.Init" + args({str(folder)}));
    return true;
  }
  void Stop() override { log_->add("recognizer.Stop"); }
  bool GetPersonInfo(int id, selvo::PersonInfo* info) override {
    auto it = persons.find(id);
    if (it == persons.end()) return false;
    *info = it->second;
    return true;
  }
  bool GetFaceInfo(int, selvo::FaceInfo*) override { return false; }
  void GetPersonCount(int* count) override { *count = int(persons.size()); }
  void GetPersons(selvo::PersonInfo* out, int count) override {
    int i = 0;
    for (auto& [id, p] : persons) {
      if (i < count) out[i++] = p;
    }
  }
  void GetFaceCount(int* count, int) override { *count = 0; }
  void GetFaces(selvo::FaceInfo*, int) override {}
  bool UpdatePersonInfo(int id, const selvo::PersonInfo& info) override {
    persons[id] = info;
    log_->add("recognizer.UpdatePersonInfo" + args({str(id), info.name}));
    return true;
  }
  bool DeletePerson(int id) override { return persons.erase(id) > 0; }
  bool DeleteFace(int) override { return false; }
  void RemoveUnnamedPerson() override {}
  bool ChangePersonThumbnailFace(int, int) override { return true; }
  bool MergePerson(int, int) override { return true; }
  std::map<int, selvo::PersonInfo> persons;

 private:
  std::shared_ptr<CallLog> log_;
};

// Makes one set of doubles per facade and notes their release in the log.
class RecordingSelvoFactory : public orlith::SelvoObjectFactory {
 public:
  RecordingSelvoFactory() : log(std::make_shared<CallLog>()) {}

  int CreateFrameManager(selvo::ISELVO_FRAME_MANAGER** o) override {
    *o = frame = new RecordingFrameManager(log);
    return 0;
  }
  int CreateDetector(selvo::ISELVO_DETECTOR** o) override {
    *o = detector = new RecordingDetector(log);
    return 0;
  }
  int CreateTracker(selvo::ISELVO_TRACKER** o) override {
    if (!correlation) {
      *o = correlation = new RecordingTracker(log, "correlation");
    } else {
      *o = opticalFlow = new RecordingTracker(log, "opticalflow");
    }
    return 0;
  }
  int CreateRecognizer(selvo::ISELVO_FACE_RECOGNIZER** o) override {
    *o = recognizer = new RecordingRecognizer(log);
    return 0;
  }
  int CreateLayout(selvo::ISELVO_LAYOUT** o) override {
    *o = layout = new RecordingLayout(log);
    return 0;
  }
  int CreateLayoutSetting(selvo::ISELVO_LAYOUT_SETTING** o) override {
    *o = settings = new RecordingLayoutSetting(log);
    return 0;
  }
  void ReleaseFrameManager(selvo::ISELVO_FRAME_MANAGER* o) override {
    log->add("release.frame");
    delete o;
    frame = nullptr;
  }
  void ReleaseDetector(selvo::ISELVO_DETECTOR* o) override {
    log->add("release.detector");
    delete o;
    detector = nullptr;
  }
  void ReleaseTracker(selvo::ISELVO_TRACKER* o) override {
    log->add(o == correlation ? "release.correlation" : "release.opticalflow");
    if (o == correlation) correlation = nullptr;
    if (o == opticalFlow) opticalFlow = nullptr;
    delete o;
  }
  void ReleaseRecognizer(selvo::ISELVO_FACE_RECOGNIZER* o) override {
    log->add("release.recognizer");
    delete o;
    recognizer = nullptr;
  }
  void ReleaseLayout(selvo::ISELVO_LAYOUT* o) override {
    log->add("release.layout");
    delete o;
    layout = nullptr;
  }
  void ReleaseLayoutSetting(selvo::ISELVO_LAYOUT_SETTING* o) override {
    log->add("release.settings");
    delete o;
    settings = nullptr;
  }

  std::shared_ptr<CallLog> log;
  RecordingFrameManager* frame = nullptr;
  RecordingDetector* detector = nullptr;
  RecordingTracker* correlation = nullptr;
  RecordingTracker* opticalFlow = nullptr;
  RecordingRecognizer* recognizer = nullptr;
  RecordingLayout* layout = nullptr;
  RecordingLayoutSetting* settings = nullptr;
};

}  // namespace testsupport
