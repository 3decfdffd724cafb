#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace platform {

// A settings file the program cannot use is moved aside, never destroyed, before a new one takes
// its place. Each damaged copy keeps a name of its own, "<file>.unreadable-<yyyyMMdd-HHmmss>"
// (the local time it was kept; "-2", "-3" after it when several are kept within one second), so
// a second damaged start does not replace the first copy. Only the newest kMaxCopies are kept:
// a file damaged at every start must not fill the folder. The copies are ordered by their
// modification times (then their names), and each new copy is given a time after every other
// copy's, so a clock put back never makes the copy just kept the oldest.
class KeptCopy {
 public:
  static constexpr size_t kMaxCopies = 5;

  struct Result {
    bool kept = false;
    std::string path;                 // the copy's name, when kept
    std::string error;                // why it could not be moved aside, when not
    std::vector<std::string> pruned;  // older copies removed to stay within kMaxCopies
  };

  // Moves `path` aside under a name no other copy has.
  static Result keepAside(const std::string& path, std::chrono::system_clock::time_point now);
  // The kept copies of `path`, oldest first (in the order they were kept).
  static std::vector<std::string> copiesOf(const std::string& path);
};

}  // namespace platform
