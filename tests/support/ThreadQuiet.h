#pragma once

#include <chrono>

namespace testsupport {

// Waits until every other thread of this process is blocked (not runnable), so that a test
// driving a manual clock moves time on only after the workers have caught up with the last
// step. On a loaded machine a worker woken by a timer can otherwise stay unscheduled while the
// test advances the clock many times over, and a watchdog fires that never would in real time.
// Returns false when the bound passed with some thread still runnable.
bool waitForOtherThreadsToBlock(std::chrono::milliseconds bound = std::chrono::seconds(5));

}  // namespace testsupport
