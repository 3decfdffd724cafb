#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "AppExecutionMode.h"
#include "UtilNamespace.h"

namespace CORVANE_UTIL_NAMESPACE {

// A processor architecture, named by its raw-value text ("x86_64", "arm64", ...).
class CpuArchitecture {
 public:
  enum Value { ppc, ppcG3, ppcG4, ppc64, ppcG5, intel32, intel64, arm, arm64 };

  constexpr CpuArchitecture(Value value) : value_(value) {}
  constexpr operator Value() const { return value_; }
  std::string_view rawValue() const;
  static std::optional<CpuArchitecture> fromRawValue(std::string_view raw);
  static const std::array<CpuArchitecture, 9>& allCases();

  bool isPPC() const { return rawValue().starts_with("ppc"); }
  bool isPPC64() const { return value_ == ppc64 || value_ == ppcG5; }
  bool isPPC32() const { return isPPC() && !isPPC64(); }
  bool isIntel() const { return value_ == intel32 || value_ == intel64; }
  bool isArm() const { return rawValue().starts_with("arm"); }
  bool isAppleSilicon() const { return value_ == arm64; }

  // The architecture the process runs as; found once and kept (an undetected one is looked up
  // again on the next call).
  static std::optional<CpuArchitecture> current();
  static std::optional<std::string> currentRaw();
  // The machine's architecture: the process's own, unless it runs translated.
  static std::optional<CpuArchitecture> actualCurrent();
  static std::optional<CpuArchitecture> machineCurrent() { return actualCurrent(); }
  // The architectures the running executable holds code for.
  static std::vector<CpuArchitecture> currentExecutableArchitectures();

  // Processor type numbers, as the decision table reads them.
  static constexpr int32_t cpuTypeX86 = 7;
  static constexpr int32_t cpuTypeX86_64 = 0x1000007;
  static constexpr int32_t cpuTypeArm = 12;
  static constexpr int32_t cpuTypeArm64 = 0x100000C;
  static constexpr int32_t cpuTypePowerPC = 18;
  static constexpr int32_t cpuTypePowerPC64 = 0x1000012;

  // The decision table over type, subtype and family; `cpu64bitCapable` is asked only where the
  // table needs it.
  static std::optional<CpuArchitecture> fromCpuType(
      int32_t type, int32_t subtype, uint32_t family,
      const std::function<std::optional<int64_t>()>& cpu64bitCapable);
  // The type number of an ELF e_machine, or of a kernel machine name; 0 when there is none.
  static int32_t cpuTypeOfElfMachine(uint16_t machine);
  static int32_t cpuTypeOfMachineName(std::string_view machine);
  // The architectures of a list of executable type numbers, in the mapping's order.
  static std::vector<CpuArchitecture> fromExecutableCpuTypes(const std::vector<int32_t>& types);
  // What a translated process's architecture stands for on the machine.
  static CpuArchitecture machineArchitecture(CpuArchitecture process, AppExecutionMode mode);

 private:
  Value value_;
};

}  // namespace CORVANE_UTIL_NAMESPACE

template <>
struct std::hash<CORVANE_UTIL_NAMESPACE::CpuArchitecture> {
  size_t operator()(CORVANE_UTIL_NAMESPACE::CpuArchitecture a) const noexcept {
    return std::hash<std::string_view>()(a.rawValue());
  }
};
