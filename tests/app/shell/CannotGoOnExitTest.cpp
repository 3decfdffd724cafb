// The program's way out when a thread it cannot do without cannot be started: a reason, the
// settings written, exit status 1, never an abort.
#include <gtest/gtest.h>

#include <exception>
#include <string>
#include <vector>

#include "RefusedThreadStarts.h"
#include "dispatch/SerialQueue.h"
#include "shell/CannotGoOnExit.h"

using corvane::CannotGoOnExit;

TEST(CannotGoOnExit, AQueueWhoseThreadCannotStartEndsTheProgramWithAReasonAndTheSettingsSaved) {
  std::vector<std::string> lines, steps;
  std::vector<int> statuses;
  std::terminate_handler before = std::get_terminate();
  CannotGoOnExit::Environment env;
  env.log = [&](const std::string& line) {
    lines.push_back(line);
    steps.push_back("log");
  };
  env.saveSettings = [&] { steps.push_back("save"); };
  env.exit = [&](int status) {
    statuses.push_back(status);
    steps.push_back("exit");
  };
  CannotGoOnExit::install(env);
  {
    testsupport::RefusedThreadStarts refused(0, true);
    platform::SerialQueue queue("camera.connection");
    EXPECT_FALSE(queue.running());
  }
  std::set_terminate(before);
  platform::ThreadStart::setCannotGoOn({});
  EXPECT_EQ(steps, (std::vector<std::string>{"log", "save", "exit"}));
  EXPECT_EQ(statuses, std::vector<int>{1});
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0],
            "Corvane Studio cannot go on: the thread of camera.connection cannot be started "
            "(Resource temporarily unavailable); it ends");
}
