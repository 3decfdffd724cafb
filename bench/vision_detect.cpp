// One detection pass over a 3840 x 1080 or 4992 x 1248 panorama, or over a wide thin picture
// (8192 x 8, 16384 x 14), beside a single forward pass of the face model on one tile (pass_ms
// wall, cpu_ms of the whole process during the pass, forward_ms and the ratio of the pass to it;
// forward1_ms and ratio1 the same on one thread, as each of the pass's lanes runs the model;
// forwards: how many times the pass ran the model),
// and the tracking step with ten targets at the video size. OpenCV is held to two threads, as
// the detector holds it. DetectionAmortised: detection as Auto Track runs it, a pass every
// shipped detect_interval on a 30 fps camera, in a still room and in the demo clip's turning
// picture (every tile changes); cpu_ms_per_frame is the detection's CPU spread over the frames.
#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>

#include "selvo/BlazeFaceModel.h"
#include "selvo/PersonDetector.h"
#include "selvo/SelvoFactory.h"

namespace {

constexpr int kW = 3840, kH = 1080;
const std::string kModels = std::string(CORVANE_ASSETS_DIR) + "/models";

// Two group photos on a wall, as the camera's luma plane; shifted right by `shift` pixels.
cv::Mat Panorama(int shift = 0, int kW = ::kW, int kH = ::kH) {
  cv::Mat bgr(kH, kW, CV_8UC3, cv::Scalar(96, 100, 104));
  int x = 150 + shift;
  for (const char* name : {"sample2.jpg", "sample3.jpg"}) {
    cv::Mat photo = cv::imread(std::string(CORVANE_ASSETS_DIR) + "/photos/" + name);
    if (photo.empty()) continue;
    cv::Mat scaled;
    double s = double(kH) / photo.rows;
    cv::resize(photo, scaled, cv::Size(), s, s, cv::INTER_AREA);
    int w = std::min(scaled.cols, kW - x);
    scaled(cv::Rect(0, 0, w, kH)).copyTo(bgr(cv::Rect(x, 0, w, kH)));
    x += scaled.cols + 80;
  }
  cv::Mat grey;
  cv::cvtColor(bgr, grey, cv::COLOR_BGR2GRAY);
  return grey;
}

// The frame manager's part as the benchmark needs it: one open frame.
class OneFrame : public selvo::ISELVO_FRAME_MANAGER {
 public:
  void Init(int, int, bool, int) override {}
  unsigned AddFrame(const uint8_t* plane, int w, int h, bool detect, bool tracked) override {
    view_ = {plane, w, h, w, detect, tracked};
    return ++id_;
  }
  void BeginFrame(unsigned) override {}
  void EndFrame(unsigned) override {}
  bool GetFrame(unsigned id, selvo::FrameView* view) const override {
    if (id != id_) return false;
    *view = view_;
    return true;
  }

 private:
  selvo::FrameView view_;
  unsigned id_ = 0;
};

class Done : public selvo::DetectCallback {
 public:
  void OnDetectDone() override {
    std::lock_guard lock(m_);
    ++n_;
    cv_.notify_all();
  }
  void Wait(int n) {
    std::unique_lock lock(m_);
    cv_.wait(lock, [&] { return n_ >= n; });
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  int n_ = 0;
};

// A detector fed by one frame manager and awaited through one callback, released at the end.
struct DetectorRig {
  DetectorRig(int w, int h, bool is360) {
    selvo::CreateISelvoDetectorObject(&detector);
    detector->Init(w, h, is360, 2, 0, 0.6f);
    detector->SetFrameManager(&frames);
    detector->SetCallback(&done);
  }
  ~DetectorRig() { selvo::ReleaseISelvoDetectorObject(detector); }
  DetectorRig(const DetectorRig&) = delete;
  DetectorRig& operator=(const DetectorRig&) = delete;
  selvo::PersonDetector* person() const { return dynamic_cast<selvo::PersonDetector*>(detector); }

