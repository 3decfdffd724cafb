#include <elf.h>
#include <gtest/gtest.h>

#include <unordered_set>

#include "util/CpuArchitecture.h"
#include "util/CpuDetection.h"
#include "util/Printer.h"

using corvane::AppExecutionMode;
using corvane::CpuArchitecture;
using corvane::CpuDetection;
using corvane::GeneralPrinter;
using corvane::Printer;
using Header = platform::SystemInfo::ExecutableHeader;

namespace {

std::optional<int64_t> capable() { return 1; }
std::optional<int64_t> notCapable() { return 0; }
std::optional<int64_t> unreadable() { return std::nullopt; }

std::optional<CpuArchitecture> table(int32_t type, int32_t sub = 0, uint32_t fam = 0,
                                     std::optional<int64_t> (*cap)() = unreadable) {
  return CpuArchitecture::fromCpuType(type, sub, fam, cap);
}

// A system whose answers the test sets, counting how often it is asked.
struct FakeSystem {
  std::optional<uint16_t> elfMachine = EM_X86_64;
  std::string kernelMachine = "x86_64";
  int headerReads = 0;
  CpuDetection::Source source() {
    CpuDetection::Source s;
    s.executableHeader = [this]() -> std::optional<Header> {
      ++headerReads;
      if (!elfMachine) return std::nullopt;
      return Header{*elfMachine, true, true};
    };
    s.kernelMachine = [this] { return kernelMachine; };
    s.cpu64bitCapable = [] { return std::optional<int64_t>(1); };
    return s;
  }
};

class CpuDetectionTest : public ::testing::Test {
 protected:
  void TearDown() override { GeneralPrinter::enabled = true; }
};

}  // namespace

TEST(CpuArchitectureTable, EveryTypeRow) {
  EXPECT_EQ(table(7, 3), CpuArchitecture::intel64);
  EXPECT_EQ(table(7, 1), CpuArchitecture::intel64);
  EXPECT_EQ(table(7, 4, 0, capable), CpuArchitecture::intel64);
  EXPECT_EQ(table(7, 4, 0, notCapable), CpuArchitecture::intel32);
  EXPECT_EQ(table(7, 4, 0, unreadable), CpuArchitecture::intel32);
  EXPECT_EQ(table(0x1000007), CpuArchitecture::intel64);
  EXPECT_EQ(table(12), CpuArchitecture::arm);
  EXPECT_EQ(table(0x100000C), CpuArchitecture::arm64);
  EXPECT_EQ(table(18, 9), CpuArchitecture::ppcG3);
  EXPECT_EQ(table(18, 0, 0x1), CpuArchitecture::ppcG3);  // family bit of the G3 mask
  EXPECT_EQ(table(18, 2), CpuArchitecture::ppcG4);       // 2 & 9 == 0, 2 & 0xB != 0
  EXPECT_EQ(table(18, 0, 0x2), CpuArchitecture::ppcG4);  // 0x2 only in the G4 mask
  EXPECT_EQ(table(18, 0x20), CpuArchitecture::ppcG5);
  EXPECT_EQ(table(18, 0, 0x800), CpuArchitecture::ppcG5);  // only in the G5 mask
  EXPECT_EQ(table(18), CpuArchitecture::ppc);
  EXPECT_EQ(table(0x1000012, 0x4), CpuArchitecture::ppcG5);
  EXPECT_EQ(table(0x1000012), CpuArchitecture::ppc64);
  EXPECT_FALSE(table(0));
  EXPECT_FALSE(table(0x1000099));
}

TEST(CpuArchitectureTable, ElfMachinesAndKernelNamesMapToTypeNumbers) {
  EXPECT_EQ(CpuArchitecture::cpuTypeOfElfMachine(EM_X86_64), 0x1000007);
  EXPECT_EQ(CpuArchitecture::cpuTypeOfElfMachine(EM_386), 7);
  EXPECT_EQ(CpuArchitecture::cpuTypeOfElfMachine(EM_AARCH64), 0x100000C);
  EXPECT_EQ(CpuArchitecture::cpuTypeOfElfMachine(EM_ARM), 12);
  EXPECT_EQ(CpuArchitecture::cpuTypeOfElfMachine(EM_PPC), 18);
  EXPECT_EQ(CpuArchitecture::cpuTypeOfElfMachine(EM_PPC64), 0x1000012);
  EXPECT_EQ(CpuArchitecture::cpuTypeOfElfMachine(EM_RISCV), 0);
  EXPECT_EQ(CpuArchitecture::cpuTypeOfMachineName("i686"), 7);
  EXPECT_EQ(CpuArchitecture::cpuTypeOfMachineName("armv7l"), 12);
  EXPECT_EQ(CpuArchitecture::cpuTypeOfMachineName("aarch64"), 0x100000C);
  EXPECT_EQ(CpuArchitecture::cpuTypeOfMachineName("ppc64le"), 0x1000012);
  EXPECT_EQ(CpuArchitecture::cpuTypeOfMachineName("riscv64"), 0);

  EXPECT_EQ(CpuArchitecture::fromExecutableCpuTypes({0x100000C, 0x1000007, 99}),
            (std::vector<CpuArchitecture>{CpuArchitecture::intel64, CpuArchitecture::arm64}));
}

