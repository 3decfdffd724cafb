#include <gtest/gtest.h>

#include <vector>

#include "main/SourcePictureRule.h"

using corvane::ConnectMode;
using corvane::SourcePictureRule;

namespace {

constexpr ConnectMode S = ConnectMode::searching, C = ConnectMode::connecting,
                      K = ConnectMode::connected, D = ConnectMode::disconnected;

struct Expect {
  bool clear, shows;
};

}  // namespace

TEST(SourcePictureRule, TheViewsGoDarkWhenTheSourceIsGoneAndShowTheNextConnection) {
  struct Case {
    const char* road;
    std::vector<ConnectMode> modes;
    std::vector<Expect> steps;
  };
  const Case cases[] = {
      // A start: what comes while it searches shows; nothing is held to let go.
      {"start with a camera", {S, K}, {{false, true}, {false, true}}},
      {"start with none", {S, D}, {{false, true}, {true, false}}},
      {"start through connecting", {S, C, K}, {{false, true}, {false, true}, {false, true}}},
      // The camera went: dark, and dark through the next search until it connects.
      {"unplug and plug-in",
       {S, K, D, S, K},
       {{false, true}, {false, true}, {true, false}, {false, false}, {false, true}}},
      {"Try Again that fails",
       {S, K, D, S, D},
       {{false, true}, {false, true}, {true, false}, {false, false}, {true, false}}},
      {"Try Again through connecting",
       {K, D, C, K},
       {{false, true}, {true, false}, {false, false}, {false, true}}},
      // A search begun from a live connection replaces its source.
      {"search from a live connection", {K, S, K}, {{false, true}, {true, false}, {false, true}}},
      {"connecting from a live connection", {K, C}, {{false, true}, {true, false}}},
      // Told twice: the second changes nothing, a second disconnection lets go again (of
      // nothing) and never shows.
      {"connected twice", {K, K}, {{false, true}, {false, true}}},
      {"disconnected twice", {K, D, D}, {{false, true}, {true, false}, {true, false}}},
      // A file chosen while the camera streams: the camera's pictures go, the file's show.
      {"camera then file", {K, D, K}, {{false, true}, {true, false}, {false, true}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.road);
    ASSERT_EQ(c.modes.size(), c.steps.size());
    SourcePictureRule rule;
    EXPECT_TRUE(rule.shows());
    for (size_t i = 0; i < c.modes.size(); ++i) {
      SCOPED_TRACE(i);
      SourcePictureRule::Step step = rule.connectModeChanged(c.modes[i]);
      EXPECT_EQ(step.clear, c.steps[i].clear);
      EXPECT_EQ(step.shows, c.steps[i].shows);
      EXPECT_EQ(rule.shows(), step.shows);
    }
  }
}
