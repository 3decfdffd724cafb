#pragma once

#include <deque>

#include "dispatch/Queue.h"

namespace testsupport {

// A queue that runs its tasks only when the test says (runAll), or drops them (tasks.clear()):
// a render or main queue fed faster than it runs.
class HeldQueue : public platform::Queue {
 public:
  void async(platform::Task task) override { tasks.push_back(std::move(task)); }
  void sync(platform::Task task) override { task(); }
  void runAll() {
    while (!tasks.empty()) {
      auto task = std::move(tasks.front());
      tasks.pop_front();
      task();
    }
  }
  std::deque<platform::Task> tasks;
};

}  // namespace testsupport
