// One frame's whole road, from a real MJPEG camera frame (the test photographs side by side) to
// the YUYV picture the loopback writer writes: the capture decode pool, the camera frame path
// into the analysis facade (trackers following 8 people, detection off the road), the effect
// pass on each frame, the navigator's 4-tile grid and the control panorama
// preview, and the YUYV conversion. Reported as CPU ms and wall ms per frame (all threads
// counted) and the latency from a decoded frame to its YUYV picture, beside the bare baselines
// of the same work in the same run: libyuv MJPGToNV12, libyuv NV12ToARGB, one fixed-point
// cv::remap per tile on one thread, libyuv ARGBToYUY2. The detection pass, which runs beside the
// road on its own worker, is reported on its own: CPU ms per pass, and per frame at the
// shipped detection interval.
#include <benchmark/benchmark.h>
#include <libyuv.h>
#include <time.h>
#include <turbojpeg.h>

#include <QApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include "OrlithLog.h"
#include "camera/CameraFramePath.h"
#include "camera/SelvoAnalysisFacade.h"
#include "capture/MjpegDecoderPool.h"
#include "dispatch/MainQueue.h"
#include "render/EffectView.h"
#include "render/LayoutView.h"
#include "selvo/PersonDetector.h"
#include "selvo/SelvoFactory.h"

using namespace corvane;
using platform::PixelBuffer;
using platform::PixelBufferRef;
using platform::PixelFormat;

namespace {

constexpr int kOutW = 1280, kOutH = 720;
// The shipped configuration's detect_interval (ms) and the camera's frame rate.
constexpr double kDetectIntervalMs = 700, kFrameMs = 1000.0 / 30;
const std::string kModels = std::string(CORVANE_ASSETS_DIR) + "/models";

double processCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::nth_element(v.begin(), v.begin() + long(v.size() / 2), v.end());
  return v[v.size() / 2];
}

cv::Mat panoramaBGR(int w, int h) {
  cv::Mat out(h, w, CV_8UC3, cv::Scalar(0, 0, 0));
  int x = 0;
  for (int i = 1; x < w; i = i % 6 + 1) {
    cv::Mat photo =
        cv::imread(std::string(CORVANE_ASSETS_DIR) + "/photos/sample" + std::to_string(i) + ".jpg");
    if (photo.empty()) break;
    cv::Mat scaled;
    cv::resize(photo, scaled, cv::Size(photo.cols * h / photo.rows, h));
    int width = std::min(scaled.cols, w - x);
    scaled(cv::Rect(0, 0, width, h)).copyTo(out(cv::Rect(x, 0, width, h)));
    x += width;
  }
  return out;
}

// The camera's MJPEG: 4:2:2 at quality 85.
std::vector<uint8_t> cameraJpeg(int w, int h) {
  cv::Mat bgr = panoramaBGR(w, h);
  tjhandle t = tjInitCompress();
  unsigned char* buf = nullptr;
  unsigned long size = 0;
  tjCompress2(t, bgr.data, w, int(bgr.step), h, TJPF_BGR, &buf, &size, TJSAMP_422, 85, 0);
  std::vector<uint8_t> out(buf, buf + size);
  tjFree(buf);
  tjDestroy(t);
  return out;
}

// Four tiles in a 2 x 2 grid, each a different person-sized crop of the panorama.
std::vector<LayoutRoiPair> gridPairs(int w, int h) {
  std::vector<LayoutRoiPair> pairs;
  double tw = kOutW / 2.0, th = kOutH / 2.0;
  for (int i = 0; i < 4; ++i) {
    LayoutRoiPair p;
    p.dst_rect = {(i % 2) * tw, (i / 2) * th, tw, th, 0};
    double sw = w / 6.0 + 40 * i, sh = sw * th / tw;
    p.src_rect = {std::fmod(i * w / 4.0 + 100, w - sw), std::fmod(i * 97.0, h - sh), sw, sh, 0};
    p.type = 1;
    pairs.push_back(p);
  }
  return pairs;
}

// Decoded frames handed from the decode pool's workers to the road, with the time each came.
struct Handoff {
  using Clock = std::chrono::steady_clock;
  std::mutex mutex;
  std::condition_variable ready;
  PixelBufferRef frame;
  Clock::time_point decoded;
  void put(const PixelBufferRef& f) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      frame = f;
      decoded = Clock::now();
    }
    ready.notify_one();
  }
  PixelBufferRef take(Clock::time_point& at) {
    std::unique_lock<std::mutex> lock(mutex);
    ready.wait(lock, [&] { return frame != nullptr; });
    at = decoded;
    return std::exchange(frame, nullptr);
  }
};

