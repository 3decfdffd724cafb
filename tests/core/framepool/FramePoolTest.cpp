#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <vector>

#include "OrlithLog.h"
#include "RefusedThreadStarts.h"
#include "dispatch/Semaphore.h"
#include "framepool/FramePool.h"

using namespace std::chrono_literals;
using orlith::FramePool;

TEST(FramePool, SetupMakesProcessSizeSlotsAndLogsEach) {
  std::vector<std::string> lines;
  orlith::OrlithLog::setSink(
      [&](orlith::OrlithLog::Level, const std::string& l) { lines.push_back(l); });
  FramePool pool(3);
  pool.setupQueue(640, 360);
  orlith::OrlithLog::setSink(nullptr);
  EXPECT_EQ(pool.slotCount(), 3u);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_NE(lines[2].find("Create [2] pixel buffer :: Success"), std::string::npos);
  auto slot = pool.getEmptyParams();
  ASSERT_TRUE(slot);
  EXPECT_EQ(slot->pixelBuffer->width(), 640);
  EXPECT_EQ(slot->pixelBuffer->format(), platform::PixelFormat::NV12FullRange);

  // A size no buffer can have still gives every slot, failed ones included.
  pool.setupQueue(0, 0);
  EXPECT_EQ(pool.slotCount(), 3u);
  EXPECT_FALSE(pool.getEmptyParams()->pixelBuffer);
}

TEST(FramePool, EmptyParamsWalkTheRingAndTheWorkerProcessesInOrder) {
  FramePool pool(3);
  pool.setupQueue(64, 32);
  auto a = pool.getEmptyParams();
  auto b = pool.getEmptyParams();
  auto c = pool.getEmptyParams();
  auto d = pool.getEmptyParams();
  EXPECT_NE(a, b);
  EXPECT_NE(b, c);
  EXPECT_EQ(a, d);  // back round the ring

  std::vector<const platform::PixelBuffer*> seen;
  platform::Semaphore done(0);
  pool.startWorkingThread([&](const platform::PixelBufferRef& buffer) {
    seen.push_back(buffer.get());
    done.signal();
  });
  pool.queueFilledSlot(2);
  pool.queueFilledSlot(0);
  pool.queueFilledSlot(7);  // no such slot: ignored
  ASSERT_TRUE(done.wait(5s));
  ASSERT_TRUE(done.wait(5s));
  pool.stop();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0],
            b->pixelBuffer.get());  // the first handed out is the slot after the cursor: 1, 2, 0
  EXPECT_EQ(seen[1], c->pixelBuffer.get());
  EXPECT_EQ(pool.slotCount(), 0u);
  EXPECT_FALSE(pool.getEmptyParams());
}

TEST(FramePool, ACallerWaitsWhileTheCursorsSlotIsInProcess) {
  FramePool pool(2);
  pool.setupQueue(64, 32);
  std::promise<void> entered;
  platform::Semaphore release(0);
  pool.startWorkingThread([&](const platform::PixelBufferRef&) {
    entered.set_value();
    release.wait();
  });
  pool.queueFilledSlot(0);  // the cursor's slot goes into process
  entered.get_future().wait();
  auto waiter = std::async(std::launch::async, [&] { return pool.getEmptyParams(); });
  EXPECT_EQ(waiter.wait_for(50ms), std::future_status::timeout);
  release.signal();
  EXPECT_TRUE(waiter.get());  // the slot came free
  pool.stop();
}

TEST(FramePool, AWorkerThatCannotStartIsToldAndCanBeStartedLater) {
  FramePool pool(2);
  pool.setupQueue(64, 32);
  std::atomic<int> processed{0};
  platform::Semaphore done(0);
  auto step = [&](const platform::PixelBufferRef&) {
    ++processed;
    done.signal();
  };
  {
    testsupport::RefusedThreadStarts refused;
    EXPECT_FALSE(pool.startWorkingThread(step));
    EXPECT_EQ(refused.refused(), 1);
  }
  EXPECT_TRUE(pool.startWorkingThread(step));
  pool.getEmptyParams();
  pool.queueFilledSlot(1);
  ASSERT_TRUE(done.wait(5s));
  pool.stop();
  EXPECT_EQ(processed.load(), 1);
}
