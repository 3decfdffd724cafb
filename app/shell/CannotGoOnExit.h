#pragma once

#include <functional>
#include <string>

namespace corvane {

// The program's way out when it cannot go on: a thread it cannot do without (a serial queue's,
// the clock's) could not be started, or an exception reached the end of a thread. It says why
// in the day log and on the console, writes the settings, and ends with exit status 1 instead of
// an abort. Clips and work that cannot start are refused where they start; this is for the rest.
class CannotGoOnExit {
 public:
  // How the line, the save and the end are done: the program's own, or a test's.
  struct Environment {
    std::function<void(const std::string&)> log;
    std::function<void()> saveSettings;
    std::function<void(int)> exit;
    static Environment process();
  };

  // Makes `environment` the way out, for ThreadStart's refusals and for std::terminate.
  static void install(Environment environment = Environment::process());
  // What the way out says and does for a thread of `what` that cannot be started.
  static void threadCannotStart(const std::string& what, const std::string& why);
  // Called by std::terminate: the exception in flight, if any, is named.
  static void terminated();
};

}  // namespace corvane
