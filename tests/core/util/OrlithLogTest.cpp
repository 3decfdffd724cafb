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

// A program that keeps its terminal to warnings and errors turns the commentary off: Debug and
// Info lines then reach standard output no more.
TEST(OrlithLog, TheConsoleCommentaryFollowsTheProgramsSwitch) {
  struct Row {
    bool on;
    const char* printed;
  } rows[] = {{false, ""}, {true, "seen"}};
  for (const Row& row : rows) {
    orlith::OrlithLog::setConsoleCommentary(row.on);
    testing::internal::CaptureStdout();
    ORLITH_LOG_INFO("seen");
    ORLITH_LOG_DEBUG("seen");
    const std::string out = testing::internal::GetCapturedStdout();
    if (*row.printed == '\0') {
      EXPECT_EQ(out, "");
    } else {
      EXPECT_NE(out.find(std::string("[Info] [OrlithLogTest.cpp:")), std::string::npos) << out;
      EXPECT_NE(out.find(std::string("[Debug] [OrlithLogTest.cpp:")), std::string::npos) << out;
    }
  }
  orlith::OrlithLog::setConsoleCommentary(true);
}
