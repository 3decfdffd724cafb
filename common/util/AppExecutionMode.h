#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "UtilNamespace.h"

namespace CORVANE_UTIL_NAMESPACE {

// Whether the process runs natively or translated by an emulator.
class AppExecutionMode {
 public:
  enum Value : int32_t { unkown = -1, native = 0, emulated = 1 };

  constexpr AppExecutionMode(Value value) : value_(value) {}
  constexpr operator Value() const { return value_; }
  constexpr int32_t rawValue() const { return value_; }
  static std::optional<AppExecutionMode> fromRawValue(int32_t raw);
  static const std::array<AppExecutionMode, 3>& allCases();
  // "Unknown", "Native", "Emulated": the words of the log line.
  std::string_view text() const;

  // The process's mode, found once and kept; the first finding is printed.
  static AppExecutionMode current();

  // The mode from the machine the kernel runs on and the instruction set (ELF e_machine) of the
  // running executable; no executable header is `unkown`.
  static AppExecutionMode decide(std::string_view kernelMachine,
                                 std::optional<uint16_t> executableMachine);

 private:
  Value value_;
};

}  // namespace CORVANE_UTIL_NAMESPACE

template <>
struct std::hash<CORVANE_UTIL_NAMESPACE::AppExecutionMode> {
  size_t operator()(CORVANE_UTIL_NAMESPACE::AppExecutionMode m) const noexcept {
    return std::hash<int32_t>()(m.rawValue());
  }
};
