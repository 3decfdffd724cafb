// MJPEG camera frames decoded to NV12 through the capture layer's worker pool, at 2 and 4
// workers, beside one libyuv MJPGToNV12 call on the same frame in the same run.
#include <benchmark/benchmark.h>
#include <libyuv.h>
#include <turbojpeg.h>

#include <atomic>
#include <cmath>
#include <vector>

#include "capture/MjpegDecoderPool.h"
#include "video/PixelBuffer.h"

namespace {

// A camera-like picture: gradients and detail, so the JPEG is not trivially small.
std::vector<uint8_t> cameraFrame(int w, int h) {
  std::vector<uint8_t> rgb(size_t(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &rgb[(size_t(y) * w + x) * 3];
      p[0] = uint8_t((x * 255) / w);
      p[1] = uint8_t((y * 255) / h);
      p[2] = uint8_t(128 + 100 * std::sin(x * 0.05) * std::cos(y * 0.07));
    }
  tjhandle t = tjInitCompress();
  unsigned char* buf = nullptr;
  unsigned long size = 0;
  tjCompress2(t, rgb.data(), w, 0, h, TJPF_RGB, &buf, &size, TJSAMP_422, 85, 0);
  std::vector<uint8_t> out(buf, buf + size);
  tjFree(buf);
  tjDestroy(t);
  return out;
}

void BM_LibyuvMJPGToNV12(benchmark::State& state) {
  int w = int(state.range(0)), h = int(state.range(1));
  auto jpeg = cameraFrame(w, h);
  auto frame = platform::PixelBuffer::create(w, h, platform::PixelFormat::NV12FullRange);
  for (auto _ : state) {
    libyuv::MJPGToNV12(jpeg.data(), jpeg.size(), frame->baseAddress(0), int(frame->bytesPerRow(0)),
                       frame->baseAddress(1), int(frame->bytesPerRow(1)), w, h, w, h);
  }
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

// Frames offered back to back as a camera would, the pool dropping what it cannot take:
// the rate is of frames decoded.
void BM_CapturePoolDecode(benchmark::State& state) {
  int w = int(state.range(0)), h = int(state.range(1)), workers = int(state.range(2));
  auto jpeg = cameraFrame(w, h);
  std::atomic<uint64_t> out{0};
  platform::MjpegDecoderPool pool(workers, w, h,
                                  [&](const platform::PixelBufferRef&, int64_t) { ++out; });
  int64_t ts = 0;
  for (auto _ : state) {
    // Keep every worker fed: offer until one frame is taken.
    while (!pool.submit(jpeg.data(), jpeg.size(), ts)) {
    }
    ++ts;
  }
  pool.drain();
  state.counters["fps"] = benchmark::Counter(double(out.load()), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_LibyuvMJPGToNV12)->Args({3840, 1080})->Args({4992, 1248})->UseRealTime();
BENCHMARK(BM_CapturePoolDecode)
    ->Args({3840, 1080, 2})->Args({3840, 1080, 4})
    ->Args({4992, 1248, 2})->Args({4992, 1248, 4})
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK_MAIN();
