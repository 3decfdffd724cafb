#include "SystemInfo.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <utility>

namespace platform {

namespace {

std::string_view trim(std::string_view s) {
  const char* blanks = " \t\r\n";
  size_t b = s.find_first_not_of(blanks);
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(blanks);
  return s.substr(b, e - b + 1);
}

std::vector<std::string> splitBlanks(std::string_view s) {
  std::vector<std::string> out;
  std::istringstream in{std::string(s)};
  for (std::string word; in >> word;) out.push_back(word);
  return out;
}

template <typename T>
std::optional<T> parseNumber(std::string_view s, int base = 10) {
  s = trim(s);
  if (base == 16 && (s.starts_with("0x") || s.starts_with("0X"))) s.remove_prefix(2);
  T value{};
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, base);
  if (ec != std::errc() || end != s.data() + s.size() || s.empty()) return std::nullopt;
  return value;
}

// Files under /proc report no size, so they are read to their end, up to `limit` bytes.
std::optional<std::string> readFile(const std::string& path, size_t limit = 16 << 20) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text;
  char chunk[8192];
  while (text.size() < limit) {
    in.read(chunk, static_cast<std::streamsize>(std::min(sizeof(chunk), limit - text.size())));
    if (in.gcount() <= 0) break;
    text.append(chunk, static_cast<size_t>(in.gcount()));
  }
  if (in.bad()) return std::nullopt;
  return text;
}

// A sysfs or device-tree value: one line, or a NUL-terminated text.
std::optional<std::string> readValue(const std::string& path) {
  auto text = readFile(path, 4096);
  if (!text) return std::nullopt;
  std::string_view v(*text);
  v = v.substr(0, v.find('\0'));
  v = trim(v);
  if (v.empty()) return std::nullopt;
  return std::string(v);
}

// One "key : value" block per processor; blank lines separate the blocks.
using Block = std::vector<std::pair<std::string, std::string>>;

std::vector<Block> cpuInfoBlocks(std::string_view text) {
  std::vector<Block> blocks(1);
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (trim(line).empty()) {
      if (!blocks.back().empty()) blocks.emplace_back();
      continue;
    }
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    blocks.back().emplace_back(std::string(trim(line.substr(0, colon))),
                               std::string(trim(line.substr(colon + 1))));
  }
  if (blocks.back().empty()) blocks.pop_back();
  return blocks;
}

const std::string* field(const Block& block, std::string_view key) {
  for (auto& [k, v] : block)
    if (k == key) return &v;
  return nullptr;
}

std::string armVendorName(unsigned implementer) {
  switch (implementer) {
    case 0x41:
      return "ARM";
    case 0x42:
      return "Broadcom";
    case 0x43:
      return "Cavium";
    case 0x48:
      return "HiSilicon";
    case 0x4e:
      return "NVIDIA";
    case 0x51:
      return "Qualcomm";
    case 0x61:
      return "Apple";
    case 0xc0:
      return "Ampere";
    default:
      return {};
  }
}

}  // namespace

SystemInfo::SystemInfo(std::string root) : root_(std::move(root)) {}

const SystemInfo& SystemInfo::shared() {
  static const SystemInfo info;
  return info;
}

std::string SystemInfo::path(std::string_view relative) const {
  return (std::filesystem::path(root_) / relative).string();
}

std::string SystemInfo::armCoreName(unsigned implementer, unsigned part) {
  struct Entry {
    unsigned implementer, part;
    const char* name;
  };
  static constexpr Entry table[] = {
      {0x41, 0xd03, "Cortex-A53"},  {0x41, 0xd04, "Cortex-A35"},  {0x41, 0xd05, "Cortex-A55"},
      {0x41, 0xd07, "Cortex-A57"},  {0x41, 0xd08, "Cortex-A72"},  {0x41, 0xd09, "Cortex-A73"},
      {0x41, 0xd0a, "Cortex-A75"},  {0x41, 0xd0b, "Cortex-A76"},  {0x41, 0xd0c, "Neoverse-N1"},
      {0x41, 0xd0d, "Cortex-A77"},  {0x41, 0xd40, "Neoverse-V1"}, {0x41, 0xd41, "Cortex-A78"},
      {0x41, 0xd44, "Cortex-X1"},   {0x41, 0xd46, "Cortex-A510"}, {0x41, 0xd47, "Cortex-A710"},
      {0x41, 0xd48, "Cortex-X2"},   {0x41, 0xd49, "Neoverse-N2"}, {0x41, 0xd4f, "Neoverse-V2"},
      {0x41, 0xd80, "Cortex-A520"}, {0x41, 0xd81, "Cortex-A720"}, {0x41, 0xd82, "Cortex-X4"},
      {0xc0, 0xac3, "Ampere-1"},    {0xc0, 0xac4, "Ampere-1a"},
  };
  for (const auto& e : table)
    if (e.implementer == implementer && e.part == part) return e.name;
  return {};
}