TEST(CpuArchitectureTable, RawValuesPredicatesAndTranslation) {
  EXPECT_EQ(CpuArchitecture::fromRawValue("x86_64"), CpuArchitecture::intel64);
  EXPECT_FALSE(CpuArchitecture::fromRawValue("X86_64"));
  EXPECT_FALSE(CpuArchitecture::fromRawValue(""));
  std::unordered_set<CpuArchitecture> seen;
  for (auto a : CpuArchitecture::allCases()) {
    EXPECT_EQ(CpuArchitecture::fromRawValue(a.rawValue()), a);
    EXPECT_EQ(a.isPPC32(), a == CpuArchitecture::ppc || a == CpuArchitecture::ppcG3 ||
                               a == CpuArchitecture::ppcG4);
    seen.insert(a);
  }
  EXPECT_EQ(seen.size(), 9u);

  using M = AppExecutionMode;
  auto onMachine = [](CpuArchitecture a, M m) {
    return CpuArchitecture::machineArchitecture(a, m);
  };
  EXPECT_EQ(onMachine(CpuArchitecture::intel64, M::emulated), CpuArchitecture::arm64);
  EXPECT_EQ(onMachine(CpuArchitecture::ppcG4, M::emulated), CpuArchitecture::intel32);
  EXPECT_EQ(onMachine(CpuArchitecture::ppcG5, M::emulated), CpuArchitecture::intel64);
  EXPECT_EQ(onMachine(CpuArchitecture::arm64, M::emulated), CpuArchitecture::arm64);
  EXPECT_EQ(onMachine(CpuArchitecture::intel64, M::native), CpuArchitecture::intel64);
}

TEST(AppExecutionModeDecision, EmulatedOnlyAcrossInstructionSetFamilies) {
  using M = AppExecutionMode;
  EXPECT_EQ(M::decide("x86_64", EM_X86_64), M::native);
  EXPECT_EQ(M::decide("x86_64", EM_386), M::native);  // 32-bit compat, run by the kernel
  EXPECT_EQ(M::decide("aarch64", EM_ARM), M::native);
  EXPECT_EQ(M::decide("i686", EM_386), M::native);
  EXPECT_EQ(M::decide("aarch64", EM_X86_64), M::emulated);  // an x86-64 translator on Arm
  EXPECT_EQ(M::decide("x86_64", EM_AARCH64), M::emulated);  // qemu-user
  EXPECT_EQ(M::decide("ppc64le", EM_X86_64), M::emulated);
  EXPECT_EQ(M::decide("riscv64", EM_RISCV), M::native);
  EXPECT_EQ(M::decide("", EM_X86_64), M::native);  // no evidence of translation
  EXPECT_EQ(M::decide("x86_64", 0xBEEF), M::native);
  EXPECT_EQ(M::decide("x86_64", std::nullopt), M::unkown);  // executable unreadable

  EXPECT_EQ(M::fromRawValue(-1), M::unkown);
  EXPECT_EQ(M::fromRawValue(1), M::emulated);
  EXPECT_FALSE(M::fromRawValue(2));
  EXPECT_EQ(M::allCases()[0].rawValue(), -1);
  EXPECT_EQ(M(M::unkown).text(), "Unknown");
}

TEST_F(CpuDetectionTest, ModeIsFoundOncePrintedOnceAndKept) {
  FakeSystem system;
  system.kernelMachine = "aarch64";
  CpuDetection detection(system.source());
  testing::internal::CaptureStdout();
  EXPECT_EQ(detection.executionMode(), AppExecutionMode::emulated);
  system.kernelMachine = "x86_64";
  EXPECT_EQ(detection.executionMode(), AppExecutionMode::emulated);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "[SwiftCPUDetect] Detected Execution mode is: Emulated\n");
}

