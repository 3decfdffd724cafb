#include "HWInfo.h"

#include <algorithm>

namespace CORVANE_UTIL_NAMESPACE {

namespace {

// The byte structure of UTF-8: lead bytes and the continuation bytes they announce.
bool isValidUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    auto c = static_cast<unsigned char>(s[i]);
    size_t length = c < 0x80                   ? 1
                    : (c >= 0xC2 && c <= 0xDF) ? 2
                    : (c & 0xF0) == 0xE0       ? 3
                    : (c >= 0xF0 && c <= 0xF4) ? 4
                                               : 0;
    if (length == 0 || i + length > s.size()) return false;
    for (size_t k = 1; k < length; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += length;
  }
  return true;
}

bool is64BitMachine(const std::string& m) {
  return m == "x86_64" || m.starts_with("aarch64") || m.starts_with("ppc64") || m == "riscv64" ||
         m == "s390x" || m == "mips64" || m == "loongarch64" || m == "sparc64";
}

}  // namespace

HWInfo::Facts HWInfo::Facts::system() {
  const auto& info = platform::SystemInfo::shared();
  return Facts{info.cpu(), platform::SystemInfo::physicalMemory(), info.kernelMachine()};
}

std::optional<int64_t> HWInfo::integerValue(const Facts& facts, const std::string& name) {
  if (name == "hw.memsize") {
    if (!facts.memorySize) return std::nullopt;
    return static_cast<int64_t>(*facts.memorySize);
  }
  if (name == "hw.cpu64bit_capable") {
    // An x86 processor's long-mode flag tells it even under a 32-bit kernel; elsewhere the
    // kernel's word size does.
    if (facts.cpu) {
      const auto& f = facts.cpu->features;
      if (std::find(f.begin(), f.end(), "lm") != f.end()) return 1;
    }
    return is64BitMachine(facts.kernelMachine) ? 1 : 0;
  }
  if (!facts.cpu) return std::nullopt;
  const auto& cpu = *facts.cpu;
  if (name == "hw.packages") return cpu.packages;
  if (name == "machdep.cpu.thread_count") return cpu.logicalProcessors;
  if (name == "machdep.cpu.core_count") return cpu.physicalCores;
  if (name == "machdep.cpu.cores_per_package")
    return cpu.packages > 0 ? std::optional<int64_t>(cpu.physicalCores / cpu.packages)
                            : std::nullopt;
  if (name == "machdep.cpu.stepping") {
    if (!cpu.stepping) return std::nullopt;
    return *cpu.stepping;
  }
  return std::nullopt;
}

std::optional<std::string> HWInfo::textValue(const Facts& facts, const std::string& name,
                                             size_t bufferSize) {
  if (!facts.cpu) return std::nullopt;
  std::string value;
  if (name == "machdep.cpu.brand_string") {
    value = facts.cpu->modelName;
  } else if (name == "machdep.cpu.features") {
    value = facts.cpu->featureText;
  } else {
    return std::nullopt;
  }
  // The value must fit with its terminating zero byte.
  if (value.size() + 1 > bufferSize) return std::nullopt;
  if (!isValidUtf8(value)) return std::nullopt;
  return value;
}

std::vector<std::string> HWInfo::splitFeatures(const std::string& text) {
  std::vector<std::string> out;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find(' ', pos);
    if (end == std::string::npos) end = text.size();
    if (end > pos) out.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  return out;
}

std::optional<int64_t> HWInfo::sysctlUInt64(const std::string& name) {
  return integerValue(Facts::system(), name);
}

std::optional<std::string> HWInfo::sysctlString(const std::string& name, size_t bufferSize) {
  return textValue(Facts::system(), name, bufferSize);
}

std::optional<int64_t> HWInfo::hwUInt64(const std::string& suffix) {
  return sysctlUInt64("hw." + suffix);
}

std::optional<std::string> HWInfo::hwString(const std::string& suffix, size_t bufferSize) {
  return sysctlString("hw." + suffix, bufferSize);
}

std::optional<int64_t> HWInfo::cpuUInt64(const std::string& suffix) {
  return sysctlUInt64("machdep.cpu." + suffix);
}

std::optional<std::string> HWInfo::cpuString(const std::string& suffix, size_t bufferSize) {
  return sysctlString("machdep.cpu." + suffix, bufferSize);
}

bool HWInfo::cpu64bitCapable() {
  auto v = hwUInt64("cpu64bit_capable");
  return v && *v == 1;
}

std::optional<int64_t> HWInfo::packages() { return hwUInt64("packages"); }
std::optional<int64_t> HWInfo::memsize() { return hwUInt64("memsize"); }

std::optional<int64_t> HWInfo::CPU::threadCount() { return cpuUInt64("thread_count"); }
std::optional<int64_t> HWInfo::CPU::coreCount() { return cpuUInt64("core_count"); }
std::optional<int64_t> HWInfo::CPU::coresPerPackage() { return cpuUInt64("cores_per_package"); }
std::optional<int64_t> HWInfo::CPU::stepping() { return cpuUInt64("stepping"); }

std::optional<std::string> HWInfo::CPU::brandString() {
  return cpuString("brand_string", brandBufferSize);
}

std::optional<std::string> HWInfo::CPU::features() {
  return cpuString("features", featureBufferSize);
}

std::vector<std::string> HWInfo::CPU::featureList() {
  auto text = features();
  return text ? splitFeatures(*text) : std::vector<std::string>{};
}

}  // namespace CORVANE_UTIL_NAMESPACE
