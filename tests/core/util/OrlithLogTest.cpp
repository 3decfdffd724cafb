#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "OrlithLog.h"

// The lines of every frame are written only while the program's debug switch is on; the other
// levels are written always.
TEST(OrlithLog, FrameLinesOnlyWithTheDebugSwitch) {
  std::vector<std::pair<orlith::OrlithLog::Level, std::string>> lines;
  orlith::OrlithLog::setSink([&](orlith::OrlithLog::Level level, const std::string& line) {
    lines.emplace_back(level, line);
  });
  ASSERT_FALSE(orlith::OrlithLog::isFrameDebug());
  ORLITH_LOG_FRAME_DEBUG("frame 1");
  ORLITH_LOG_DEBUG("event");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].second.find("event"), std::string::npos);
  orlith::OrlithLog::setFrameDebug(true);
  ORLITH_LOG_FRAME_DEBUG("frame 2");
  orlith::OrlithLog::setFrameDebug(false);
  ORLITH_LOG_FRAME_DEBUG("frame 3");
  orlith::OrlithLog::setSink(nullptr);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].first, orlith::OrlithLog::Level::Debug);
  EXPECT_NE(lines[1].second.find("], TestBody(): frame 2"), std::string::npos) << lines[1].second;
}
