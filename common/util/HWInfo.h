#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "SystemInfo.h"
#include "UtilNamespace.h"

namespace CORVANE_UTIL_NAMESPACE {

// Hardware facts of the machine, read by the system-control names the program has always used
// ("hw.memsize", "machdep.cpu.brand_string", ...). On Linux the values come from /proc/cpuinfo,
// uname and sysconf; a name without a value here reads as none, as an unknown name would.
class HWInfo {
 public:
  HWInfo() = delete;

  // What the readers answer from; `system()` reads it afresh.
  struct Facts {
    std::optional<platform::SystemInfo::Cpu> cpu;
    std::optional<uint64_t> memorySize;
    std::string kernelMachine;
    static Facts system();
  };

  // Integer by name, or none.
  static std::optional<int64_t> sysctlUInt64(const std::string& name);
  // Text by name into a buffer of `bufferSize` bytes: none when the value and its terminating
  // zero byte do not fit, or when it is not valid UTF-8.
  static std::optional<std::string> sysctlString(const std::string& name, size_t bufferSize);
  static std::optional<int64_t> hwUInt64(const std::string& suffix);
  static std::optional<std::string> hwString(const std::string& suffix, size_t bufferSize);
  static std::optional<int64_t> cpuUInt64(const std::string& suffix);
  static std::optional<std::string> cpuString(const std::string& suffix, size_t bufferSize);

  static bool cpu64bitCapable();
  static std::optional<int64_t> packages();
  static std::optional<int64_t> memsize();

  // The processor's readers.
  class CPU {
   public:
    CPU() = delete;
    static std::optional<int64_t> threadCount();
    static std::optional<int64_t> coreCount();
    static std::optional<int64_t> coresPerPackage();
    static std::optional<int64_t> stepping();
    static std::optional<std::string> brandString();
    static std::optional<std::string> features();
    static std::vector<std::string> featureList();
  };

  // The readers over given facts.
  static std::optional<int64_t> integerValue(const Facts& facts, const std::string& name);
  static std::optional<std::string> textValue(const Facts& facts, const std::string& name,
                                              size_t bufferSize);
  static std::vector<std::string> splitFeatures(const std::string& text);

  // Linux flag lines run past a thousand characters, far beyond the buffer the program's feature
  // text once had room for; the feature readers take one that holds them.
  static constexpr size_t featureBufferSize = 8192;
  static constexpr size_t brandBufferSize = 256;
};

}  // namespace CORVANE_UTIL_NAMESPACE
