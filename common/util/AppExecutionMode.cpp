#include "AppExecutionMode.h"

#include <elf.h>

#include "CpuDetection.h"

namespace CORVANE_UTIL_NAMESPACE {

namespace {

enum class IsaFamily { unknown, x86, arm, powerpc, riscv, s390, mips, loongarch, sparc };

IsaFamily familyOfElfMachine(uint16_t machine) {
  switch (machine) {
    case EM_386:
    case EM_X86_64:
      return IsaFamily::x86;
    case EM_ARM:
    case EM_AARCH64:
      return IsaFamily::arm;
    case EM_PPC:
    case EM_PPC64:
      return IsaFamily::powerpc;
    case EM_RISCV:
      return IsaFamily::riscv;
    case EM_S390:
      return IsaFamily::s390;
    case EM_MIPS:
      return IsaFamily::mips;
    case 258 /* EM_LOONGARCH */:
      return IsaFamily::loongarch;
    case EM_SPARC:
    case EM_SPARC32PLUS:
    case EM_SPARCV9:
      return IsaFamily::sparc;
    default:
      return IsaFamily::unknown;
  }
}

IsaFamily familyOfMachineName(std::string_view m) {
  if (m == "x86_64" || m == "amd64" || (m.size() == 4 && m[0] == 'i' && m.substr(2) == "86"))
    return IsaFamily::x86;
  if (m.starts_with("aarch64") || m.starts_with("arm")) return IsaFamily::arm;
  if (m.starts_with("ppc") || m.starts_with("powerpc")) return IsaFamily::powerpc;
  if (m.starts_with("riscv")) return IsaFamily::riscv;
  if (m.starts_with("s390")) return IsaFamily::s390;
  if (m.starts_with("mips")) return IsaFamily::mips;
  if (m.starts_with("loongarch")) return IsaFamily::loongarch;
  if (m.starts_with("sparc")) return IsaFamily::sparc;
  return IsaFamily::unknown;
}

}  // namespace

std::optional<AppExecutionMode> AppExecutionMode::fromRawValue(int32_t raw) {
  switch (raw) {
    case unkown:
      return AppExecutionMode(unkown);
    case native:
      return AppExecutionMode(native);
    case emulated:
      return AppExecutionMode(emulated);
    default:
      return std::nullopt;
  }
}

const std::array<AppExecutionMode, 3>& AppExecutionMode::allCases() {
  static const std::array<AppExecutionMode, 3> cases{unkown, native, emulated};
  return cases;
}

std::string_view AppExecutionMode::text() const {
  switch (value_) {
    case native:
      return "Native";
    case emulated:
      return "Emulated";
    default:
      return "Unknown";
  }
}

AppExecutionMode AppExecutionMode::current() { return CpuDetection::shared().executionMode(); }

// Linux has no "translated" flag. A user-mode emulator (qemu-user through binfmt_misc, a
// translator of x86-64 code on an Arm machine) runs a binary of one instruction-set family on a
// kernel of another, so the mode is `emulated` exactly when the executable's ELF family differs
// from the kernel's machine. Within one family the kernel runs the binary itself: a 32-bit x86
// binary on x86_64, or 32-bit Arm on aarch64, is native compat mode, not emulation. A family
// that cannot be told gives no evidence of translation: native.
AppExecutionMode AppExecutionMode::decide(std::string_view kernelMachine,
                                          std::optional<uint16_t> executableMachine) {
  if (!executableMachine) return unkown;
  IsaFamily binary = familyOfElfMachine(*executableMachine);
  IsaFamily machine = familyOfMachineName(kernelMachine);
  if (binary == IsaFamily::unknown || machine == IsaFamily::unknown) return native;
  return binary == machine ? native : emulated;
}

}  // namespace CORVANE_UTIL_NAMESPACE
