#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstring>

#include "video/PixelBuffer.h"

using platform::PixelBuffer;
using platform::PixelFormat;

TEST(PixelBuffer, Nv12HasTwoPlanesWithAlignedRows) {
  auto b = PixelBuffer::create(1920, 1080, PixelFormat::NV12FullRange);
  ASSERT_TRUE(b);
  EXPECT_EQ(b->planeCount(), 2u);
  EXPECT_EQ(b->planeWidth(1), 960);
  EXPECT_EQ(b->planeHeight(1), 540);
  EXPECT_EQ(b->bytesPerRow(0) % 64, 0u);
  EXPECT_GE(b->bytesPerRow(0), 1920u);
  EXPECT_GE(b->baseAddress(1), b->baseAddress(0) + b->bytesPerRow(0) * 1080);
  EXPECT_LE(size_t(b->baseAddress(1) - b->baseAddress(0)) + b->bytesPerRow(1) * 540, b->dataSize());
  EXPECT_STREQ(platform::pixelFormatName(b->format()), "420f");
}

TEST(PixelBuffer, RejectsImpossibleSizes) {
  EXPECT_FALSE(PixelBuffer::create(0, 10, PixelFormat::BGRA));
  EXPECT_FALSE(PixelBuffer::create(-4, 10, PixelFormat::BGRA));
  EXPECT_FALSE(PixelBuffer::create(33, 10, PixelFormat::NV12FullRange));  // odd width for 4:2:0
  EXPECT_TRUE(PixelBuffer::create(33, 11, PixelFormat::BGRA));
}

TEST(PixelBuffer, CopyFromHonoursEachBuffersRowStride) {
  PixelBuffer::Options padded;
  padded.extraRowBytes = 100;
  auto a = PixelBuffer::create(30, 20, PixelFormat::NV12FullRange, padded);
  auto b = PixelBuffer::create(30, 20, PixelFormat::NV12FullRange);
  ASSERT_NE(a->bytesPerRow(0), b->bytesPerRow(0));
  for (int y = 0; y < 20; ++y) std::memset(a->baseAddress(0) + y * a->bytesPerRow(0), y, 30);
  for (int y = 0; y < 10; ++y) std::memset(a->baseAddress(1) + y * a->bytesPerRow(1), 200 + y, 30);
  ASSERT_TRUE(b->copyFrom(*a));
  for (int y = 0; y < 20; ++y) EXPECT_EQ(b->baseAddress(0)[y * b->bytesPerRow(0) + 29], y);
  for (int y = 0; y < 10; ++y) EXPECT_EQ(b->baseAddress(1)[y * b->bytesPerRow(1)], 200 + y);
  auto other = PixelBuffer::create(32, 20, PixelFormat::NV12FullRange);
  EXPECT_FALSE(other->copyFrom(*a));
}

TEST(PixelBuffer, SharedBufferIsVisibleThroughItsDescriptor) {
  PixelBuffer::Options shared;
  shared.shared = true;
  auto b = PixelBuffer::create(64, 16, PixelFormat::BGRA, shared);
  ASSERT_TRUE(b);
  ASSERT_GE(b->fd(), 0);
  b->baseAddress(0)[5] = 0x5a;
  void* view = mmap(nullptr, b->dataSize(), PROT_READ, MAP_SHARED, b->fd(), 0);
  ASSERT_NE(view, MAP_FAILED);
  EXPECT_EQ(static_cast<uint8_t*>(view)[5], 0x5a);
  munmap(view, b->dataSize());
}

TEST(PixelBuffer, ReferenceCountedAndLockBracketsBalance) {
  auto b = PixelBuffer::create(8, 8, PixelFormat::BGRA);
  platform::PixelBufferRef second = b;
  EXPECT_EQ(b.use_count(), 2);
  b->lock(true);
  EXPECT_EQ(b->lockCount(), 1);
  b->unlock(true);
  EXPECT_EQ(b->lockCount(), 0);
}
