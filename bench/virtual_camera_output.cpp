// The virtual camera's per-frame work: the sink's hand-off of a composed 1280x720 frame (YUYV
// conversion into a pooled buffer, the write on its queue, the wait for it) beside one bare
// ARGBToYUY2 of the same frame; and the link's copy of a frame into its memfd ring beside one
// memcpy of the same bytes.
#include <benchmark/benchmark.h>
#include <libyuv.h>
#include <linux/videodev2.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "capture/V4l2Api.h"
#include "ipc/SharedFrameRing.h"
#include "vcam/LoopbackOutput.h"
#include "video/PixelBuffer.h"

using platform::PixelBuffer;
using platform::PixelFormat;

namespace {

// A loopback device that takes the format and every byte, and keeps none.
class NullLoopback : public platform::V4l2Api {
 public:
  int open(const char*, int) override { return 7; }
  int close(int) override { return 0; }
  int ioctl(int, unsigned long request, void*) override {
    if (request == VIDIOC_S_FMT || request == VIDIOC_S_PARM) return 0;
    errno = EINVAL;
    return -1;
  }
  void* mmap(size_t, int, off_t) override { return nullptr; }
  int munmap(void*, size_t) override { return 0; }
  int waitReadable(int, int, int) override { return 0; }
  ssize_t write(int, const void*, size_t size) override { return ssize_t(size); }
};

platform::PixelBufferRef composedFrame(int w, int h) {
  auto f = PixelBuffer::create(w, h, PixelFormat::BGRA);
  for (int y = 0; y < h; ++y)
    for (size_t x = 0; x < size_t(w) * 4; ++x) f->baseAddress(0)[y * f->bytesPerRow(0) + x] = uint8_t(x ^ y);
  return f;
}

}  // namespace

static void BM_SinkEnqueueFrame(benchmark::State& state) {
  NullLoopback api;
  platform::LoopbackOutput out(api, "/nonexistent", "/nonexistent");
  out.start({"/dev/video99", "Kestova Virtual Camera", "platform:v4l2loopback-099",
             "Kestova Virtual Camera"},
            1280, 720);
  auto frame = composedFrame(1280, 720);
  for (auto _ : state) {
    if (!out.enqueueFrame(frame)) state.SkipWithError("the sink refused a frame");
    out.drain();
  }
  state.SetItemsProcessed(int64_t(state.iterations()));
}

static void BM_ARGBToYUY2Baseline(benchmark::State& state) {
  auto frame = composedFrame(1280, 720);
  std::vector<uint8_t> yuyv(1280 * 720 * 2);
  for (auto _ : state) {
    libyuv::ARGBToYUY2(frame->baseAddress(0), int(frame->bytesPerRow(0)), yuyv.data(), 2560, 1280,
                       720);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()));
}

static void BM_LinkRingCopy(benchmark::State& state) {
  platform::SharedFrameRing ring;
  auto frame = composedFrame(1280, 720);
  ring.copy(*frame);  // sizes the ring
  for (auto _ : state) {
    benchmark::DoNotOptimize(ring.copy(*frame));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(frame->dataSize()));
}

static void BM_MemcpyBaseline(benchmark::State& state) {
  auto frame = composedFrame(1280, 720);
  // As many targets as the ring has slots, so both sides touch the same amount of memory.
  std::vector<std::vector<uint8_t>> targets(3, std::vector<uint8_t>(frame->dataSize()));
  size_t next = 0;
  for (auto _ : state) {
    std::memcpy(targets[next].data(), frame->baseAddress(0), frame->dataSize());
    next = (next + 1) % targets.size();
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(frame->dataSize()));
}

BENCHMARK(BM_SinkEnqueueFrame)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_ARGBToYUY2Baseline);
BENCHMARK(BM_LinkRingCopy);
BENCHMARK(BM_MemcpyBaseline);
BENCHMARK_MAIN();
