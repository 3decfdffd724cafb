// The compute layer: textures over pixel buffers, sampling, the pool, dispatch grids, and
// kernels that stay inside their textures.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>

#include "RefusedThreadStarts.h"
#include "render/EffectParameters.h"
#include "render/EffectsKernel.h"
#include "render/LayoutKernel.h"
#include "render/LayoutRecords.h"
#include "render/LayoutRemapCache.h"
#include "render/compute/ComputePass.h"
#include "render/compute/KernelLibrary.h"
#include "render/compute/Sampler.h"
#include "render/compute/TextureCache.h"

using namespace corvane;
using namespace corvane::compute;
using platform::PixelBuffer;
using platform::PixelFormat;

namespace {

uint32_t texel(const Texture& t, int x, int y) {
  uint32_t v;
  std::memcpy(&v, t.row(y) + x * 4, 4);
  return v;
}

// True when every byte of the buffer's plane 0 outside the top-left w x h texels is zero.
bool untouchedOutside(const PixelBuffer& b, int w, int h, int bytesPerTexel) {
  for (int y = 0; y < b.planeHeight(0); ++y)
    for (int x = 0; x < b.planeWidth(0) * bytesPerTexel; ++x)
      if ((y >= h || x >= w * bytesPerTexel) && b.baseAddress(0)[y * b.bytesPerRow(0) + x] != 0)
        return false;
  return true;
}

using Rois = std::array<RoiProperty, kLayoutRecordCount>;

// Prepares the remap tables for an output of w x h and runs the layout kernel over a grid of
// `groups` threadgroups of 16 x 16.
bool drawLayout(ThreadPool& pool, const TextureRef& source, const TextureRef& output,
                const Rois& src, const Rois& dst, const LayoutUniforms& uniforms,
                LayoutRemapCache& cache, int w, int h, Size3 groups) {
  LayoutRemapCache::Inputs inputs;
  inputs.src = &src;
  inputs.dst = &dst;
  inputs.sourceWidth = source->width();
  inputs.sourceHeight = source->height();
  inputs.outputWidth = w;
  inputs.outputHeight = h;
  cache.prepare(inputs, pool);
  ComputePass pass(pool);
  pass.setKernel(&layoutKernel);
  pass.setTexture(source, kLayoutSourceTexture);
  pass.setTexture(output, kLayoutOutputTexture);
  pass.setBytes(src.data(), sizeof(src), kLayoutSourceList);
  pass.setBytes(dst.data(), sizeof(dst), kLayoutDestinationList);
  pass.setBytes(&uniforms, sizeof(uniforms), kLayoutUniforms);
  pass.setBuffer(&cache, sizeof(cache), kLayoutRemapTables);
  return pass.dispatchThreadgroups(groups, {16, 16, 1});
}

}  // namespace

TEST(Compute, TexturesOverPixelBufferPlanes) {
  auto nv12 = PixelBuffer::create(64, 32, PixelFormat::NV12FullRange);
  TextureCache cache;
  auto y = cache.createTextureFromImage(nv12, 0, TextureFormat::R8Unorm, 64, 32);
  auto uv = cache.createTextureFromImage(nv12, 1, TextureFormat::RG8Unorm, 32, 16);
  ASSERT_TRUE(y && uv);
  EXPECT_EQ(y->row(1), nv12->baseAddress(0) + nv12->bytesPerRow(0));
  EXPECT_EQ(uv->row(0), nv12->baseAddress(1));
  // Larger than the plane, a texel size the plane does not hold, a missing plane: none.
  EXPECT_FALSE(cache.createTextureFromImage(nv12, 0, TextureFormat::R8Unorm, 65, 32));
  EXPECT_FALSE(cache.createTextureFromImage(nv12, 1, TextureFormat::RG8Unorm, 32, 17));
  EXPECT_FALSE(cache.createTextureFromImage(nv12, 0, TextureFormat::BGRA8Unorm, 16, 8));
  EXPECT_FALSE(cache.createTextureFromImage(nv12, 2, TextureFormat::R8Unorm, 8, 8));
  EXPECT_FALSE(cache.createTextureFromImage(nullptr, 0, TextureFormat::R8Unorm, 8, 8));
  auto bgra = PixelBuffer::create(16, 8, PixelFormat::BGRA);
  EXPECT_TRUE(cache.createTextureFromImage(bgra, 0, TextureFormat::BGRA8Unorm, 16, 8));
  EXPECT_FALSE(cache.createTextureFromImage(bgra, 1, TextureFormat::RG8Unorm, 8, 4));
  // The texture keeps its buffer alive.
  std::weak_ptr<PixelBuffer> weak = nv12;
  nv12.reset();
  EXPECT_FALSE(weak.expired());
  y.reset();
  uv.reset();
  EXPECT_TRUE(weak.expired());
  EXPECT_FALSE(Texture::create(0, 4, TextureFormat::R8Unorm));
}

