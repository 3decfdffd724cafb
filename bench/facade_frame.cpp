// The facade's per-frame cost: the copy of a camera frame beside one memcpy of the same bytes,
// and a whole frame through the pipeline (copy, processing queue, no detection) with the
// library objects this build has.
#include <benchmark/benchmark.h>

#include <cstring>
#include <thread>
#include <vector>

#include "ISelvoServiceManage.h"
#include "OrlithLog.h"
#include "dispatch/MainQueue.h"
#include "video/PixelBuffer.h"

using orlith::ISelvoServiceManage;
using platform::PixelBuffer;
using platform::PixelFormat;

namespace {

constexpr int kWidth = 3840;
constexpr int kHeight = 1080;

platform::PixelBufferRef packedBuffer() {
  PixelBuffer::Options packed;
  packed.rowAlignment = 1;
  return PixelBuffer::create(kWidth, kHeight, PixelFormat::NV12FullRange, packed);
}

}  // namespace

// Argument: padding bytes at the end of each camera row (0: packed rows, copied as blocks).
static void BM_FacadeFrameCopy(benchmark::State& state) {
  PixelBuffer::Options options;
  options.extraRowBytes = size_t(state.range(0));
  auto camera = PixelBuffer::create(kWidth, kHeight, PixelFormat::NV12FullRange, options);
  auto copy = packedBuffer();
  std::memset(camera->baseAddress(0), 90, camera->dataSize() - 64);
  for (auto _ : state) {
    ISelvoServiceManage::YUVBufferCopyWithPixelBuffer(*camera, *copy);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight * 3 / 2);
}

static void BM_MemcpyBaseline(benchmark::State& state) {
  size_t bytes = size_t(kWidth) * kHeight * 3 / 2;
  std::vector<uint8_t> a(bytes, 90), b(bytes);
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), bytes);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

// One frame in, through the processing queue, until `done` has run on the main queue.
static void BM_FacadeFrameNoDetection(benchmark::State& state) {
  orlith::OrlithLog::setSink([](orlith::OrlithLog::Level, const std::string&) {});
  auto facade = std::make_shared<ISelvoServiceManage>();
  facade->initManager();
  facade->setup({kWidth, kHeight}, {1280, 720}, {1280, 360}, {960, 270}, 1, "");
  for (int i = 0; i < int(state.range(0)); ++i) {
    facade->AddNewRect(100 + i * 400, 200, 400 + i * 400, 600);
  }
  facade->TrackAllRects();
  facade->addLayoutObservable([](auto, auto, auto, auto, auto) {});
  auto frame = PixelBuffer::create(kWidth, kHeight, PixelFormat::NV12FullRange);
  for (auto _ : state) {
    bool done = false;
    facade->imageProcessWithPixelBuffer(frame, [&] { done = true; });
    while (!done) {
      platform::MainQueue::shared().drain();
      std::this_thread::yield();
    }
  }
  facade->releaseSelvoInst();
  facade.reset();
  platform::MainQueue::shared().drain();
  orlith::OrlithLog::setSink(nullptr);
}

BENCHMARK(BM_FacadeFrameCopy)->Arg(0)->Arg(64);
BENCHMARK(BM_MemcpyBaseline);
BENCHMARK(BM_FacadeFrameNoDetection)->Arg(0)->Arg(8)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK_MAIN();
