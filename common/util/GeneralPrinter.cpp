#include "GeneralPrinter.h"

#include <cstdio>

namespace CORVANE_UTIL_NAMESPACE {

std::atomic<bool> GeneralPrinter::enabled{true};

void GeneralPrinter::write(std::string_view prefix, const std::string& message) {
  if (!enabled.load()) return;
  std::string line;
  line.reserve(prefix.size() + message.size() + 2);
  line.append(prefix).append(" ").append(message).append("\n");
  // One call per line, so lines from two threads never interleave.
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

}  // namespace CORVANE_UTIL_NAMESPACE
