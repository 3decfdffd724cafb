#pragma once

#include <functional>
#include <optional>
#include <string>
#include <thread>

namespace platform {

// Starting a thread, as a result instead of an exception: the system may have no room for one
// more (no memory for its stack under a memory limit, a process limit reached), and then
// std::thread throws. Every worker, queue and pass of ours starts through here, so that a
// thread that cannot be had is a refusal its owner handles, never an uncaught exception.
class ThreadStart {
 public:
  // Starts `body` on a new thread held by `thread`; none when it started, else why not.
  static std::optional<std::string> start(std::thread& thread, std::function<void()> body);

  // What the program does when a thread it cannot go on without (a serial queue's) cannot be
  // started: told the queue's label and why. Set once at start-up; none: a line on standard
  // error, and the owner goes on without it.
  using CannotGoOn = std::function<void(const std::string& what, const std::string& why)>;
  static void setCannotGoOn(CannotGoOn handler);
  static void cannotGoOn(const std::string& what, const std::string& why);

  // The tests' seam: while set, every start asks it first; a reason given back refuses the start
  // as the system would.
  using Refuser = std::function<std::optional<std::string>()>;
  static void setRefuser(Refuser refuser);
};

}  // namespace platform
