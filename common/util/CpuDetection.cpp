#include "CpuDetection.h"

#include "HWInfo.h"
#include "Printer.h"

namespace CORVANE_UTIL_NAMESPACE {

CpuDetection::Source CpuDetection::Source::system() {
  Source s;
  s.executableHeader = [] { return platform::SystemInfo::shared().executableHeader(); };
  s.kernelMachine = [] { return platform::SystemInfo::shared().kernelMachine(); };
  s.cpu64bitCapable = [] { return HWInfo::sysctlUInt64("hw.cpu64bit_capable"); };
  return s;
}

CpuDetection& CpuDetection::shared() {
  static CpuDetection detection(Source::system());
  return detection;
}

CpuDetection::CpuDetection(Source source) : source_(std::move(source)) {}

AppExecutionMode CpuDetection::executionMode() {
  {
    std::lock_guard lock(mutex_);
    if (mode_) return *mode_;
  }
  auto header = source_.executableHeader ? source_.executableHeader() : std::nullopt;
  std::string machine = source_.kernelMachine ? source_.kernelMachine() : std::string();
  AppExecutionMode mode = AppExecutionMode::decide(
      machine, header ? std::optional<uint16_t>(header->machine) : std::nullopt);
  {
    std::lock_guard lock(mutex_);
    mode_ = mode;
  }
  Printer::print("Detected Execution mode is: " + std::string(mode.text()));
  return mode;
}

std::optional<CpuArchitecture> CpuDetection::architecture() {
  {
    std::lock_guard lock(mutex_);
    if (architecture_) return architecture_;
  }
  // The type number comes from the running executable's ELF header, or from the kernel's
  // machine when the header cannot be read. Linux has no subtype or family numbers: both 0.
  auto header = source_.executableHeader ? source_.executableHeader() : std::nullopt;
  int32_t type = 0;
  if (header) type = CpuArchitecture::cpuTypeOfElfMachine(header->machine);
  if (!header && source_.kernelMachine)
    type = CpuArchitecture::cpuTypeOfMachineName(source_.kernelMachine());
  Printer::print("Detected CPU type number: " + std::to_string(type));
  int32_t subtype = 0;
  Printer::print("Detected CPU subtype number: " + std::to_string(subtype));
  uint32_t family = 0;
  Printer::print("Detected CPU family number: " + std::to_string(family));

  auto result = CpuArchitecture::fromCpuType(type, subtype, family, source_.cpu64bitCapable);
  Printer::print("Detected cpu architecture of the current process is: " +
                 (result ? std::string(result->rawValue()) : std::string("[Arch not detected]")));
  if (result) {
    std::lock_guard lock(mutex_);
    architecture_ = result;
  }
  return result;
}

std::optional<std::string> CpuDetection::architectureRaw() {
  auto a = architecture();
  Printer::print("Detected raw arch is: " +
                 (a ? std::string(a->rawValue()) : std::string("[No arch detected]")));
  if (!a) return std::nullopt;
  return std::string(a->rawValue());
}

std::optional<CpuArchitecture> CpuDetection::machineArchitecture() {
  auto a = architecture();
  if (!a) return std::nullopt;
  CpuArchitecture result = CpuArchitecture::machineArchitecture(*a, executionMode());
  Printer::print("The actual cpu architecture of the current machine is: " +
                 std::string(result.rawValue()));
  return result;
}

std::vector<CpuArchitecture> CpuDetection::executableArchitectures() {
  {
    std::lock_guard lock(mutex_);
    if (executableArchitectures_) return *executableArchitectures_;
  }
  // An ELF file holds code for one instruction set.
  std::vector<int32_t> types;
  auto header = source_.executableHeader ? source_.executableHeader() : std::nullopt;
  if (header) {
    int32_t type = CpuArchitecture::cpuTypeOfElfMachine(header->machine);
    if (type != 0) types.push_back(type);
  }
  if (!types.empty()) {
    Printer::print("Listing cpu architectures supported by the current bundle/app: ");
  } else {
    Printer::print(
        "Support for the executable's arch feature is usable only on bundle types! \n    An "
        "empry list will be returned");
  }
  std::vector<CpuArchitecture> result = CpuArchitecture::fromExecutableCpuTypes(types);
  for (auto a : result) Printer::print("    " + std::string(a.rawValue()));
  {
    std::lock_guard lock(mutex_);
    executableArchitectures_ = result;
  }
  return result;
}

}  // namespace CORVANE_UTIL_NAMESPACE