// The main thread's tasks, waited for without spinning (a spinning wait would count as the
// road's CPU): the main queue posts here while the benchmark runs.
struct MainTasks {
  std::mutex mutex;
  std::condition_variable ready;
  std::deque<std::function<void()>> tasks;
  MainTasks() {
    platform::MainQueue::shared().setPoster([this](std::function<void()> task) {
      {
        std::lock_guard<std::mutex> lock(mutex);
        tasks.push_back(std::move(task));
      }
      ready.notify_one();
    });
  }
  ~MainTasks() { platform::MainQueue::shared().setPoster(nullptr); }
  void runOne() {
    std::function<void()> task;
    {
      std::unique_lock<std::mutex> lock(mutex);
      ready.wait(lock, [&] { return !tasks.empty(); });
      task = std::move(tasks.front());
      tasks.pop_front();
    }
    task();
  }
};

// People-sized boxes across the panorama for the trackers to follow.
void trackPeople(AnalysisFacade& facade, int w, int h, int people) {
  int boxW = h / 4, boxH = h * 3 / 10;
  for (int i = 0; i < people; ++i) {
    int x = (2 * i + 1) * w / (2 * people) - boxW / 2;
    facade.AddNewRect(x, h / 4, x + boxW, h / 4 + boxH);
  }
  facade.TrackAllRects();
}

}  // namespace

// range: width, height, noise-reduction level.
static void BM_FrameRoad(benchmark::State& state) {
  int w = int(state.range(0)), h = int(state.range(1));
  auto jpeg = cameraJpeg(w, h);
  orlith::OrlithLog::setSink([](orlith::OrlithLog::Level, const std::string&) {});
  Handoff handoff;
  platform::MjpegDecoderPool decoder(2, w, h, [&](const PixelBufferRef& f, int64_t) {
    handoff.put(f);
  });
  MetalManager manager;
  manager.denoise = float(state.range(2));
  EffectView effect({}, manager, MetalContext::shared());
  LayoutView navigator(nullptr, manager, MetalContext::shared());
  LayoutView control(nullptr, manager, MetalContext::shared());
  control.mode = LayoutMode::control;
  navigator.roiPairList = gridPairs(w, h);
  LayoutRoiPair whole;
  whole.src_rect = {0, 0, double(w), double(h), 0};
  whole.dst_rect = {0, 0, 1280, 1280.0 * h / w, 0};
  control.roiPairList = {whole};

  // The facade as the program sets it up, detection off the road, 8 people tracked.
  auto facade = std::make_shared<SelvoAnalysisFacade>();
  facade->initManager();
  std::string db = (std::filesystem::temp_directory_path() / "frame-road-bench/").string();
  std::filesystem::create_directories(db);
  facade->setup(w, h, kOutW, kOutH, 1280, 1280.0 * h / w, w, h, true, db);
  facade->enableAutoDetect(false, int(kDetectIntervalMs));
  trackPeople(*facade, w, h, 8);
  size_t layouts = 0;
  facade->addLayoutObservable([&](auto, auto, auto, auto, auto) { ++layouts; });
  CameraFramePath path([facade] { return facade; });
  // The renderer gets every frame before the facade does, as in the program (there on the
  // render queue, here on this thread).
  path.setFramePublisher([&](const PixelBufferRef& f) { manager.notifyFrame(f); });
  int completed = 0;
  path.setFrameCompletedHandler([&] { ++completed; });
  MainTasks mainTasks;

  std::vector<uint8_t> yuyv(size_t(kOutW) * kOutH * 2);
  std::vector<double> latencies;
  int64_t ts = 0;
  auto submit = [&] {
    while (!decoder.submit(jpeg.data(), jpeg.size(), ts)) {
    }
    ++ts;
  };
  // One frame in the decoder while the road works on the one before, as the capture runs.
  submit();
  auto frame = [&] {
    Handoff::Clock::time_point decoded;
    PixelBufferRef decodedFrame = handoff.take(decoded);
    submit();
    int target = completed + 1;
    path.captureOutput(decodedFrame, ts);
    while (completed < target) mainTasks.runOne();
    navigator.updateEffectFrame();
    control.updateEffectFrame();
    PixelBufferRef out = manager.vxdPixelBuffer();
    if (out)
      libyuv::ARGBToYUY2(out->baseAddress(0), int(out->bytesPerRow(0)), yuyv.data(), kOutW * 2,
                         kOutW, kOutH);
    benchmark::DoNotOptimize(yuyv.data());
    latencies.push_back(
        std::chrono::duration<double, std::milli>(Handoff::Clock::now() - decoded).count());
  };
  for (int i = 0; i < 3; ++i) frame();  // buffers, maps and trackers made
  latencies.clear();
  for (auto _ : state) frame();
  Handoff::Clock::time_point last;
  handoff.take(last);  // the frame still in the decoder
  decoder.drain();
  double latency = median(latencies);
  state.counters["latency_ms"] = latency;
  state.counters["latency_frames"] = latency / kFrameMs;
  state.counters["layouts"] = double(layouts);
  facade->releaseSelvoInst();
  facade.reset();
  platform::MainQueue::shared().drain();
  orlith::OrlithLog::setSink(nullptr);
}

