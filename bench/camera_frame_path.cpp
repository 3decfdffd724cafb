// The camera manager's frame path with the real analysis facade: a decoded 3840 x 1080 NV12
// frame through the load gate into the facade (detection on its own worker), until the layout
// result has become the two ROI-pair lists, beside the facade's frame copy alone.
#include <benchmark/benchmark.h>
#include <libyuv.h>
#include <sys/resource.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <thread>

#include "ISelvoServiceManage.h"
#include "OrlithLog.h"
#include "SelvoRoiPair.h"
#include "camera/CameraFramePath.h"
#include "camera/SelvoAnalysisFacade.h"
#include "dispatch/MainQueue.h"
#include "video/PixelBuffer.h"

using platform::PixelBuffer;
using platform::PixelFormat;

namespace {

constexpr int kWidth = 3840;
constexpr int kHeight = 1080;

double cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Test photographs of groups side by side, as the camera's NV12 frame (grey without assets).
platform::PixelBufferRef cameraFrame() {
  PixelBuffer::Options packed;
  packed.rowAlignment = 1;
  auto frame = PixelBuffer::create(kWidth, kHeight, PixelFormat::NV12FullRange, packed);
  cv::Mat panorama(kHeight, kWidth, CV_8UC3, cv::Scalar(90, 90, 90));
  int x = 0;
  for (const char* name : {"sample1.jpg", "sample2.jpg", "sample3.jpg"}) {
    cv::Mat photo = cv::imread(std::string(CORVANE_ASSETS_DIR) + "/photos/" + name);
    if (photo.empty() || x >= kWidth) continue;
    cv::Mat scaled;
    cv::resize(photo, scaled, cv::Size(), double(kHeight) / photo.rows,
               double(kHeight) / photo.rows, cv::INTER_AREA);
    int w = std::min(scaled.cols, kWidth - x);
    scaled(cv::Rect(0, 0, w, kHeight)).copyTo(panorama(cv::Rect(x, 0, w, kHeight)));
    x += w;
  }
  cv::Mat i420;
  cv::cvtColor(panorama, i420, cv::COLOR_BGR2YUV_I420);
  const uint8_t* y = i420.data;
  const uint8_t* u = y + size_t(kWidth) * kHeight;
  const uint8_t* v = u + size_t(kWidth / 2) * (kHeight / 2);
  libyuv::I420ToNV12(y, kWidth, u, kWidth / 2, v, kWidth / 2, frame->baseAddress(0),
                     int(frame->bytesPerRow(0)), frame->baseAddress(1), int(frame->bytesPerRow(1)),
                     kWidth, kHeight);
  return frame;
}

}  // namespace

static void BM_FacadeFrameCopyAlone(benchmark::State& state) {
  auto camera = cameraFrame();
  PixelBuffer::Options packed;
  packed.rowAlignment = 1;
  auto copy = PixelBuffer::create(kWidth, kHeight, PixelFormat::NV12FullRange, packed);
  for (auto _ : state) {
    orlith::ISelvoServiceManage::YUVBufferCopyWithPixelBuffer(*camera, *copy);
    benchmark::ClobberMemory();
  }
  state.counters["fps"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

static void BM_CameraFramePathToRoiLists(benchmark::State& state) {
  orlith::OrlithLog::setSink([](orlith::OrlithLog::Level, const std::string&) {});
  auto facade = std::make_shared<corvane::SelvoAnalysisFacade>();
  facade->initManager();
  std::string db = (std::filesystem::temp_directory_path() / "camera-frame-path-bench/").string();
  std::filesystem::create_directories(db);
  facade->setup(kWidth, kHeight, 1280, 720, 1280, 360, kWidth, kHeight, true, db);
  facade->enableAutoDetect(true, 1000);
  facade->EnableAutoDetectTracking();
  std::atomic<int> layouts{0};
  size_t pairs = 0;
  facade->addLayoutObservable([&](auto a, auto b, auto c, auto d, auto e) {
    std::vector<orlith::SelvoRoiPair> mainList, subList;
    for (const auto* list : {&a, &b, &c})
      for (const auto& dictionary : *list) mainList.emplace_back(dictionary);
    for (const auto* list : {&d, &e})
      for (const auto& dictionary : *list) subList.emplace_back(dictionary);
    pairs += mainList.size() + subList.size();
    ++layouts;
  });
  corvane::CameraFramePath path([facade] { return facade; });
  std::atomic<int> completed{0};
  path.setFrameCompletedHandler([&] { ++completed; });
  auto frame = cameraFrame();
  double cpuStart = cpuSeconds();
  for (auto _ : state) {
    int target = completed + 1;
    path.captureOutput(frame, 0);
    while (completed < target) {
      platform::MainQueue::shared().drain();
      std::this_thread::yield();
    }
  }
  double cpu = cpuSeconds() - cpuStart;
  state.counters["fps"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["cpu_ms_per_frame"] = cpu * 1000.0 / double(state.iterations());
  state.counters["layouts"] = double(layouts.load());
  (void)pairs;
  facade->releaseSelvoInst();
  facade.reset();
  platform::MainQueue::shared().drain();
  orlith::OrlithLog::setSink(nullptr);
}

BENCHMARK(BM_FacadeFrameCopyAlone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CameraFramePathToRoiLists)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()->MinTime(3.0);
BENCHMARK_MAIN();
