// Copying a camera-sized NV12 frame row by row, beside one memcpy of the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "video/PixelBuffer.h"

using platform::PixelBuffer;
using platform::PixelFormat;

static void BM_PixelBufferCopyFrom(benchmark::State& state) {
  int w = int(state.range(0)), h = int(state.range(1));
  auto a = PixelBuffer::create(w, h, PixelFormat::NV12FullRange);
  auto b = PixelBuffer::create(w, h, PixelFormat::NV12FullRange);
  for (auto _ : state) {
    b->copyFrom(*a);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * w * h * 3 / 2);
}

static void BM_MemcpyBaseline(benchmark::State& state) {
  size_t bytes = size_t(state.range(0)) * size_t(state.range(1)) * 3 / 2;
  std::vector<uint8_t> a(bytes), b(bytes);
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), bytes);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

BENCHMARK(BM_PixelBufferCopyFrom)->Args({3840, 1080})->Args({4992, 1248});
BENCHMARK(BM_MemcpyBaseline)->Args({3840, 1080})->Args({4992, 1248});
BENCHMARK_MAIN();