TEST_F(CpuDetectionTest, TranslatedX86ProcessOnArmMachine) {
  FakeSystem system;
  system.kernelMachine = "aarch64";
  CpuDetection detection(system.source());
  testing::internal::CaptureStdout();
  EXPECT_EQ(detection.architecture(), CpuArchitecture::intel64);
  EXPECT_EQ(detection.machineArchitecture(), CpuArchitecture::arm64);
  EXPECT_EQ(detection.architectureRaw(), "x86_64");
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "[SwiftCPUDetect] Detected CPU type number: 16777223\n"
            "[SwiftCPUDetect] Detected CPU subtype number: 0\n"
            "[SwiftCPUDetect] Detected CPU family number: 0\n"
            "[SwiftCPUDetect] Detected cpu architecture of the current process is: x86_64\n"
            "[SwiftCPUDetect] Detected Execution mode is: Emulated\n"
            "[SwiftCPUDetect] The actual cpu architecture of the current machine is: arm64\n"
            "[SwiftCPUDetect] Detected raw arch is: x86_64\n");
}

TEST_F(CpuDetectionTest, UndetectedArchitectureIsLookedUpAgain) {
  FakeSystem system;
  system.elfMachine = EM_RISCV;
  CpuDetection detection(system.source());
  testing::internal::CaptureStdout();
  EXPECT_FALSE(detection.architecture());
  EXPECT_FALSE(detection.machineArchitecture());
  EXPECT_FALSE(detection.architectureRaw());
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(system.headerReads, 3);
  EXPECT_NE(out.find("is: [Arch not detected]\n"), std::string::npos);
  EXPECT_NE(out.find("Detected raw arch is: [No arch detected]\n"), std::string::npos);
  EXPECT_EQ(out.find("actual cpu architecture"), std::string::npos);

  system.elfMachine = EM_AARCH64;
  EXPECT_EQ(detection.architecture(), CpuArchitecture::arm64);
  EXPECT_EQ(detection.architecture(), CpuArchitecture::arm64);
  EXPECT_EQ(system.headerReads, 4);
}

TEST_F(CpuDetectionTest, ExecutableArchitecturesAndTheEmptyListAreCached) {
  FakeSystem system;
  system.elfMachine = EM_AARCH64;
  CpuDetection detection(system.source());
  testing::internal::CaptureStdout();
  EXPECT_EQ(detection.executableArchitectures(),
            std::vector<CpuArchitecture>{CpuArchitecture::arm64});
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "[SwiftCPUDetect] Listing cpu architectures supported by the current bundle/app: \n"
            "[SwiftCPUDetect]     arm64\n");

  FakeSystem unreadable;
  unreadable.elfMachine.reset();
  CpuDetection none(unreadable.source());
  testing::internal::CaptureStdout();
  EXPECT_TRUE(none.executableArchitectures().empty());
  unreadable.elfMachine = EM_X86_64;
  EXPECT_TRUE(none.executableArchitectures().empty());
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "[SwiftCPUDetect] Support for the executable's arch feature is usable only on bundle "
            "types! \n    An empry list will be returned\n");
  EXPECT_EQ(none.executionMode(), AppExecutionMode::native);  // the mode is its own finding
}

TEST_F(CpuDetectionTest, SwitchedOffPrinterWritesNothingAndChangesNoResult) {
  FakeSystem system;
  CpuDetection quiet(system.source());
  GeneralPrinter::enabled = false;
  testing::internal::CaptureStdout();
  EXPECT_EQ(quiet.architecture(), CpuArchitecture::intel64);
  EXPECT_EQ(quiet.executionMode(), AppExecutionMode::native);
  Printer::print("hidden");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  GeneralPrinter::enabled = true;
  testing::internal::CaptureStdout();
  GeneralPrinter::print("plain");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), " plain\n");
}

TEST_F(CpuDetectionTest, ThisProcessRunsNatively) {
  GeneralPrinter::enabled = false;
  EXPECT_EQ(AppExecutionMode::current(), AppExecutionMode::native);
  auto a = CpuArchitecture::current();
#if defined(__x86_64__)
  EXPECT_EQ(a, CpuArchitecture::intel64);
#elif defined(__aarch64__)
  EXPECT_EQ(a, CpuArchitecture::arm64);
#endif
  EXPECT_EQ(CpuArchitecture::machineCurrent(), a);
  ASSERT_TRUE(a);
  EXPECT_EQ(CpuArchitecture::currentExecutableArchitectures(), std::vector<CpuArchitecture>{*a});
}
