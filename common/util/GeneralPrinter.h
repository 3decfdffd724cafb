#pragma once

#include <atomic>
#include <string>
#include <string_view>

#include "UtilNamespace.h"

namespace CORVANE_UTIL_NAMESPACE {

// A switchable line printer to standard output: "<prefix> <message>". Never instantiated; a
// derived printer hides `prefix()` and `print()` to put its own prefix in front.
class GeneralPrinter {
 public:
  GeneralPrinter() = delete;

  static std::atomic<bool> enabled;

  static std::string_view prefix() { return ""; }
  static void print(const std::string& message) { write(prefix(), message); }

 protected:
  static void write(std::string_view prefix, const std::string& message);
};

}  // namespace CORVANE_UTIL_NAMESPACE
