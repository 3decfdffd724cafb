// The camera's MJPEG frame decoded to NV12: a real frame of the demo clip at the camera's sizes,
// encoded as the simulated camera encodes what it streams. The capture layer's decoder beside,
// in the same run, libyuv's MJPGToNV12 (the decode the capture layer used before) and
// libjpeg-turbo's plain decode of the same frame to its own planes (tjDecompressToYUVPlanes,
// the floor: no NV12 interleave), with that plain decode followed by libyuv's chroma halving and
// interleave (the road through whole-frame planes); then the worker pool at 2 and 4 workers.
#include <benchmark/benchmark.h>
#include <libyuv.h>
#include <turbojpeg.h>

#include <atomic>
#include <string>
#include <vector>

#include "SimulatedCameraRig.h"
#include "capture/MjpegDecoder.h"
#include "capture/MjpegDecoderPool.h"
#include "video/PixelBuffer.h"

namespace {

using platform::PixelBuffer;
using platform::PixelBufferRef;
using platform::PixelFormat;

// The clip's 30th frame (people in the room, the camera's own detail), as the rig streams it.
const std::vector<uint8_t>& cameraFrame(int w, int h) {
  static std::vector<uint8_t> frame;
  static int fw = 0, fh = 0;
  if (fw != w || fh != h) {
    auto frames = testsupport::SimulatedCameraRig::clipFrames(
        std::string(CORVANE_ASSETS_DIR) + "/demo/demo_360.mp4", w, h, 30, nullptr);
    frame = frames.empty() ? std::vector<uint8_t>() : frames.back();
    fw = w;
    fh = h;
  }
  return frame;
}

PixelBufferRef packedNv12(int w, int h) {
  PixelBuffer::Options packed;
  packed.rowAlignment = 1;  // as the capture layer's frame pool makes them
  return PixelBuffer::create(w, h, PixelFormat::NV12FullRange, packed);
}

bool haveFrame(benchmark::State& state, const std::vector<uint8_t>& jpeg) {
  if (!jpeg.empty()) return true;
  state.SkipWithError("the demo clip cannot be read (scripts/setup makes it)");
  return false;
}

void report(benchmark::State& state, const std::vector<uint8_t>& jpeg) {
  state.counters["fps"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["jpeg_kB"] = double(jpeg.size()) / 1000.0;
}

void BM_CaptureMjpegDecoder(benchmark::State& state) {
  int w = int(state.range(0)), h = int(state.range(1));
  const auto& jpeg = cameraFrame(w, h);
  if (!haveFrame(state, jpeg)) return;
  auto frame = packedNv12(w, h);
  platform::MjpegDecoder decoder;
  for (auto _ : state) {
    if (decoder.decode(jpeg.data(), jpeg.size(), *frame) != platform::MjpegDecoder::Status::decoded)
      state.SkipWithError("the frame did not decode");
    benchmark::ClobberMemory();
  }
  report(state, jpeg);
}

void BM_LibyuvMJPGToNV12(benchmark::State& state) {
  int w = int(state.range(0)), h = int(state.range(1));
  const auto& jpeg = cameraFrame(w, h);
  if (!haveFrame(state, jpeg)) return;
  auto frame = packedNv12(w, h);
  for (auto _ : state) {
    libyuv::MJPGToNV12(jpeg.data(), jpeg.size(), frame->baseAddress(0), int(frame->bytesPerRow(0)),
                       frame->baseAddress(1), int(frame->bytesPerRow(1)), w, h, w, h);
    benchmark::ClobberMemory();
  }
  report(state, jpeg);
}

// libjpeg-turbo's own decode to Y, U and V planes (4:2:2 as stored), the fast transform as the
// other two use.
void BM_TurboJpegToYuvPlanes(benchmark::State& state) {
  int w = int(state.range(0)), h = int(state.range(1));
  const auto& jpeg = cameraFrame(w, h);
  if (!haveFrame(state, jpeg)) return;
  std::vector<uint8_t> y(size_t(w) * h), u(size_t(w / 2) * h), v(size_t(w / 2) * h);
  unsigned char* planes[3] = {y.data(), u.data(), v.data()};
  int strides[3] = {w, w / 2, w / 2};
  tjhandle t = tjInitDecompress();
  for (auto _ : state) {
    tjDecompressToYUVPlanes(t, jpeg.data(), jpeg.size(), planes, w, strides, h, TJFLAG_FASTDCT);
    benchmark::ClobberMemory();
  }
  tjDestroy(t);
  report(state, jpeg);
}

// The same decode with its luma straight into an NV12 frame and its chroma halved and
// interleaved by libyuv afterwards, over whole-frame planes.
void BM_TurboJpegPlanesThenNV12(benchmark::State& state) {
  int w = int(state.range(0)), h = int(state.range(1));
  const auto& jpeg = cameraFrame(w, h);
  if (!haveFrame(state, jpeg)) return;
  auto frame = packedNv12(w, h);
  int cw = w / 2;
  std::vector<uint8_t> u(size_t(cw) * h), v(size_t(cw) * h), hu(size_t(cw) * h / 2),
      hv(size_t(cw) * h / 2);
  unsigned char* planes[3] = {frame->baseAddress(0), u.data(), v.data()};
  int strides[3] = {int(frame->bytesPerRow(0)), cw, cw};
  tjhandle t = tjInitDecompress();
  for (auto _ : state) {
    tjDecompressToYUVPlanes(t, jpeg.data(), jpeg.size(), planes, w, strides, h, TJFLAG_FASTDCT);
    libyuv::InterpolatePlane(u.data(), 2 * cw, u.data() + cw, 2 * cw, hu.data(), cw, cw, h / 2,
                             128);
    libyuv::InterpolatePlane(v.data(), 2 * cw, v.data() + cw, 2 * cw, hv.data(), cw, cw, h / 2,
                             128);
    libyuv::MergeUVPlane(hu.data(), cw, hv.data(), cw, frame->baseAddress(1),
                         int(frame->bytesPerRow(1)), cw, h / 2);
    benchmark::ClobberMemory();
  }
  tjDestroy(t);
  report(state, jpeg);
}

// Frames offered back to back as a camera would, the pool dropping what it cannot take:
// the rate is of frames decoded.
void BM_CapturePoolDecode(benchmark::State& state) {
  int w = int(state.range(0)), h = int(state.range(1)), workers = int(state.range(2));
  const auto& jpeg = cameraFrame(w, h);
  if (!haveFrame(state, jpeg)) return;
  std::atomic<uint64_t> out{0};
  platform::MjpegDecoderPool pool(workers, w, h, [&](const PixelBufferRef&, int64_t) { ++out; });
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

BENCHMARK(BM_CaptureMjpegDecoder)
    ->Args({3840, 1080})
    ->Args({4992, 1248})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibyuvMJPGToNV12)
    ->Args({3840, 1080})
    ->Args({4992, 1248})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TurboJpegToYuvPlanes)
    ->Args({3840, 1080})
    ->Args({4992, 1248})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TurboJpegPlanesThenNV12)
    ->Args({3840, 1080})
    ->Args({4992, 1248})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CapturePoolDecode)
    ->Args({3840, 1080, 2})
    ->Args({3840, 1080, 4})
    ->Args({4992, 1248, 2})
    ->Args({4992, 1248, 4})
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
