// One frame's road through the render side, from a real MJPEG camera frame (the test
// photographs side by side) to the YUYV picture the loopback writer writes: the capture decode
// pool, the effect pass, the navigator's 4-tile grid and the control panorama preview, and the
// YUYV conversion. Reported as CPU ms and wall ms per frame (all threads counted), beside the
// bare baselines of the same work in the same run: libyuv MJPGToNV12, libyuv NV12ToARGB, one
// fixed-point cv::remap per tile on one thread, libyuv ARGBToYUY2. The camera frame path to the
// ROI lists and the detection pass have their own benchmarks (camera_frame_path, vision_detect).
#include <benchmark/benchmark.h>
#include <libyuv.h>
#include <turbojpeg.h>

#include <QApplication>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include "capture/MjpegDecoderPool.h"
#include "render/EffectView.h"
#include "render/LayoutView.h"

using namespace corvane;
using platform::PixelBuffer;
using platform::PixelBufferRef;
using platform::PixelFormat;

namespace {

constexpr int kOutW = 1280, kOutH = 720;

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

// Decoded frames handed from the decode pool's workers to the road.
struct Handoff {
  std::mutex mutex;
  std::condition_variable ready;
  PixelBufferRef frame;
  void put(const PixelBufferRef& f) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      frame = f;
    }
    ready.notify_one();
  }
  PixelBufferRef take() {
    std::unique_lock<std::mutex> lock(mutex);
    ready.wait(lock, [&] { return frame != nullptr; });
    return std::exchange(frame, nullptr);
  }
};

}  // namespace

// range: width, height, noise-reduction level.
static void BM_FrameRoad(benchmark::State& state) {
  int w = int(state.range(0)), h = int(state.range(1));
  auto jpeg = cameraJpeg(w, h);
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
  std::vector<uint8_t> yuyv(size_t(kOutW) * kOutH * 2);
  int64_t ts = 0;
  auto frame = [&] {
    while (!decoder.submit(jpeg.data(), jpeg.size(), ts)) {
    }
    ++ts;
    manager.notifyFrame(handoff.take());
    navigator.updateEffectFrame();
    control.updateEffectFrame();
    PixelBufferRef out = manager.vxdPixelBuffer();
    if (out)
      libyuv::ARGBToYUY2(out->baseAddress(0), int(out->bytesPerRow(0)), yuyv.data(), kOutW * 2,
                         kOutW, kOutH);
    benchmark::DoNotOptimize(yuyv.data());
  };
  frame();  // first frame: buffers and maps made
  for (auto _ : state) frame();
  decoder.drain();
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
  for (auto _ : state) {
    libyuv::MJPGToNV12(jpeg.data(), jpeg.size(), nv12->baseAddress(0), int(nv12->bytesPerRow(0)),
                       nv12->baseAddress(1), int(nv12->bytesPerRow(1)), w, h, w, h);
    libyuv::NV12ToARGBMatrix(nv12->baseAddress(0), int(nv12->bytesPerRow(0)),
                             nv12->baseAddress(1), int(nv12->bytesPerRow(1)), argb.data,
                             int(argb.step), &libyuv::kYuvJPEGConstants, w, h);
    for (size_t i = 0; i + 1 < tiles.size(); ++i) {
      cv::Mat dst = out(tiles[i].dst);
      cv::remap(argb, dst, tiles[i].map1, tiles[i].map2, cv::INTER_LINEAR, cv::BORDER_WRAP);
    }
    cv::remap(argb, preview, tiles.back().map1, tiles.back().map2, cv::INTER_LINEAR,
              cv::BORDER_WRAP);
    libyuv::ARGBToYUY2(out.data, int(out.step), yuyv.data(), kOutW * 2, kOutW, kOutH);
    benchmark::DoNotOptimize(yuyv.data());
  }
  cv::setNumThreads(threads);
}

BENCHMARK(BM_FrameRoad)
    ->Args({3840, 1080, 0})
    ->Args({3840, 1080, 6})
    ->Args({4992, 1248, 0})
    ->ArgNames({"w", "h", "denoise"})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(BM_FrameRoadBaselines)
    ->Args({3840, 1080})
    ->Args({4992, 1248})
    ->ArgNames({"w", "h"})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
