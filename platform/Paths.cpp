#include "Paths.h"

#include <cstdlib>
#include <filesystem>

namespace platform {

namespace {
std::optional<std::string> env(const char* name) {
  const char* v = std::getenv(name);
  if (!v || !*v) return std::nullopt;
  return std::string(v);
}

std::optional<std::string> userRoot(const char* override, const char* xdg, const char* homeRelative) {
  if (auto v = env(override)) return v;
  if (auto v = env(xdg)) return v;
  if (auto home = env("HOME")) return *home + "/" + homeRelative;
  return std::nullopt;
}
}  // namespace

std::optional<std::string> Paths::caches() {
  return userRoot("CORVANE_CACHES_DIR", "XDG_CACHE_HOME", ".cache");
}

std::optional<std::string> Paths::config() {
  return userRoot("CORVANE_CONFIG_DIR", "XDG_CONFIG_HOME", ".config");
}

std::optional<std::string> Paths::data() {
  return userRoot("CORVANE_DATA_DIR", "XDG_DATA_HOME", ".local/share");
}

std::optional<std::string> Paths::documents() {
  return userRoot("CORVANE_DOCUMENTS_DIR", "XDG_DOCUMENTS_DIR", "Documents");
}

std::string Paths::localLibrary() { return env("CORVANE_LOCAL_LIBRARY_DIR").value_or("/var/lib"); }

std::string Paths::temporary() { return env("TMPDIR").value_or("/tmp"); }

bool Paths::makeFolders(const std::string& path) {
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  return std::filesystem::is_directory(path, ec);
}

std::string Paths::join(const std::string& a, const std::string& b) {
  if (a.empty()) return b;
  if (a.back() == '/') return a + b;
  return a + "/" + b;
}

}  // namespace platform
