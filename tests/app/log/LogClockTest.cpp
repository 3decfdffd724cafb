#include <gtest/gtest.h>

#include <optional>

#include "ManualClock.h"
#include "TempDir.h"
#include "log/LogManager.h"

using corvane::LogManager;

namespace {

// A logger given no clock of its own (as the process's shared one is made) keeps none: it asks
// the process's clock of the moment at each line, so a clock a test put in place for a while
// is never called once it is gone, whichever test made the logger first.
TEST(LogClock, ALoggerWithoutAClockOfItsOwnFollowsTheProcesssClock) {
  testsupport::TempDir dir;
  LogManager::Environment env;
  env.cachesFolder = dir.path();
  env.executableName = "corvane-studio";
  env.standardOutput = [](const std::string&) {};
  env.standardError = [](const std::string&) {};
  env.systemLog = [](const std::string&) {};
  ASSERT_EQ(env.clock, nullptr);
  ASSERT_EQ(LogManager::Environment::process().clock, nullptr);

  testsupport::ManualClock first;
  first.setWallTime(testsupport::localTime(2024, 3, 1, 12, 0, 0));
  std::optional<LogManager> log;
  {
    testsupport::ScopedClock scoped(first);
    log.emplace(env);
    EXPECT_EQ(log->logFilePath(), dir.path() + "/corvane-studio/log/2024_03_01.log");
  }
  // The first clock stays alive (unused) so that a logger still holding it writes its day.
  testsupport::ManualClock second;
  second.setWallTime(testsupport::localTime(2024, 3, 2, 12, 0, 0));
  testsupport::ScopedClock scoped(second);
  log->log("a line on the second day");
  EXPECT_EQ(log->logFilePath(), dir.path() + "/corvane-studio/log/2024_03_02.log");
}

}  // namespace
