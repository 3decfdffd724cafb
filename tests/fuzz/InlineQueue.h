#pragma once

#include "dispatch/Queue.h"

// Runs every task at once on the caller's thread: requests and completions in order.
class InlineQueue : public platform::Queue {
 public:
  void async(platform::Task task) override { task(); }
  void sync(platform::Task task) override { task(); }
};