TEST(Compute, BilinearSamplingClampsOrWraps) {
  auto t = Texture::create(4, 2, TextureFormat::BGRA8Unorm);
  const uint32_t values[4] = {0xFF000000, 0xFF404040, 0xFF808080, 0xFFC0C0C0};
  for (int y = 0; y < 2; ++y) std::memcpy(t->row(y), values, 16);
  Sampler clamp("bilinear", Sampler::Filter::Linear, Sampler::Address::ClampToEdge,
                Sampler::Address::ClampToEdge);
  Sampler wrap("bilinear", Sampler::Filter::Linear, Sampler::Address::Repeat,
               Sampler::Address::ClampToEdge);
  EXPECT_EQ(clamp.sample4(*t, 1.5f, 1.0f), 0xFF404040u);  // a texel centre
  EXPECT_EQ(clamp.sample4(*t, 2.0f, 1.0f), 0xFF606060u);  // halfway between two
  EXPECT_EQ(clamp.sample4(*t, 4.0f, 1.0f), 0xFFC0C0C0u);  // past the right edge: the edge
  EXPECT_EQ(wrap.sample4(*t, 4.0f, 1.0f), 0xFF606060u);   // halfway from the last to the first
  EXPECT_EQ(Sampler::address(-1, 4, Sampler::Address::Repeat), 3);
  EXPECT_EQ(Sampler::address(9, 4, Sampler::Address::Repeat), 1);
  EXPECT_EQ(Sampler::address(-3, 4, Sampler::Address::ClampToEdge), 0);
  EXPECT_EQ(lerpTexel(0x00000000u, 0xFFFFFFFFu, 256), 0xFFFFFFFFu);
  EXPECT_EQ(lerpTexel(0x10203040u, 0x10203040u, 77), 0x10203040u);
}

TEST(Compute, PoolRunsEveryItemOnceAndSerialisesCallers) {
  ThreadPool pool(4);
  EXPECT_EQ(pool.threadCount(), 4u);
  std::vector<std::atomic<int>> hits(1000);
  pool.parallelFor(hits.size(), 7, [&](size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) hits[i]++;
  });
  for (auto& h : hits) EXPECT_EQ(h.load(), 1);
  // Two submitting threads at once: each job complete when its call returns.
  std::atomic<int> a{0}, b{0};
  std::thread other([&] {
    for (int k = 0; k < 50; ++k)
      pool.parallelFor(100, 3, [&](size_t s, size_t e) { a += int(e - s); });
  });
  for (int k = 0; k < 50; ++k) {
    int before = b;
    pool.parallelFor(100, 3, [&](size_t s, size_t e) { b += int(e - s); });
    EXPECT_EQ(b - before, 100);
  }
  other.join();
  EXPECT_EQ(a.load(), 5000);
  pool.parallelFor(0, 1, [](size_t, size_t) { FAIL(); });
}

namespace {
std::mutex gridMutex;
std::set<uint32_t> gridRows;
uint32_t gridWidth = 0;
void recordRow(const ArgumentTable&, const GridRow& row) {
  std::lock_guard<std::mutex> lock(gridMutex);
  gridRows.insert(row.row);
  gridWidth = row.gridWidth;
}
}  // namespace

TEST(Compute, DispatchCoversWholeThreadgroups) {
  ThreadPool pool(3);
  ComputePass pass(pool);
  EXPECT_FALSE(pass.dispatchThreadgroups({1, 1, 1}, {16, 16, 1}));  // no kernel
  pass.setKernel(&recordRow);
  // A 1920 x 1080 frame: 121 x 68 groups of 16 x 16, one more than needed across.
  ASSERT_TRUE(pass.dispatchThreadgroups({1920 / 16 + 1, 1080 / 16 + 1, 1}, {16, 16, 1}));
  EXPECT_EQ(gridWidth, 121u * 16);
  EXPECT_EQ(gridRows.size(), 68u * 16);
  EXPECT_EQ(*gridRows.rbegin(), 68u * 16 - 1);
  auto library = KernelLibrary::makeDefault();
  EXPECT_TRUE(library.function("effectsKernel"));
  EXPECT_TRUE(library.function("layoutKernel"));
  EXPECT_FALSE(library.function("missingKernel"));
}

