#include <gtest/gtest.h>

#include <vector>

#include "selvo/SelvoFactory.h"
#include "selvo/SelvoFrameManager.h"

using namespace selvo;

TEST(SelvoFrameManager, LendsTheFrameBetweenBeginAndEnd) {
  ISELVO_FRAME_MANAGER* fm = nullptr;
  ASSERT_EQ(CreateISelvoFrameManagerObject(&fm), 0);
  ASSERT_NE(fm, nullptr);
  fm->Init(64, 32, true, 0);
  std::vector<uint8_t> plane(64 * 32, 7);
  unsigned a = fm->AddFrame(plane.data(), 64, 32, true, false);
  unsigned b = fm->AddFrame(plane.data(), 64, 32, false, true);
  EXPECT_GT(a, 0u);
  EXPECT_EQ(b, a + 1);
  FrameView view;
  EXPECT_FALSE(fm->GetFrame(a, &view));  // not begun
  fm->BeginFrame(a);
  ASSERT_TRUE(fm->GetFrame(a, &view));
  EXPECT_EQ(view.luma, plane.data());
  EXPECT_EQ(view.bytesPerRow, 64);
  EXPECT_TRUE(view.detect);
  EXPECT_FALSE(view.tracked);
  fm->EndFrame(a);
  EXPECT_FALSE(fm->GetFrame(a, &view));
  ReleaseISelvoFrameManagerObject(fm);
}

TEST(SelvoFrameManager, RefusesFramesOfAnotherSize) {
  SelvoFrameManager fm;
  fm.Init(64, 32, false, 0);
  std::vector<uint8_t> plane(128 * 32);
  EXPECT_EQ(fm.AddFrame(plane.data(), 128, 32, false, false), 0u);
  EXPECT_EQ(fm.AddFrame(nullptr, 64, 32, false, false), 0u);
}

TEST(SelvoFrameManager, ForgetsFramesThatNeverEnd) {
  SelvoFrameManager fm;
  fm.Init(8, 8, false, 0);
  std::vector<uint8_t> plane(64);
  unsigned first = fm.AddFrame(plane.data(), 8, 8, false, false);
  fm.BeginFrame(first);
  for (size_t i = 0; i < SelvoFrameManager::kMaxFrames; ++i) {
    fm.AddFrame(plane.data(), 8, 8, false, false);
  }
  EXPECT_FALSE(fm.GetFrame(first, nullptr));
}