SystemInfo::Cpu SystemInfo::parseCpuInfo(std::string_view text) {
  Cpu cpu;
  std::vector<Block> blocks = cpuInfoBlocks(text);
  std::vector<const Block*> processors;
  for (const auto& b : blocks)
    if (field(b, "processor") && parseNumber<int>(*field(b, "processor"))) processors.push_back(&b);
  cpu.logicalProcessors = static_cast<int>(processors.size());
  if (processors.empty()) return cpu;
  const Block& first = *processors.front();

  if (auto* v = field(first, "vendor_id")) cpu.vendor = *v;
  if (auto* v = field(first, "flags")) cpu.featureText = *v;
  if (auto* v = field(first, "Features")) cpu.featureText = *v;
  cpu.features = splitBlanks(cpu.featureText);
  if (auto* v = field(first, "stepping")) cpu.stepping = parseNumber<int>(*v);

  if (auto* v = field(first, "model name")) {
    cpu.modelName = *v;
  } else if (field(first, "CPU implementer")) {
    // Arm kernels name no model; the implementer and part numbers identify each core. Big and
    // little cores are listed once each, in the order they come.
    std::vector<std::string> names;
    for (const Block* b : processors) {
      auto* imp = field(*b, "CPU implementer");
      auto* part = field(*b, "CPU part");
      if (!imp || !part) continue;
      auto i = parseNumber<unsigned>(*imp, 16);
      auto p = parseNumber<unsigned>(*part, 16);
      if (!i || !p) continue;
      if (cpu.vendor.empty()) cpu.vendor = armVendorName(*i);
      std::string name = armCoreName(*i, *p);
      if (name.empty()) {
        std::string vendor = armVendorName(*i);
        name = (vendor.empty() ? "Arm" : vendor) + " part " + *part;
      }
      if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
    for (size_t k = 0; k < names.size(); ++k) cpu.modelName += (k ? " + " : "") + names[k];
  } else if (auto* v = field(first, "cpu model")) {
    cpu.modelName = *v;
  } else if (auto* v = field(first, "cpu")) {
    cpu.modelName = *v;
  }
  // 32-bit Arm kernels put the model in a "Processor" line before the first block.
  if (cpu.modelName.empty())
    for (const auto& b : blocks)
      if (auto* v = field(b, "Processor")) cpu.modelName = *v;

  // Cores and packages from the topology lines where every processor has them (x86); kernels
  // without them (Arm) list one core per processor.
  std::set<std::string> packages;
  std::set<std::pair<std::string, std::string>> cores;
  bool topology = true;
  for (const Block* b : processors) {
    auto* pkg = field(*b, "physical id");
    auto* core = field(*b, "core id");
    if (!pkg || !core) {
      topology = false;
      break;
    }
    packages.insert(*pkg);
    cores.emplace(*pkg, *core);
  }
  if (topology) {
    cpu.packages = static_cast<int>(packages.size());
    cpu.physicalCores = static_cast<int>(cores.size());
  } else {
    cpu.packages = 1;
    cpu.physicalCores = cpu.logicalProcessors;
  }
  return cpu;
}

std::optional<SystemInfo::CpuTimes> SystemInfo::parseStat(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.starts_with("cpu ")) continue;
    std::vector<std::string> words = splitBlanks(line.substr(4));
    // user nice system idle, then (since 2.6) iowait irq softirq, steal, guest, guest_nice.
    if (words.size() < 4) return std::nullopt;
    uint64_t v[8] = {};
    for (size_t k = 0; k < words.size() && k < 8; ++k) {
      auto n = parseNumber<uint64_t>(words[k]);
      if (!n) return std::nullopt;
      v[k] = *n;
    }
    return CpuTimes{v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]};
  }
  return std::nullopt;
}

SystemInfo::CpuTimes SystemInfo::elapsed(const CpuTimes& earlier, const CpuTimes& later) {
  auto d = [](uint64_t a, uint64_t b) { return b >= a ? b - a : 0; };
  return CpuTimes{d(earlier.user, later.user),       d(earlier.nice, later.nice),
                  d(earlier.system, later.system),   d(earlier.idle, later.idle),
                  d(earlier.iowait, later.iowait),   d(earlier.irq, later.irq),
                  d(earlier.softirq, later.softirq), d(earlier.steal, later.steal)};
}