TEST(Compute, EffectsKernelStaysInsideSmallerOutputs) {
  ThreadPool pool(2);
  auto frame = PixelBuffer::create(128, 64, PixelFormat::NV12FullRange);
  std::memset(frame->baseAddress(0), 200, frame->dataSize() / 2);
  // Each output is a view of only part of a bigger buffer: a write past the view shows.
  auto rgbBuffer = PixelBuffer::create(128, 64, PixelFormat::BGRA);
  auto yBuffer = PixelBuffer::create(128, 64, PixelFormat::NV12FullRange);
  auto selvoBuffer = PixelBuffer::create(128, 64, PixelFormat::NV12FullRange);
  ComputePass pass(pool);
  pass.setKernel(&effectsKernel);
  pass.setTexture(Texture::wrap(frame, 0, TextureFormat::R8Unorm, 128, 64), kEffectSourceY);
  pass.setTexture(Texture::wrap(frame, 1, TextureFormat::RG8Unorm, 64, 32), kEffectSourceUV);
  pass.setTexture(Texture::wrap(yBuffer, 0, TextureFormat::R8Unorm, 40, 20), kEffectOutputY);
  pass.setTexture(Texture::wrap(rgbBuffer, 0, TextureFormat::BGRA8Unorm, 50, 30),
                  kEffectTextureOut);
  pass.setTexture(Texture::wrap(selvoBuffer, 0, TextureFormat::R8Unorm, 30, 10), kEffectSelvoY);
  EffectParameters parameters;
  parameters.width = 128;
  parameters.height = 64;
  parameters.denoise = 6;  // with no reference: no noise reduction, no reads past anything
  pass.setBytes(&parameters, sizeof(parameters), 0);
  ASSERT_TRUE(pass.dispatchThreadgroups({128 / 16 + 1, 64 / 16 + 1, 1}, {16, 16, 1}));
  EXPECT_TRUE(untouchedOutside(*rgbBuffer, 50, 30, 4));
  EXPECT_TRUE(untouchedOutside(*yBuffer, 40, 20, 1));
  EXPECT_TRUE(untouchedOutside(*selvoBuffer, 30, 10, 1));
  EXPECT_EQ(yBuffer->baseAddress(0)[yBuffer->bytesPerRow(0) * 19 + 39], 200);
  EXPECT_NE(texel(*Texture::wrap(rgbBuffer, 0, TextureFormat::BGRA8Unorm, 50, 30), 49, 29), 0u);
}

TEST(Compute, LayoutKernelStaysInsideItsOutput) {
  ThreadPool pool(2);
  auto source = Texture::create(256, 128, TextureFormat::BGRA8Unorm);
  for (int y = 0; y < 128; ++y) std::memset(source->row(y), 0x7F, 256 * 4);
  auto outBuffer = PixelBuffer::create(200, 100, PixelFormat::BGRA);
  auto output = Texture::wrap(outBuffer, 0, TextureFormat::BGRA8Unorm, 120, 60);
  Rois src{}, dst{};
  src[0].width = 256;
  src[0].height = 128;
  dst[0].width = 200;  // a tile bigger than the output view
  dst[0].height = 100;
  dst[0].edge_right = dst[0].edge_bottom = true;
  LayoutUniforms uniforms;
  uniforms.src_width = 256;
  uniforms.src_height = 128;
  uniforms.output_size[0] = 200;  // claims more than the texture holds
  uniforms.output_size[1] = 100;
  LayoutRemapCache cache;
  ASSERT_TRUE(drawLayout(pool, source, output, src, dst, uniforms, cache, 120, 60,
                         {200 / 16 + 1, 100 / 16 + 1}));
  EXPECT_TRUE(untouchedOutside(*outBuffer, 120, 60, 4));
  EXPECT_EQ(texel(*output, 119, 59), 0xFF7F7F7Fu);
  // Records too short for twenty tiles: nothing is read or drawn.
  auto other = Texture::create(16, 16, TextureFormat::BGRA8Unorm);
  ComputePass shortPass(pool);
  shortPass.setKernel(&layoutKernel);
  shortPass.setTexture(other, kLayoutOutputTexture);
  shortPass.setBytes(dst.data(), sizeof(RoiProperty) * 3, kLayoutDestinationList);
  shortPass.setBytes(&uniforms, sizeof(uniforms), kLayoutUniforms);
  shortPass.dispatchThreadgroups({2, 2, 1}, {16, 16, 1});
  EXPECT_EQ(texel(*other, 0, 0), 0u);
}

