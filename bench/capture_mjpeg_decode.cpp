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

// Times `decode` (the frame's bytes into the NV12 frame it is handed) over the frame of the
// size the benchmark's arguments give.
template <typename Decode>
void timeDecode(benchmark::State& state, Decode decode) {
  const int w = int(state.range(0)), h = int(state.range(1));
  const auto& jpeg = cameraFrame(w, h);
  if (!haveFrame(state, jpeg)) return;
  auto frame = packedNv12(w, h);
  for (auto _ : state) {
    if (!decode(jpeg, *frame)) state.SkipWithError("the frame did not decode");
    benchmark::ClobberMemory();
  }
  state.counters["fps"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["jpeg_kB"] = double(jpeg.size()) / 1000.0;
}

void BM_CaptureMjpegDecoder(benchmark::State& state) {
  platform::MjpegDecoder decoder;
  timeDecode(state, [&](const std::vector<uint8_t>& jpeg, PixelBuffer& frame) {
    return decoder.decode(jpeg.data(), jpeg.size(), frame) ==
           platform::MjpegDecoder::Status::decoded;
  });
}

void BM_LibyuvMJPGToNV12(benchmark::State& state) {
  timeDecode(state, [](const std::vector<uint8_t>& jpeg, PixelBuffer& frame) {
    const int w = frame.width(), h = frame.height();
    return libyuv::MJPGToNV12(jpeg.data(), jpeg.size(), frame.baseAddress(0),
                              int(frame.bytesPerRow(0)), frame.baseAddress(1),
                              int(frame.bytesPerRow(1)), w, h, w, h) == 0;
  });
}

// libjpeg-turbo's own decode to Y, U and V planes (4:2:2 as stored, luma into the frame), the
// fast transform as the other two use; with `toNv12` its chroma is then halved and interleaved
// into the frame by libyuv, over whole-frame planes.
void turboJpegDecode(benchmark::State& state, bool toNv12) {
  const int w = int(state.range(0)), h = int(state.range(1)), cw = w / 2;
  std::vector<uint8_t> u(size_t(cw) * h), v(size_t(cw) * h), hu(size_t(cw) * h / 2),
      hv(size_t(cw) * h / 2);
  tjhandle t = tjInitDecompress();
  timeDecode(state, [&](const std::vector<uint8_t>& jpeg, PixelBuffer& frame) {
    unsigned char* planes[3] = {frame.baseAddress(0), u.data(), v.data()};
    int strides[3] = {int(frame.bytesPerRow(0)), cw, cw};
    if (tjDecompressToYUVPlanes(t, jpeg.data(), jpeg.size(), planes, w, strides, h,
                                TJFLAG_FASTDCT) != 0)
      return false;
    if (!toNv12) return true;
    libyuv::InterpolatePlane(u.data(), 2 * cw, u.data() + cw, 2 * cw, hu.data(), cw, cw, h / 2,
                             128);
    libyuv::InterpolatePlane(v.data(), 2 * cw, v.data() + cw, 2 * cw, hv.data(), cw, cw, h / 2,
                             128);
    libyuv::MergeUVPlane(hu.data(), cw, hv.data(), cw, frame.baseAddress(1),
                         int(frame.bytesPerRow(1)), cw, h / 2);
    return true;
  });
  tjDestroy(t);
}

void BM_TurboJpegToYuvPlanes(benchmark::State& state) { turboJpegDecode(state, false); }
void BM_TurboJpegPlanesThenNV12(benchmark::State& state) { turboJpegDecode(state, true); }

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

// The sizes the camera is streamed at by the profile: 3840 x 1080 and its own 4992 x 1248.
void cameraSizes(benchmark::internal::Benchmark* b) {
  b->Args({3840, 1080})->Args({4992, 1248})->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_CaptureMjpegDecoder)->Apply(cameraSizes);
BENCHMARK(BM_LibyuvMJPGToNV12)->Apply(cameraSizes);
BENCHMARK(BM_TurboJpegToYuvPlanes)->Apply(cameraSizes);
BENCHMARK(BM_TurboJpegPlanesThenNV12)->Apply(cameraSizes);
BENCHMARK(BM_CapturePoolDecode)
    ->Args({3840, 1080, 2})
    ->Args({3840, 1080, 4})
    ->Args({4992, 1248, 2})
    ->Args({4992, 1248, 4})
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
