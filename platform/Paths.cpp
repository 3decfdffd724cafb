#include "Paths.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "Ownership.h"

namespace platform {

namespace {
// Names tried after the runtime folder's own in the shared temporary folder.
constexpr int kRuntimeAlternatives = 16;

std::optional<std::string> env(const char* name) {
  const char* v = std::getenv(name);
  if (!v || !*v) return std::nullopt;
  return std::string(v);
}

std::optional<std::string> userRoot(const char* override, const char* xdg,
                                    const char* homeRelative) {
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

std::optional<std::string> Paths::runtime(std::string* refused) {
  const uid_t user = getuid();
  auto refuse = [refused](const std::string& folder, const std::string& why) {
    if (!refused) return;
    if (!refused->empty()) *refused += "; ";
    *refused += folder + " is " + why;
  };
  // The session's folders: set up by the system (or the user), so a link to one is followed.
  std::vector<std::string> session;
  if (auto v = env("XDG_RUNTIME_DIR")) session.push_back(*v);
  session.push_back("/run/user/" + std::to_string(user));
  for (const std::string& folder : session) {
    struct stat st;
    if (::stat(folder.c_str(), &st) != 0) {
      if (errno != ENOENT || folder != session.back()) refuse(folder, std::strerror(errno));
      continue;
    }
    std::string problem = Ownership::folderProblem(st, user);
    if (problem.empty()) return folder;
    refuse(folder, problem);
  }
  // A folder of the user's own in the shared temporary folder, which anybody may have made
  // first: taken only when it is a real folder of ours that nobody else can enter.
  const std::string name = "corvane-runtime-" + std::to_string(user);
  const std::string own = join(temporary(), name);
  auto isPrivate = [&](const std::string& folder, bool report) {
    struct stat st;
    if (::lstat(folder.c_str(), &st) != 0) {
      if (report) refuse(folder, std::strerror(errno));
      return false;
    }
    std::string problem = Ownership::folderProblem(st, user);
    if (!problem.empty() && report) refuse(folder, problem);
    return problem.empty();
  };
  // The name, else the names after it in a fixed order: each start tries them in the same
  // order, and the first that is made (by whichever start comes first) or found private to
  // the user is the one every start takes. A name no other start can know (a random one) would
  // let two starts at the same instant each make one of their own and run as two instances.
  for (int n = 0; n <= kRuntimeAlternatives; ++n) {
    const std::string folder = n == 0 ? own : own + "." + std::to_string(n);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
      refuse(folder, std::strerror(errno));
      break;  // the temporary folder takes no folder at all
    }
    if (isPrivate(folder, true)) return folder;
  }
  // Every one of those taken: a private one made earlier by this user, else a new one no one
  // can have made first.
  std::vector<std::string> made;
  if (DIR* dir = ::opendir(temporary().c_str())) {
    const std::string prefix = name + ".";
    while (const dirent* entry = ::readdir(dir)) {
      std::string entryName = entry->d_name;
      if (entryName.size() == prefix.size() + 6 && entryName.compare(0, prefix.size(), prefix) == 0)
        made.push_back(join(temporary(), entryName));
    }
    ::closedir(dir);
  }
  std::sort(made.begin(), made.end());
  for (const std::string& folder : made)
    if (isPrivate(folder, false)) return folder;
  std::string pattern = own + ".XXXXXX";
  if (!::mkdtemp(pattern.data())) {
    refuse(pattern, std::string("not made: ") + std::strerror(errno));
    return std::nullopt;
  }
  if (isPrivate(pattern, true)) return pattern;
  return std::nullopt;
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