// Every pixel of plain crops (scaled up and down, odd widths, across the seam, clamped at the
// edges) is the bilinear blend its tables name, rounded per channel as the sampler does.
TEST(Compute, LayoutCropPixelsAreTheBlendsOfTheirTables) {
  ThreadPool pool(2);
  constexpr int kSrcW = 300, kSrcH = 100, kOutW = 257, kOutH = 90;
  auto source = Texture::create(kSrcW, kSrcH, TextureFormat::BGRA8Unorm);
  uint32_t seed = 12345;
  for (int y = 0; y < kSrcH; ++y)
    for (int x = 0; x < kSrcW * 4; ++x) {
      seed = seed * 1664525u + 1013904223u;
      source->row(y)[x] = uint8_t(seed >> 24);
    }
  auto output = Texture::create(kOutW, kOutH, TextureFormat::BGRA8Unorm);
  Rois src{}, dst{};
  for (auto& r : src) r = RoiProperty::empty();
  for (auto& r : dst) r = RoiProperty::empty();
  struct Crop {
    float sx, sy, sw, sh, dx, dy, dw, dh;
  };
  const Crop crops[] = {
      {10, 5, 40, 30, 0, 0, 101, 45},           // up
      {0, 0, 300, 100, 101, 0, 77, 45},         // down, the whole source
      {270, 20, 60, 40, 178, 0, 79, 45},        // across the seam
      {250.5f, 70, 49.5f, 30, 0, 45, 131, 45},  // up to the right and bottom edges
      {3.3f, 1.7f, 13, 9, 131, 45, 126, 45},    // far up, fractional
  };
  for (size_t i = 0; i < std::size(crops); ++i) {
    const Crop& c = crops[i];
    src[i].x = c.sx;
    src[i].y = c.sy;
    src[i].width = c.sw;
    src[i].height = c.sh;
    dst[i].x = c.dx;
    dst[i].y = c.dy;
    dst[i].width = c.dw;
    dst[i].height = c.dh;
  }
  LayoutUniforms uniforms;
  uniforms.src_width = kSrcW;
  uniforms.src_height = kSrcH;
  uniforms.output_size[0] = kOutW;
  uniforms.output_size[1] = kOutH;
  uniforms.edge_width = 0;
  LayoutRemapCache cache;
  ASSERT_TRUE(drawLayout(pool, source, output, src, dst, uniforms, cache, kOutW, kOutH,
                         {kOutW / 16 + 1, kOutH / 16 + 1}));
  int mismatches = 0, covered = 0;
  for (size_t i = 0; i < std::size(crops); ++i) {
    const auto& t = cache.tile(i);
    ASSERT_TRUE(t.active && !t.perspective);
    for (int y = t.y0; y < t.y1; ++y)
      for (int x = t.x0; x < t.x1; ++x) {
        size_t j = size_t(y - t.y0), k = size_t(x - t.x0);
        uint32_t wx = t.colW[k], wy = t.rowW[j];
        uint32_t top = lerpTexel(texel(*source, t.colA[k], t.rowA[j]),
                                 texel(*source, t.colB[k], t.rowA[j]), wx);
        uint32_t bottom = lerpTexel(texel(*source, t.colA[k], t.rowB[j]),
                                    texel(*source, t.colB[k], t.rowB[j]), wx);
        mismatches += texel(*output, x, y) != (lerpTexel(top, bottom, wy) | 0xFF000000u);
        ++covered;
      }
  }
  EXPECT_EQ(mismatches, 0);
  EXPECT_GT(covered, 10000);
}

TEST(Compute, APoolWhoseWorkersCannotAllStartDoesTheWholeJobWithThoseThereAre) {
  for (int allowed : {0, 1}) {
    testsupport::RefusedThreadStarts refused(allowed);
    ThreadPool pool(4, "test pool");
    EXPECT_EQ(pool.threadCount(), size_t(allowed) + 1);
    std::vector<std::atomic<int>> items(1000);
    pool.parallelFor(items.size(), 16, [&](size_t begin, size_t end) {
      for (size_t i = begin; i < end; ++i) ++items[i];
    });
    for (auto& item : items) ASSERT_EQ(item.load(), 1);
  }
}
