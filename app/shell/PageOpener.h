#pragma once

#include <functional>
#include <string>

namespace platform {
class Queue;
class Workspace;
}  // namespace platform

namespace corvane {

// Opens a web page the user asked for (a menu item, a button) in the browser, and tells the
// user when nothing opened it, with the address and why: the opener could not start, or it
// ended without a program for the address (a desktop with no browser set). Both the line and
// the alert come on the main queue.
class PageOpener {
 public:
  struct Environment {
    platform::Workspace* workspace = nullptr;
    platform::Queue* main = nullptr;
    std::function<void(const std::string& line)> logError;
    std::function<void(const std::string& message)> alert;  // none: the line only
  };

  // Call on the main thread. True when the opener started (its failure may still come).
  static bool open(const Environment& env, const std::string& url);
  // The day log's line and the alert's text.
  static std::string failureLine(const std::string& url, const std::string& why);
  static std::string failureMessage(const std::string& url, const std::string& why);
  // Why nothing opened an address that the opener did not start for.
  static constexpr const char* kNotStarted = "xdg-open could not be started";
};

}  // namespace corvane
