#include <gtest/gtest.h>

#include "CameraManagerFixture.h"
#include "camera/CarriedBoxes.h"
#include "camera/SetUpRestore.h"

using corvane::CarriedBoxes;
using corvane::SetUpRestore;
using namespace std::chrono_literals;

TEST(SetUpRestore, WhatASetUpRestores) {
  struct Case {
    const char* what;
    SetUpRestore::Situation situation;
    SetUpRestore::Plan plan;
  } cases[] = {
      // restoreRecord, recordBoxes, carryBoxes, launchDetect
      {"first connection", {false, false, 0, 0, false}, {true, true, false, false}},
      {"first connection, launch detection on",
       {false, false, 0, 0, true},
       {true, true, false, true}},
      {"plug-in or Try Again", {false, true, 5, 1, true}, {true, true, false, true}},
      {"reopened with boxes", {true, true, 5, 0, true}, {true, false, true, true}},
      {"reopened with boxes, detection off", {true, true, 5, 0, false}, {true, false, true, false}},
      {"reopened with ignore areas only", {true, true, 0, 2, false}, {true, false, true, false}},
      {"reopened, nothing to carry", {true, true, 0, 0, true}, {true, true, false, true}},
      {"reopened at another size", {true, false, 5, 2, true}, {true, true, false, true}},
      {"reopened at another size, detection off",
       {true, false, 5, 2, false},
       {true, true, false, false}},
  };
  for (const Case& c : cases) EXPECT_EQ(SetUpRestore::plan(c.situation), c.plan) << c.what;
}

TEST(CarriedBoxes, BoxesPinsAndIgnoreAreasGoIntoTheNewSetUp) {
  testsupport::RecordingAnalysisFacade before;
  orlith::SelvoRect drawn, detected, empty;
  drawn.rect = {100, 200, 300, 400};
  drawn.rect_id = 4;
  detected.rect = {1000, 210, 280, 380};
  detected.rect_id = 9;
  empty.rect = {5, 5, 0, 0};
  orlith::SelvoRect unpinned;
  unpinned.rect = {2000, 200, 280, 380};
  unpinned.rect_id = 11;
  before.manualRects = {drawn, empty};
  before.detectRects = {detected, unpinned};
  before.pinnedIds = {9};
  before.ignoredRectCount = 1;
  before.ignoreRects = {{3000, 100, 200, 150}};
  CarriedBoxes carried = CarriedBoxes::take(before, 3840, 1080);
  ASSERT_TRUE(carried.taken());
  EXPECT_TRUE(carried.fits(3840, 1080));
  EXPECT_FALSE(carried.fits(4992, 1248));
  // The empty one is no box; the unpinned detected one comes back with the next detection.
  ASSERT_EQ(carried.boxes().size(), 2u);
  EXPECT_FALSE(carried.boxes()[0].pinned);
  EXPECT_TRUE(carried.boxes()[1].pinned);
  ASSERT_EQ(carried.ignoreAreas().size(), 1u);

  // The new set-up gives the boxes new ids; the pinned one is found where it lies.
  testsupport::RecordingAnalysisFacade after;
  orlith::SelvoRect readBack = detected;
  readBack.rect = {1000.4, 210.6, 280, 380};
  readBack.rect_id = 2;
  after.manualRects = {readBack};
  carried.putInto(after);
  EXPECT_EQ(after.callsStartingWith("AddNewRect"),
            (std::vector<std::string>{"AddNewRect 100 200 400 600", "AddNewRect 1000 210 1280 590",
                                      "AddNewRect 3000 100 3200 250"}));
  EXPECT_EQ(after.callsStartingWith("PinRect").size(), 1u);
  EXPECT_EQ(after.callsStartingWith("StartIgnoreAreaEditing").size(), 1u);
  EXPECT_EQ(after.callsStartingWith("EndIgnoreAreaEditing").size(), 1u);
}

// Every camera set-up is followed by the first-frame step, not only the first after the start:
// the watch's reopening carries the boxes in force, a plug-in after a stop asks for the launch
// detection again.
TEST_F(CameraManagerTest, EverySetUpIsFollowedByTheFirstFrameStep) {
  settings.newDetectLayout = true;
  plugCamera();
  makeManager();
  connect();
  deliverFrame(1);
  settle();
  auto facade = facades->last();
  EXPECT_EQ(facade->callsStartingWith("detectOnce").size(), 1u);
  orlith::SelvoRect drawn;
  drawn.rect = {100, 200, 300, 400};
  drawn.rect_id = 1;
  facade->manualRects = {drawn};
  facade->clearCalls();

  // Frames stop: the watch reopens the camera once; its first frame puts the drawn box back and
  // asks for the detection again.
  advance(4s);
  ASSERT_EQ(manager->retryCount(), 1);
  EXPECT_TRUE(manager->firstFrame());
  deliverFrame(2);
  settle();
  EXPECT_FALSE(manager->firstFrame());
  EXPECT_EQ(facade->callsStartingWith("AddNewRect"),
            (std::vector<std::string>{"AddNewRect 100 200 400 600"}));
  EXPECT_EQ(facade->callsStartingWith("detectOnce").size(), 1u);

  // Stopped, then started again (Try Again, a plug-in): a fresh set-up, the launch detection runs.
  manager->stopConnection();
  settle();
  connect();
  deliverFrame(1);
  settle();
  EXPECT_EQ(facades->last()->callsStartingWith("detectOnce").size(), 1u);
  EXPECT_EQ(facades->last()->callsStartingWith("AddNewRect").size(), 0u);
}
