#include <gtest/gtest.h>

#include "camera/ConnectMode.h"
#include "camera/Display.h"
#include "camera/Projection.h"
#include "camera/UVCMode.h"
#include "camera/VerticalFovMode.h"

using namespace corvane;

TEST(CameraEnumerations, DisplayRawValues) {
  EXPECT_EQ(makeDisplay(10), Display::compose);
  EXPECT_EQ(makeDisplay(18), Display::panorama);
  EXPECT_EQ(makeDisplay(90), Display::bodyFit);
  EXPECT_EQ(makeDisplay(91), Display::audioFit);
  for (int64_t raw : {9, 19, 50, 89, 92, -1, 256 + 10}) EXPECT_FALSE(makeDisplay(raw)) << raw;
  EXPECT_EQ(rawValue(Display::singleSpeaker), 15);
  EXPECT_EQ(sizeof(Display), 1u);
}

TEST(CameraEnumerations, SmallEnumerationsEndAtTheirLastCase) {
  EXPECT_EQ(makeUVCMode(9), UVCMode::fov);
  EXPECT_FALSE(makeUVCMode(10));
  EXPECT_EQ(makeVerticalFovMode(2), VerticalFovMode::down);
  EXPECT_FALSE(makeVerticalFovMode(3));
  EXPECT_EQ(makeConnectMode(3), ConnectMode::disconnected);
  EXPECT_FALSE(makeConnectMode(4));
  EXPECT_FALSE(makeConnectMode(-1));
}

TEST(CameraEnumerations, ProjectionFromTheSevenValues) {
  auto p = Projection::make(2, 360, 120, 300, 90, 3840, 1080);
  ASSERT_TRUE(p);
  EXPECT_EQ(*p, (Projection{ProjectionType::panini, 360, 120, 300, 90, 3840, 1080}));
  EXPECT_EQ(projectionTypeFromCode(3), ProjectionType::normal);
  EXPECT_FALSE(Projection::make(4, 360, 120, 300, 90, 3840, 1080));
}
