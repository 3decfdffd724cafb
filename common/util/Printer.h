#pragma once

#include "GeneralPrinter.h"

namespace CORVANE_UTIL_NAMESPACE {

// The printer of the processor and execution-mode detection.
class Printer : public GeneralPrinter {
 public:
  static std::string_view prefix() { return "[SwiftCPUDetect]"; }
  static void print(const std::string& message) { write(prefix(), message); }
};

}  // namespace CORVANE_UTIL_NAMESPACE
