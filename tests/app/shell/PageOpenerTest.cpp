#include <gtest/gtest.h>

#include <thread>

#include "ShellTestRig.h"
#include "Workspace.h"
#include "dispatch/MainQueue.h"
#include "i18n/Localized.h"
#include "shell/PageOpener.h"

namespace shelltest {
namespace {

using corvane::PageOpener;

// A page the user asked for that nothing opened is told, with its address and why, on the
// main queue: the opener did not start, or it ended without a program for the address.
class PageOpenerTest : public ::testing::Test, public ShellTestRig {
 protected:
  PageOpener::Environment pages(platform::Workspace* on) {
    return {on, &platform::MainQueue::shared(),
            [this](const std::string& line) { lines.push_back(line); },
            [this](const std::string& message) { alerts.push_back(message); }};
  }
  std::vector<std::string> lines, alerts;
};

TEST_F(PageOpenerTest, APageNothingOpenedIsToldWithItsAddressAndWhy) {
  std::function<void(int)> ended;
  bool starts = true;
  platform::Workspace::Environment env;
  env.spawnWatched = [&](const Argv&, std::function<void(int)> watch) {
    ended = std::move(watch);
    return starts;
  };
  platform::Workspace opener(env);
  const std::string url = "https://k.example/contact?customer=C7";

  // Opened: nothing is said.
  ASSERT_TRUE(PageOpener::open(pages(&opener), url));
  ended(0);
  platform::MainQueue::shared().drain();
  EXPECT_TRUE(lines.empty());
  EXPECT_TRUE(alerts.empty());

  // No program for web addresses: told from the reaping thread, heard on the main queue.
  ASSERT_TRUE(PageOpener::open(pages(&opener), url));
  std::thread([&] { ended(3); }).join();
  EXPECT_TRUE(alerts.empty()) << "not before the main queue runs";
  platform::MainQueue::shared().drain();
  const std::string why = platform::Workspace::openerFailure(3);
  EXPECT_EQ(lines, std::vector<std::string>{"Cannot open " + url + ": " + why});
  ASSERT_EQ(alerts.size(), 1u);
  EXPECT_EQ(alerts[0], "The page " + url + " could not be opened: " + why);

  // No opener at all (xdg-utils missing): at once.
  starts = false;
  EXPECT_FALSE(PageOpener::open(pages(&opener), url));
  ASSERT_EQ(alerts.size(), 2u);
  EXPECT_EQ(alerts[1], "The page " + url + " could not be opened: xdg-open could not be started");
  // Not a web address: never handed to the opener.
  ended = nullptr;
  EXPECT_FALSE(PageOpener::open(pages(&opener), "file:///etc/passwd"));
  EXPECT_FALSE(ended);
  EXPECT_EQ(lines.back(), "Cannot open file:///etc/passwd: not a web address");
}

}  // namespace
}  // namespace shelltest