// The detection pass the facade runs beside the road, on the road's luma: CPU ms of the whole
// process per pass, and per frame when a pass starts every detection interval (or, when the
// pass takes longer, as soon as the one before is done).
static void BM_FrameRoadDetection(benchmark::State& state) {
  int w = int(state.range(0)), h = int(state.range(1));
  cv::Mat luma;
  cv::cvtColor(panoramaBGR(w, h), luma, cv::COLOR_BGR2GRAY);
  selvo::SetSelvoResourceFolder(kModels.c_str());
  cv::setNumThreads(selvo::PersonDetector::kDetectThreads);
  struct OneFrame : selvo::ISELVO_FRAME_MANAGER {
    void Init(int, int, bool, int) override {}
    unsigned AddFrame(const uint8_t* plane, int fw, int fh, bool detect, bool tracked) override {
      view = {plane, fw, fh, fw, detect, tracked};
      return ++id;
    }
    void BeginFrame(unsigned) override {}
    void EndFrame(unsigned) override {}
    bool GetFrame(unsigned frame, selvo::FrameView* out) const override {
      if (frame != id) return false;
      *out = view;
      return true;
    }
    selvo::FrameView view;
    unsigned id = 0;
  } frames;
  struct Done : selvo::DetectCallback {
    std::mutex m;
    std::condition_variable cv;
    int n = 0;
    void OnDetectDone() override {
      std::lock_guard lock(m);
      ++n;
      cv.notify_all();
    }
    void wait(int count) {
      std::unique_lock lock(m);
      cv.wait(lock, [&] { return n >= count; });
    }
  } done;
  selvo::ISELVO_DETECTOR* detector = nullptr;
  selvo::CreateISelvoDetectorObject(&detector);
  detector->Init(w, h, true, 2, 0, 0.6f);
  detector->SetFrameManager(&frames);
  detector->SetCallback(&done);
  int passes = 0, faces = 0;
  std::vector<double> cpu, wall;
  for (auto _ : state) {
    double c0 = processCpuMs();
    auto t0 = std::chrono::steady_clock::now();
    // A whole pass each time: the same picture again would be looked at only where it changed.
    detector->RequestFullPass();
    detector->AddFrame(frames.AddFrame(luma.data, w, h, true, false), true);
    done.wait(++passes);
    wall.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    cpu.push_back(processCpuMs() - c0);
  }
  detector->GetResultCount(&faces);
  selvo::ReleaseISelvoDetectorObject(detector);
  double passCpu = median(cpu), passWall = median(wall);
  state.counters["pass_cpu_ms"] = passCpu;
  state.counters["pass_wall_ms"] = passWall;
  state.counters["cpu_ms_per_frame"] = passCpu * kFrameMs / std::max(kDetectIntervalMs, passWall);
  state.counters["faces"] = faces;
}

