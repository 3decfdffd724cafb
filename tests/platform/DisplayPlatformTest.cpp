#include <gtest/gtest.h>

#include "qt/DisplayPlatform.h"

using platform::DisplayPlatform;

TEST(DisplayPlatform, XcbOnlyInAWaylandSessionWithXWaylandAndNoChoiceMade) {
  EXPECT_EQ(DisplayPlatform::preferred(nullptr, "wayland-0", ":0"), "xcb");
  EXPECT_EQ(DisplayPlatform::preferred("", "wayland-0", ":0"), "xcb");
  EXPECT_FALSE(DisplayPlatform::preferred("wayland", "wayland-0", ":0"));
  EXPECT_FALSE(DisplayPlatform::preferred("offscreen", "wayland-0", ":0"));
  EXPECT_FALSE(DisplayPlatform::preferred(nullptr, "wayland-0", nullptr));  // no XWayland
  EXPECT_FALSE(DisplayPlatform::preferred(nullptr, "wayland-0", ""));
  EXPECT_FALSE(DisplayPlatform::preferred(nullptr, nullptr, ":0"));  // an X session already
}
