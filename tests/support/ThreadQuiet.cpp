#include "ThreadQuiet.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace testsupport {

namespace {

// The scheduler state of one thread from /proc: 'R' runnable, 'S'/'D' blocked, and so on.
char threadState(const std::filesystem::path& statFile) {
  std::ifstream in(statFile);
  std::string line;
  if (!std::getline(in, line)) return '?';
  // The name in parentheses may hold spaces or ')': the state follows the last ')'.
  auto close = line.rfind(')');
  if (close == std::string::npos || close + 2 >= line.size()) return '?';
  return line[close + 2];
}

bool anyOtherThreadRunnable() {
  const std::string self = std::to_string(static_cast<long>(syscall(SYS_gettid)));
  std::error_code ec;
  for (std::filesystem::directory_iterator it("/proc/self/task", ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    if (it->path().filename() == self) continue;
    if (threadState(it->path() / "stat") == 'R') return true;
  }
  return false;
}

}  // namespace

bool waitForOtherThreadsToBlock(std::chrono::milliseconds bound) {
  auto end = std::chrono::steady_clock::now() + bound;
  while (anyOtherThreadRunnable()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::yield();
  }
  return true;
}

}  // namespace testsupport