  selvo::ISELVO_DETECTOR* detector = nullptr;
  OneFrame frames;
  Done done;
};

double ForwardMs(selvo::BlazeFaceModel& model, const cv::Mat& tile, int runs) {
  auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < runs; ++i) benchmark::DoNotOptimize(model.Run(tile, 0.6f));
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count() /
         runs;
}

double ProcessCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

cv::Mat OneTile(const cv::Mat& panorama) {
  cv::Mat tile;
  cv::resize(panorama(cv::Rect(900, 0, panorama.rows, panorama.rows)), tile, cv::Size(256, 256), 0,
             0, cv::INTER_AREA);
  return tile;
}

}  // namespace

static void BM_ForwardPassOneTile(benchmark::State& state) {
  cv::setNumThreads(selvo::PersonDetector::kDetectThreads);
  selvo::BlazeFaceModel model;
  if (!model.Load(kModels + "/face_detection_back_256x256.onnx")) {
    state.SkipWithError("no face model");
    return;
  }
  cv::Mat tile = OneTile(Panorama());
  for (auto _ : state) benchmark::DoNotOptimize(model.Run(tile, 0.6f));
}

// The picture of a pass: the room at that size, or, for a wide thin picture, the room squashed
// into it as a clip scaled to that size shows it.
cv::Mat PassPicture(int kW, int kH) {
  if (kH >= 64) return Panorama(0, kW, kH);
  cv::Mat squashed;
  cv::resize(Panorama(), squashed, cv::Size(kW, kH), 0, 0, cv::INTER_AREA);
  return squashed;
}

static void BM_DetectionPass(benchmark::State& state) {
  const bool is360 = state.range(0) != 0;
  const int kW = int(state.range(1)), kH = int(state.range(2));
  selvo::SetSelvoResourceFolder(kModels.c_str());
  cv::Mat luma = PassPicture(kW, kH);
  // The baseline in the same run: one forward pass on one tile.
  cv::setNumThreads(selvo::PersonDetector::kDetectThreads);
  selvo::BlazeFaceModel model;
  if (!model.Load(kModels + "/face_detection_back_256x256.onnx")) {
    state.SkipWithError("no face model");
    return;
  }
  cv::Mat tile = OneTile(luma);
  ForwardMs(model, tile, 3);  // warm up

  DetectorRig rig(kW, kH, is360);
  auto& [detector, frames, done] = rig;
  int passes = 0;
  int faces = 0;
  int forwards = 0;
  double total = 0, forward = 0, forward1 = 0, cpu = 0;
  for (auto _ : state) {
    double c0 = ProcessCpuMs();
    auto t0 = std::chrono::steady_clock::now();
    unsigned id = frames.AddFrame(luma.data, kW, kH, true, false);
    // A whole pass each time: the same picture again would be looked at only where it changed.
    detector->RequestFullPass();
    detector->AddFrame(id, true);
    done.Wait(++passes);
    double pass = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    cpu += ProcessCpuMs() - c0;
    state.SetIterationTime(pass);
    total += pass * 1000;
    detector->GetResultCount(&faces);
    if (auto* person = rig.person()) forwards = person->LastPassForwardCount();
    // The baselines beside each pass, so that both see the same load: one forward pass on the
    // detector's two threads, and one on a single thread as each of the pass's lanes runs it.
    forward += ForwardMs(model, tile, 2);
    cv::setNumThreads(1);
    forward1 += ForwardMs(model, tile, 2);
    cv::setNumThreads(selvo::PersonDetector::kDetectThreads);
  }
  double pass = total / passes;
  forward /= passes;
  forward1 /= passes;
  state.counters["pass_ms"] = pass;
  state.counters["cpu_ms"] = cpu / passes;
  state.counters["forward_ms"] = forward;
  state.counters["ratio"] = pass / forward;
  state.counters["forward1_ms"] = forward1;
  state.counters["ratio1"] = pass / forward1;
  state.counters["faces"] = faces;
  state.counters["forwards"] = forwards;
}

namespace {
// The interval of periodic detection the program ships with (resource copy of the custom config).
double ShippedDetectIntervalMs() {
  std::ifstream in(std::string(CORVANE_SOURCE_DIR) + "/resources/app/Custom config.json");
  nlohmann::json j = nlohmann::json::parse(in, nullptr, false);
  if (j.is_object() && j.contains("detect_interval") && j["detect_interval"].is_number())
    return j["detect_interval"].get<double>();
  return 30;
}

// The picture turned left by `shift` pixels round the 360-degree seam.
cv::Mat Turned(const cv::Mat& luma, int shift) {
  shift = ((shift % luma.cols) + luma.cols) % luma.cols;
  if (shift == 0) return luma.clone();
  cv::Mat out;
  cv::hconcat(luma.colRange(shift, luma.cols), luma.colRange(0, shift), out);
  return out;
}
}  // namespace