std::optional<SystemInfo::ExecutableHeader> SystemInfo::parseElfHeader(std::string_view bytes) {
  // e_ident (16 bytes), e_type (2), e_machine (2) in the file's byte order.
  if (bytes.size() < 20 || bytes.substr(0, 4) != std::string_view("\x7f"
                                                                  "ELF",
                                                                  4))
    return std::nullopt;
  auto elfClass = static_cast<unsigned char>(bytes[4]);
  auto data = static_cast<unsigned char>(bytes[5]);
  if ((elfClass != 1 && elfClass != 2) || (data != 1 && data != 2)) return std::nullopt;
  ExecutableHeader header;
  header.is64Bit = elfClass == 2;
  header.littleEndian = data == 1;
  auto lo = static_cast<unsigned char>(bytes[header.littleEndian ? 18 : 19]);
  auto hi = static_cast<unsigned char>(bytes[header.littleEndian ? 19 : 18]);
  header.machine = static_cast<uint16_t>(lo | (hi << 8));
  return header;
}

std::optional<SystemInfo::Cpu> SystemInfo::cpu() const {
  auto text = readFile(path("proc/cpuinfo"));
  if (!text) return std::nullopt;
  Cpu cpu = parseCpuInfo(*text);
  if (cpu.logicalProcessors == 0) return std::nullopt;
  return cpu;
}

std::optional<SystemInfo::CpuTimes> SystemInfo::cpuTimes() const {
  auto text = readFile(path("proc/stat"));
  if (!text) return std::nullopt;
  return parseStat(*text);
}

std::string SystemInfo::osVersionText(std::string_view release) {
  std::string numbers;
  int parts = 0;
  for (size_t i = 0; i < release.size() && parts < 3;) {
    size_t start = i;
    while (i < release.size() && std::isdigit(static_cast<unsigned char>(release[i]))) ++i;
    if (i == start) break;
    numbers += std::string(parts ? "." : "") + std::string(release.substr(start, i - start));
    ++parts;
    if (i < release.size() && release[i] == '.')
      ++i;
    else
      break;
  }
  while (parts++ < 3) numbers += numbers.empty() ? "0" : ".0";
  return "Linux " + numbers;
}

std::string SystemInfo::osVersionText() {
  auto running = kernel();
  return osVersionText(running ? running->release : "");
}

std::optional<SystemInfo::Kernel> SystemInfo::kernel() {
  utsname u{};
  if (uname(&u) != 0) return std::nullopt;
  return Kernel{u.sysname, u.release, u.version, u.machine};
}

std::string SystemInfo::kernelMachine() const {
  if (auto arch = readValue(path("proc/sys/kernel/arch"))) return *arch;
  auto k = kernel();
  return k ? k->machine : std::string();
}

std::optional<std::string> SystemInfo::hardwareModel() const {
  // Firmware placeholders say nothing about the machine.
  auto meaningful = [](const std::optional<std::string>& v) {
    return v && *v != "To Be Filled By O.E.M." && *v != "System Product Name" &&
           *v != "Default string";
  };
  auto product = readValue(path("sys/devices/virtual/dmi/id/product_name"));
  if (meaningful(product)) {
    auto vendor = readValue(path("sys/devices/virtual/dmi/id/sys_vendor"));
    if (meaningful(vendor) && !product->starts_with(*vendor)) return *vendor + " " + *product;
    return product;
  }
  auto model = readValue(path("sys/firmware/devicetree/base/model"));
  if (model) return model;
  return std::nullopt;
}

std::optional<std::string> SystemInfo::wifiHardwareAddress() const {
  std::error_code ec;
  std::vector<std::filesystem::path> interfaces;
  for (auto it = std::filesystem::directory_iterator(path("sys/class/net"), ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
    interfaces.push_back(it->path());
  std::sort(interfaces.begin(), interfaces.end());
  for (const auto& dir : interfaces) {
    if (!std::filesystem::is_directory(dir / "wireless", ec)) continue;
    auto address = readValue((dir / "address").string());
    if (address && *address != "00:00:00:00:00:00") return address;
  }
  return std::nullopt;
}

std::optional<SystemInfo::ExecutableHeader> SystemInfo::executableHeader() const {
  auto bytes = readFile(path("proc/self/exe"), 64);
  if (!bytes) return std::nullopt;
  return parseElfHeader(*bytes);
}

std::optional<uint64_t> SystemInfo::physicalMemory() {
  long pages = sysconf(_SC_PHYS_PAGES);
  long pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return std::nullopt;
  return static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
}

int SystemInfo::onlineProcessors() {
  long n = sysconf(_SC_NPROCESSORS_ONLN);
  return n > 0 ? static_cast<int>(n) : 1;
}

}  // namespace platform
