#include "Paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

std::string Paths::runtime() {
  if (auto v = env("XDG_RUNTIME_DIR")) return *v;
  std::error_code ec;
  std::string session = "/run/user/" + std::to_string(getuid());
  if (std::filesystem::is_directory(session, ec)) return session;
  std::string own = join(temporary(), "corvane-runtime-" + std::to_string(getuid()));
  // Made for this user only; one that exists is used only when it is ours and private.
  if (::mkdir(own.c_str(), 0700) != 0 && errno != EEXIST) return temporary();
  struct stat st;
  if (::lstat(own.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid() ||
      (st.st_mode & 077) != 0)
    return temporary();
  return own;
}

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
