#include "Bundle.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace platform {

Bundle& Bundle::main() {
  static Bundle bundle;
  return bundle;
}

void Bundle::configure(std::map<std::string, std::string> info, std::string shareName) {
  info_ = std::move(info);
  shareName_ = std::move(shareName);
}

std::optional<std::string> Bundle::infoValue(const std::string& key) const {
  auto it = info_.find(key);
  if (it == info_.end()) return std::nullopt;
  return it->second;
}

std::string Bundle::executablePath() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  if (n <= 0) return {};
  buf[n] = 0;
  return buf;
}

std::string Bundle::resourcesPath() const {
  if (const char* dir = std::getenv("CORVANE_RESOURCES_DIR"); dir && *dir) return dir;
  std::filesystem::path exe(executablePath());
  return (exe.parent_path().parent_path() / "share" / shareName_).string();
}

std::optional<std::string> Bundle::pathForResource(const std::string& name) const {
  std::filesystem::path p = std::filesystem::path(resourcesPath()) / name;
  std::error_code ec;
  if (!std::filesystem::exists(p, ec)) return std::nullopt;
  return p.string();
}

}  // namespace platform