static void BM_DetectionAmortised(benchmark::State& state) {
  const bool turning = state.range(0) != 0;
  constexpr double kFrameMs = 1000.0 / 30;
  // The demo clip turns by 0.0004 of the width a frame.
  constexpr double kTurnPerFrame = 0.0004 * kW;
  const double interval = ShippedDetectIntervalMs();
  const double framesPerPass = std::max(1.0, std::ceil(interval / kFrameMs));
  selvo::SetSelvoResourceFolder(kModels.c_str());
  cv::Mat luma = Panorama();
  DetectorRig rig(kW, kH, true);
  auto& [detector, frames, done] = rig;
  selvo::PersonDetector* person = rig.person();
  int passes = 0, forwards = 0, cycles = 0;
  double cpu = 0, turn = 0;
  for (auto _ : state) {
    // Two cycles of full and partial passes.
    for (int i = 0; i < 2 * selvo::PersonDetector::kFullPassEvery; ++i) {
      cv::Mat picture = turning ? Turned(luma, int(turn)) : luma;
      turn += kTurnPerFrame * framesPerPass;
      double c0 = ProcessCpuMs();
      detector->AddFrame(frames.AddFrame(picture.data, kW, kH, true, true), true);
      done.Wait(++passes);
      cpu += ProcessCpuMs() - c0;
      if (person) forwards += person->LastPassForwardCount();
    }
    ++cycles;
  }
  state.counters["interval_ms"] = interval;
  state.counters["pass_cpu_ms"] = cpu / passes;
  state.counters["forwards_per_pass"] = double(forwards) / passes;
  state.counters["cpu_ms_per_frame"] = cpu / (passes * framesPerPass);
}

static void BM_TrackingStep10Targets(benchmark::State& state) {
  const int kind = int(state.range(0));
  cv::setNumThreads(int(state.range(1)));
  // Two frames, 6 pixels apart, so every step has something to follow.
  cv::Mat a = Panorama(0), b = Panorama(6);
  selvo::ISELVO_TRACKER* tracker = nullptr;
  selvo::CreateISelvoTrackerObject(&tracker);
  OneFrame frames;
  // The facade's process size is the video size.
  tracker->Init(kW, kH, false, kind);
  tracker->SetFrameManager(&frames);
  unsigned id = frames.AddFrame(a.data, kW, kH, false, true);
  selvo::rect targets[10];
  for (int i = 0; i < 10; ++i) targets[i] = {200.0f + i * 350.0f, 250, 260, 330, i + 1, 1};
  tracker->SetTargets(targets, 10);
  tracker->Track(id);  // starts the models
  selvo::rect out[10];
  int n = 0;
  tracker->GetResultCount(&n);
  bool flip = false;
  for (auto _ : state) {
    flip = !flip;
    id = frames.AddFrame(flip ? b.data : a.data, kW, kH, false, true);
    tracker->Track(id);
    tracker->GetResultCount(&n);
    tracker->GetResults(out, n);
    benchmark::DoNotOptimize(out);
  }
  selvo::ReleaseISelvoTrackerObject(tracker);
}

BENCHMARK(BM_ForwardPassOneTile)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(BM_DetectionPass)
    ->Args({0, 3840, 1080})
    ->Args({1, 3840, 1080})
    ->Args({1, 4992, 1248})
    // Wide thin pictures: a pass costs about what one over a panorama does.
    ->Args({0, 8192, 8})
    ->Args({0, 16384, 14})
    ->ArgNames({"is360", "w", "h"})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseManualTime();
BENCHMARK(BM_DetectionAmortised)
    ->Arg(0)
    ->Arg(1)
    ->ArgNames({"turning"})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK(BM_TrackingStep10Targets)
    ->Args({int(selvo::TRACKER_CORRELATION), selvo::PersonDetector::kDetectThreads})
    ->Args({int(selvo::TRACKER_OPTICAL_FLOW), selvo::PersonDetector::kDetectThreads})
    ->ArgNames({"kind", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK_MAIN();
