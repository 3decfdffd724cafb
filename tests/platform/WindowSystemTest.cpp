#include <gtest/gtest.h>

#include <string>

#include "qt/WindowSystem.h"

using platform::WindowSystem;
using Abilities = WindowSystem::Abilities;

TEST(WindowSystem, WaylandPluginsPlaceSizeAndHideWindowsThemselves) {
  const Abilities x11{true, true, true}, wayland{false, false, false};
  struct Row {
    std::string name;
    Abilities abilities;
  } rows[] = {
      {"xcb", x11},         {"offscreen", x11},       {"", x11},
      {"wayland", wayland}, {"wayland-egl", wayland}, {"wayland-brcm", wayland},
      {"waylan", x11},      {"xwayland", x11},
  };
  for (const auto& row : rows) EXPECT_EQ(WindowSystem::of(row.name), row.abilities) << row.name;
}

TEST(WindowSystem, AMaximiseIsTheProgramsOnlyWhereThePlatformLetsItSizeOne) {
  using M = WindowSystem::MaximiseStep;
  using Z = WindowSystem::ZoomStep;
  const Abilities own = WindowSystem::of("xcb"), compositor = WindowSystem::of("wayland");
  EXPECT_EQ(WindowSystem::onMaximised(own), M::zoomOwnFrame);
  EXPECT_EQ(WindowSystem::onMaximised(compositor), M::letStand);
  EXPECT_EQ(WindowSystem::zoom(own, false), Z::ownFrame);
  EXPECT_EQ(WindowSystem::zoom(own, true), Z::ownFrame);
  EXPECT_EQ(WindowSystem::zoom(compositor, false), Z::maximise);
  EXPECT_EQ(WindowSystem::zoom(compositor, true), Z::restore);
  // A platform that places windows but sizes maximised ones itself still lets its size stand.
  const Abilities mixed{true, false, true};
  EXPECT_EQ(WindowSystem::onMaximised(mixed), M::letStand);
}
