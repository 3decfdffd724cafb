#include "CpuArchitecture.h"

#include <elf.h>

#include <utility>

#include "CpuDetection.h"

namespace CORVANE_UTIL_NAMESPACE {

namespace {

constexpr std::pair<CpuArchitecture::Value, std::string_view> rawValues[] = {
    {CpuArchitecture::ppc, "ppc"},        {CpuArchitecture::ppcG3, "ppc750"},
    {CpuArchitecture::ppcG4, "ppc7450"},  {CpuArchitecture::ppc64, "ppc64"},
    {CpuArchitecture::ppcG5, "ppc970"},   {CpuArchitecture::intel32, "i386"},
    {CpuArchitecture::intel64, "x86_64"}, {CpuArchitecture::arm, "arm"},
    {CpuArchitecture::arm64, "arm64"},
};

}  // namespace

std::string_view CpuArchitecture::rawValue() const {
  for (auto& [v, raw] : rawValues)
    if (v == value_) return raw;
  return {};
}

std::optional<CpuArchitecture> CpuArchitecture::fromRawValue(std::string_view raw) {
  for (auto& [v, text] : rawValues)
    if (text == raw) return CpuArchitecture(v);
  return std::nullopt;
}

const std::array<CpuArchitecture, 9>& CpuArchitecture::allCases() {
  static const std::array<CpuArchitecture, 9> cases{ppc,     ppcG3,   ppcG4, ppc64, ppcG5,
                                                    intel32, intel64, arm,   arm64};
  return cases;
}

std::optional<CpuArchitecture> CpuArchitecture::fromCpuType(
    int32_t type, int32_t subtype, uint32_t family,
    const std::function<std::optional<int64_t>()>& cpu64bitCapable) {
  auto sub = static_cast<uint32_t>(subtype);
  switch (type) {
    case cpuTypeX86: {
      if (sub & 3) return intel64;
      auto capable = cpu64bitCapable ? cpu64bitCapable() : std::nullopt;
      if (capable && *capable == 1) return intel64;
      return intel32;
    }
    case cpuTypeX86_64:
      return intel64;
    case cpuTypeArm:
      return arm;
    case cpuTypeArm64:
      return arm64;
    case cpuTypePowerPC:
      if ((sub & 9) || (family & 0xCEE41549u)) return ppcG3;
      if ((sub & 0xB) || (family & 0x77C184AEu)) return ppcG4;
      if ((sub & 0x64) || (family & 0xED76D8AAu)) return ppcG5;
      return ppc;
    case cpuTypePowerPC64:
      if ((sub & 0x64) || (family & 0xED76D8AAu)) return ppcG5;
      return ppc64;
    default:
      return std::nullopt;
  }
}

int32_t CpuArchitecture::cpuTypeOfElfMachine(uint16_t machine) {
  switch (machine) {
    case EM_X86_64:
      return cpuTypeX86_64;
    case EM_386:
      return cpuTypeX86;
    case EM_AARCH64:
      return cpuTypeArm64;
    case EM_ARM:
      return cpuTypeArm;
    case EM_PPC:
      return cpuTypePowerPC;
    case EM_PPC64:
      return cpuTypePowerPC64;
    default:
      return 0;
  }
}

int32_t CpuArchitecture::cpuTypeOfMachineName(std::string_view m) {
  if (m == "x86_64") return cpuTypeX86_64;
  if (m.size() == 4 && m[0] == 'i' && m.substr(2) == "86") return cpuTypeX86;
  if (m.starts_with("aarch64") || m == "arm64") return cpuTypeArm64;
  if (m.starts_with("arm")) return cpuTypeArm;
  if (m.starts_with("ppc64")) return cpuTypePowerPC64;
  if (m.starts_with("ppc")) return cpuTypePowerPC;
  return 0;
}

std::vector<CpuArchitecture> CpuArchitecture::fromExecutableCpuTypes(
    const std::vector<int32_t>& types) {
  static constexpr std::pair<int32_t, CpuArchitecture::Value> mapping[] = {
      {cpuTypeX86_64, intel64},  {cpuTypeX86, intel32}, {cpuTypePowerPC, ppc},
      {cpuTypePowerPC64, ppc64}, {cpuTypeArm, arm},     {cpuTypeArm64, arm64},
  };
  std::vector<CpuArchitecture> result;
  for (auto& [type, architecture] : mapping)
    for (int32_t t : types)
      if (t == type) {
        result.push_back(architecture);
        break;
      }
  return result;
}

CpuArchitecture CpuArchitecture::machineArchitecture(CpuArchitecture process,
                                                     AppExecutionMode mode) {
  if (mode != AppExecutionMode::emulated) return process;
  if (process == intel64) return arm64;
  if (process.isPPC32()) return intel32;
  if (process.isPPC64()) return intel64;
  return process;
}

std::optional<CpuArchitecture> CpuArchitecture::current() {
  return CpuDetection::shared().architecture();
}

std::optional<std::string> CpuArchitecture::currentRaw() {
  return CpuDetection::shared().architectureRaw();
}

std::optional<CpuArchitecture> CpuArchitecture::actualCurrent() {
  return CpuDetection::shared().machineArchitecture();
}

std::vector<CpuArchitecture> CpuArchitecture::currentExecutableArchitectures() {
  return CpuDetection::shared().executableArchitectures();
}

}  // namespace CORVANE_UTIL_NAMESPACE
