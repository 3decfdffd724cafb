// The effect pass over a 3840 x 1080 and a 4992 x 1248 panorama, with and without the
// analysis-size copy, beside libyuv's NV12 to ARGB on the same frame.
#include <benchmark/benchmark.h>
#include <libyuv.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>

#include "render/EffectView.h"

using namespace corvane;
using platform::PixelBuffer;
using platform::PixelBufferRef;
using platform::PixelFormat;

namespace {

// The test photographs side by side at the panorama's height, as full-range NV12.
PixelBufferRef panoramaFrame(int w, int h) {
  cv::Mat panorama(h, w, CV_8UC4, cv::Scalar(0, 0, 0, 255));
  int x = 0;
  for (int i = 1; x < w; i = i % 6 + 1) {
    cv::Mat photo =
        cv::imread(std::string(CORVANE_ASSETS_DIR) + "/photos/sample" + std::to_string(i) + ".jpg");
    if (photo.empty()) break;
    cv::Mat scaled, bgra;
    cv::resize(photo, scaled, cv::Size(photo.cols * h / photo.rows, h));
    cv::cvtColor(scaled, bgra, cv::COLOR_BGR2BGRA);
    int width = std::min(bgra.cols, w - x);
    bgra(cv::Rect(0, 0, width, h)).copyTo(panorama(cv::Rect(x, 0, width, h)));
    x += width;
  }
  auto frame = PixelBuffer::create(w, h, PixelFormat::NV12FullRange);
  std::vector<uint8_t> u(size_t(w / 2) * size_t(h / 2)), v(u.size());
  libyuv::ARGBToJ420(panorama.data, int(panorama.step), frame->baseAddress(0),
                     int(frame->bytesPerRow(0)), u.data(), w / 2, v.data(), w / 2, w, h);
  libyuv::MergeUVPlane(u.data(), w / 2, v.data(), w / 2, frame->baseAddress(1),
                       int(frame->bytesPerRow(1)), w / 2, h / 2);
  return frame;
}

// range: 0 for 3840 x 1080, 1 for the camera's 4992 x 1248.
const PixelBufferRef& frameOfSize(int64_t size) {
  static PixelBufferRef frames[2] = {panoramaFrame(3840, 1080), panoramaFrame(4992, 1248)};
  return frames[size ? 1 : 0];
}

}  // namespace

static void BM_EffectPass(benchmark::State& state) {
  // range(1): worker threads, 0 for one per hardware thread; range(2): the frame size;
  // range(3): 1 writes the analysis-size copy (the pass as it stood), 0 leaves it out (the
  // program's view); range(4): 0 keeps no reference while noise reduction is off
  // (the program's view), 1 writes it with every pass.
  MetalContext context(size_t(state.range(1)));
  MetalManager manager;
  EffectView view({}, manager, context);
  view.setWritesAnalysisCopy(state.range(3) != 0);
  view.setKeepsReferenceWhileIdle(state.range(4) != 0);
  manager.denoise = float(state.range(0));
  manager.brightness = 0.1f;
  auto frame = frameOfSize(state.range(2));
  manager.notifyFrame(frame);  // first frame: buffers made
  for (auto _ : state) {
    manager.notifyFrame(frame);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * frame->width() * frame->height());
}

static void BM_LibyuvNV12ToARGB(benchmark::State& state) {
  auto frame = frameOfSize(state.range(0));
  int w = frame->width(), h = frame->height();
  auto out = PixelBuffer::create(w, h, PixelFormat::BGRA);
  for (auto _ : state) {
    libyuv::NV12ToARGBMatrix(frame->baseAddress(0), int(frame->bytesPerRow(0)),
                             frame->baseAddress(1), int(frame->bytesPerRow(1)), out->baseAddress(0),
                             int(out->bytesPerRow(0)), &libyuv::kYuvJPEGConstants, w, h);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * w * h);
}

// The same conversion cut into row bands over the render pool: libyuv with all threads.
static void BM_LibyuvNV12ToARGBAllThreads(benchmark::State& state) {
  auto frame = frameOfSize(0);
  auto out = PixelBuffer::create(3840, 1080, PixelFormat::BGRA);
  auto& pool = *MetalContext::shared().device;
  for (auto _ : state) {
    pool.parallelFor(1080 / 8, 4, [&](size_t begin, size_t end) {
      int y = int(begin) * 8, rows = int(end - begin) * 8;
      libyuv::NV12ToARGBMatrix(
          frame->baseAddress(0) + y * frame->bytesPerRow(0), int(frame->bytesPerRow(0)),
          frame->baseAddress(1) + y / 2 * frame->bytesPerRow(1), int(frame->bytesPerRow(1)),
          out->baseAddress(0) + y * out->bytesPerRow(0), int(out->bytesPerRow(0)),
          &libyuv::kYuvJPEGConstants, 3840, rows);
    });
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * 3840 * 1080);
}

BENCHMARK(BM_EffectPass)
    ->Args({0, 0, 0, 1, 1})
    ->Args({0, 1, 0, 1, 1})
    ->Args({6, 0, 0, 1, 1})
    ->Args({6, 1, 0, 1, 1})
    ->Args({0, 0, 0, 0, 1})
    ->Args({0, 0, 1, 1, 1})
    ->Args({0, 0, 1, 0, 1})
    ->Args({0, 1, 1, 1, 1})
    ->Args({0, 1, 1, 0, 1})
    ->Args({6, 0, 1, 0, 1})
    ->Args({0, 1, 1, 0, 1})
    ->Args({0, 1, 1, 0, 0})
    ->Args({0, 0, 1, 0, 1})
    ->Args({0, 0, 1, 0, 0})
    ->Args({3, 1, 1, 0, 0})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(BM_LibyuvNV12ToARGB)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(BM_LibyuvNV12ToARGBAllThreads)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK_MAIN();
