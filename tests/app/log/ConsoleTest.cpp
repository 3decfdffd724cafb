#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "log/LogManager.h"

using corvane::LogManager;

namespace {

// The terminal a plain start is typed in gets the warnings and errors (standard error) and no
// running commentary; the debug switch brings the Debug and Info lines to standard output.
TEST(LogConsole, StandardOutputOnlyWithTheDebugSwitch) {
  const char* before = std::getenv("CORVANE_DEBUG");
  const std::optional<std::string> saved =
      before ? std::optional<std::string>(before) : std::nullopt;
  struct Row {
    const char* debug;  // nullptr: unset
    bool commentary;
  } rows[] = {{nullptr, false}, {"0", false}, {"", false}, {"yes", false}, {"1", true}};
  for (const Row& row : rows) {
    if (row.debug)
      setenv("CORVANE_DEBUG", row.debug, 1);
    else
      unsetenv("CORVANE_DEBUG");
    LogManager::Environment env = LogManager::Environment::process();
    EXPECT_EQ(bool(env.standardOutput), row.commentary) << (row.debug ? row.debug : "unset");
    EXPECT_EQ(env.frameDebug, row.commentary);
    EXPECT_TRUE(env.standardError) << "warnings and errors always reach the terminal";
  }
  if (saved)
    setenv("CORVANE_DEBUG", saved->c_str(), 1);
  else
    unsetenv("CORVANE_DEBUG");
}

}  // namespace
