#pragma once

#include <functional>
#include <string>
#include <vector>

namespace platform {

// Starting other programs with an argument vector (never a shell string); argv[0] is looked up
// in PATH when it has no slash.
class Process {
 public:
  // Runs the program to its end; its exit status, or -1 when it could not be started or did
  // not exit normally.
  static int run(const std::vector<std::string>& argv);
  // Starts the program in a session of its own and does not wait for it; it is reaped in the
  // background. False when it could not be started.
  static bool spawnDetached(const std::vector<std::string>& argv);
  // The same, and `ended` gets the program's exit status (-1 when it did not exit normally) on
  // the thread that reaps it.
  static bool spawnDetached(const std::vector<std::string>& argv,
                            std::function<void(int status)> ended);
  // The program's path when PATH holds it (or when `name` is an executable path).
  static std::string findProgram(const std::string& name);
};

}  // namespace platform
