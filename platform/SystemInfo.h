#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// What the machine and the kernel tell about themselves: the processors (/proc/cpuinfo), the
// processor time counters (/proc/stat), the kernel (uname), the hardware model (DMI, or the
// device tree on boards without one), the Wi-Fi interface's hardware address, the memory size and
// the running executable's ELF header. The parsers are pure functions over the files' text, so
// they are tested on files taken from other machines.
class SystemInfo {
 public:
  struct Cpu {
    std::string modelName;  // the processor's brand text
    std::string vendor;     // "GenuineIntel", "AuthenticAMD", "ARM", ...
    int logicalProcessors = 0;
    int physicalCores = 0;
    int packages = 0;
    std::optional<int> stepping;  // x86 only
    std::string featureText;      // the flags (x86) or Features (Arm) line as written
    std::vector<std::string> features;
  };

  // Processor time of all processors together since boot, in clock ticks, as the kernel's 64-bit
  // counters. Guest time is already inside user and nice, so it is not kept apart.
  struct CpuTimes {
    uint64_t user = 0, nice = 0, system = 0, idle = 0;
    uint64_t iowait = 0, irq = 0, softirq = 0, steal = 0;
    uint64_t busy() const { return user + nice + system + irq + softirq + steal; }
    uint64_t idleAll() const { return idle + iowait; }
    uint64_t total() const { return busy() + idleAll(); }
    bool operator==(const CpuTimes&) const = default;
  };

  struct Kernel {
    std::string sysname, release, version, machine;
  };

  // The fields of an ELF header that tell the instruction set.
  struct ExecutableHeader {
    uint16_t machine = 0;  // e_machine (EM_X86_64, EM_AARCH64, ...)
    bool is64Bit = false;
    bool littleEndian = true;
  };

  // `root` is where /proc and /sys are found; tests point it at a folder of their own.
  explicit SystemInfo(std::string root = "/");
  static const SystemInfo& shared();

  std::optional<Cpu> cpu() const;
  std::optional<CpuTimes> cpuTimes() const;
  // The machine name the kernel was built for. /proc/sys/kernel/arch first: user-mode emulators
  // answer uname(2) with the emulated machine but pass that file through unchanged.
  std::string kernelMachine() const;
  std::optional<std::string> hardwareModel() const;
  // "aa:bb:cc:dd:ee:ff" of the first wireless interface (by name) with a non-zero address.
  std::optional<std::string> wifiHardwareAddress() const;
  std::optional<ExecutableHeader> executableHeader() const;

  static std::optional<Kernel> kernel();
  // "Linux " and the first three numbers of a kernel release, missing ones as 0 ("Linux 6.1.0"),
  // in the form other systems report as "macOS 14.2.1".
  static std::string osVersionText(std::string_view release);
  // The same for the running kernel.
  static std::string osVersionText();
  static std::optional<uint64_t> physicalMemory();
  static int onlineProcessors();

  static Cpu parseCpuInfo(std::string_view text);
  static std::optional<CpuTimes> parseStat(std::string_view text);
  static std::optional<ExecutableHeader> parseElfHeader(std::string_view bytes);
  // Field by field `later - earlier`. A counter that went back (iowait may, on tickless kernels)
  // counts as no time rather than as a huge one.
  static CpuTimes elapsed(const CpuTimes& earlier, const CpuTimes& later);
  // The name of an Arm core from the implementer and part numbers of /proc/cpuinfo, or empty.
  static std::string armCoreName(unsigned implementer, unsigned part);

 private:
  std::string path(std::string_view relative) const;

  std::string root_;
};

}  // namespace platform