// The bare work of the same road, each step a single library call on one thread.
static void BM_FrameRoadBaselines(benchmark::State& state) {
  int w = int(state.range(0)), h = int(state.range(1));
  auto jpeg = cameraJpeg(w, h);
  auto nv12 = PixelBuffer::create(w, h, PixelFormat::NV12FullRange);
  cv::Mat argb(h, w, CV_8UC4), out(kOutH, kOutW, CV_8UC4, cv::Scalar(0, 0, 0, 255));
  cv::Mat preview(int(1280.0 * h / w), kOutW, CV_8UC4);
  // Fixed-point maps per tile (and one for the preview), as the road's remap tables.
  struct Tile {
    cv::Rect dst;
    cv::Mat map1, map2;
  };
  std::vector<Tile> tiles;
  auto addTile = [&](const LayoutRoiPair& p, cv::Size size, cv::Point at) {
    cv::Mat mx(size, CV_32FC1), my(size, CV_32FC1);
    for (int y = 0; y < size.height; ++y)
      for (int x = 0; x < size.width; ++x) {
        mx.at<float>(y, x) =
            float(p.src_rect.x + (x + 0.5) * p.src_rect.width / size.width - 0.5);
        my.at<float>(y, x) =
            float(p.src_rect.y + (y + 0.5) * p.src_rect.height / size.height - 0.5);
      }
    Tile t{cv::Rect(at, size), {}, {}};
    cv::convertMaps(mx, my, t.map1, t.map2, CV_16SC2);
    tiles.push_back(std::move(t));
  };
  for (const auto& p : gridPairs(w, h))
    addTile(p, cv::Size(int(p.dst_rect.width), int(p.dst_rect.height)),
            cv::Point(int(p.dst_rect.x), int(p.dst_rect.y)));
  LayoutRoiPair whole;
  whole.src_rect = {0, 0, double(w), double(h), 0};
  addTile(whole, preview.size(), cv::Point(0, 0));
  std::vector<uint8_t> yuyv(size_t(kOutW) * kOutH * 2);
  int threads = cv::getNumThreads();
  cv::setNumThreads(1);
  // Each step's own CPU time too, so the sum can be read against the road's parts.
  auto threadCpuMs = [] {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
  };
  std::vector<double> steps[4];
  for (auto _ : state) {
    double t0 = threadCpuMs();
    libyuv::MJPGToNV12(jpeg.data(), jpeg.size(), nv12->baseAddress(0), int(nv12->bytesPerRow(0)),
                       nv12->baseAddress(1), int(nv12->bytesPerRow(1)), w, h, w, h);
    double t1 = threadCpuMs();
    libyuv::NV12ToARGBMatrix(nv12->baseAddress(0), int(nv12->bytesPerRow(0)),
                             nv12->baseAddress(1), int(nv12->bytesPerRow(1)), argb.data,
                             int(argb.step), &libyuv::kYuvJPEGConstants, w, h);
    double t2 = threadCpuMs();
    for (size_t i = 0; i + 1 < tiles.size(); ++i) {
      cv::Mat dst = out(tiles[i].dst);
      cv::remap(argb, dst, tiles[i].map1, tiles[i].map2, cv::INTER_LINEAR, cv::BORDER_WRAP);
    }
    cv::remap(argb, preview, tiles.back().map1, tiles.back().map2, cv::INTER_LINEAR,
              cv::BORDER_WRAP);
    double t3 = threadCpuMs();
    libyuv::ARGBToYUY2(out.data, int(out.step), yuyv.data(), kOutW * 2, kOutW, kOutH);
    double t4 = threadCpuMs();
    benchmark::DoNotOptimize(yuyv.data());
    steps[0].push_back(t1 - t0);
    steps[1].push_back(t2 - t1);
    steps[2].push_back(t3 - t2);
    steps[3].push_back(t4 - t3);
  }
  state.counters["decode_ms"] = median(steps[0]);
  state.counters["nv12_to_argb_ms"] = median(steps[1]);
  state.counters["remap_ms"] = median(steps[2]);
  state.counters["yuyv_ms"] = median(steps[3]);
  cv::setNumThreads(threads);
}

// Every road benchmark: milliseconds, and the process's CPU time (all threads) beside wall time.
void roadTiming(benchmark::internal::Benchmark* b) {
  b->Unit(benchmark::kMillisecond)->MinTime(2.0)->MeasureProcessCPUTime()->UseRealTime();
}

BENCHMARK(BM_FrameRoad)
    ->Args({3840, 1080, 0})
    ->Args({3840, 1080, 6})
    ->Args({4992, 1248, 0})
    ->ArgNames({"w", "h", "denoise"})
    ->Apply(roadTiming);
BENCHMARK(BM_FrameRoadDetection)
    ->Args({3840, 1080})
    ->Args({4992, 1248})
    ->ArgNames({"w", "h"})
    ->Apply(roadTiming);
BENCHMARK(BM_FrameRoadBaselines)
    ->Args({3840, 1080})
    ->Args({4992, 1248})
    ->ArgNames({"w", "h"})
    ->Apply(roadTiming);

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
