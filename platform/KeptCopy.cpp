#include "KeptCopy.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <optional>
#include <tuple>
#include <utility>

namespace platform {

namespace {

constexpr const char* kMark = ".unreadable-";
constexpr size_t kStampChars = 15;  // yyyyMMdd-HHmmss

std::string folderOf(const std::string& path) {
  std::string folder = std::filesystem::path(path).parent_path().string();
  return folder.empty() ? std::string(".") : folder;
}

std::string nameOf(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

std::string stamp(std::chrono::system_clock::time_point now) {
  std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm tm{};
  localtime_r(&t, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &tm);
  return text;
}

// The time stamp and the number of a kept copy's name (1 when it has none); none when `name` is
// not a kept copy of `file`.
std::optional<std::pair<std::string, long>> copyOrder(const std::string& file,
                                                      const std::string& name) {
  std::string prefix = file + kMark;
  if (name.size() < prefix.size() + kStampChars || name.compare(0, prefix.size(), prefix) != 0)
    return std::nullopt;
  std::string stampPart = name.substr(prefix.size(), kStampChars);
  for (size_t i = 0; i < kStampChars; ++i) {
    bool dash = i == 8;
    if (dash ? stampPart[i] != '-' : !std::isdigit(static_cast<unsigned char>(stampPart[i])))
      return std::nullopt;
  }
  std::string rest = name.substr(prefix.size() + kStampChars);
  if (rest.empty()) return std::make_pair(stampPart, 1L);
  if (rest.size() < 2 || rest.size() > 6 || rest[0] != '-') return std::nullopt;
  for (size_t i = 1; i < rest.size(); ++i)
    if (!std::isdigit(static_cast<unsigned char>(rest[i]))) return std::nullopt;
  return std::make_pair(stampPart, std::stol(rest.substr(1)));
}

// rename() without replacing what is already there.
bool renameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without the flag: this program is the only one keeping copies here.
  struct stat st {};
  if (::lstat(to.c_str(), &st) == 0) {
    errno = EEXIST;
    return false;
  }
  return ::rename(from.c_str(), to.c_str()) == 0;
}

// Gives the copy just kept a modification time after every other copy's, so the order of the
// copies is the order they were kept in: the stamps in their names and the clock itself go back
// when the clock is put back or the time zone moves west. The moved file's own time says when
// it was last written, which is no order of keeping either.
void markNewest(const std::string& kept, const std::vector<std::string>& copies,
                std::chrono::system_clock::time_point now) {
  auto since = std::chrono::duration_cast<std::chrono::nanoseconds>(now.time_since_epoch());
  timespec when{static_cast<time_t>(since.count() / 1000000000),
                static_cast<long>(since.count() % 1000000000)};
  if (when.tv_nsec < 0) {
    when.tv_sec -= 1;
    when.tv_nsec += 1000000000;
  }
  for (const std::string& copy : copies) {
    struct stat st {};
    if (nameOf(copy) == nameOf(kept) || ::lstat(copy.c_str(), &st) != 0) continue;
    if (std::tie(st.st_mtim.tv_sec, st.st_mtim.tv_nsec) >= std::tie(when.tv_sec, when.tv_nsec)) {
      when = st.st_mtim;
      if (++when.tv_nsec == 1000000000) {
        when.tv_nsec = 0;
        ++when.tv_sec;
      }
    }
  }
  const timespec times[2] = {{0, UTIME_OMIT}, when};
  ::utimensat(AT_FDCWD, kept.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

}  // namespace

std::vector<std::string> KeptCopy::copiesOf(const std::string& path) {
  struct Found {
    std::pair<long long, long> modified;  // seconds and nanoseconds
    std::pair<std::string, long> named;
    std::string path;
    bool operator<(const Found& o) const {
      return std::tie(modified, named) < std::tie(o.modified, o.named);
    }
  };
  std::vector<Found> found;
  std::string folder = folderOf(path), file = nameOf(path);
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (dirent* entry = ::readdir(dir)) {
      auto order = copyOrder(file, entry->d_name);
      struct stat st {};
      std::string copy = folder + "/" + entry->d_name;
      if (order && ::lstat(copy.c_str(), &st) == 0)
        found.push_back({{st.st_mtim.tv_sec, st.st_mtim.tv_nsec}, *order, copy});
    }
    ::closedir(dir);
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> copies;
  for (auto& f : found) copies.push_back(std::move(f.path));
  return copies;
}

KeptCopy::Result KeptCopy::keepAside(const std::string& path,
                                     std::chrono::system_clock::time_point now) {
  Result result;
  const std::string when = stamp(now);
  std::string base = path + kMark + when;
  // After the newest copy of this second, even where an older one of it was pruned: a freed
  // name taken again would pass for the oldest.
  long first = 1;
  for (const auto& copy : copiesOf(path))
    if (auto order = copyOrder(nameOf(path), nameOf(copy)); order && order->first == when)
      first = std::max(first, order->second + 1);
  for (long n = first; n < first + 100 && !result.kept; ++n) {
    std::string name = n == 1 ? base : base + "-" + std::to_string(n);
    if (renameNoReplace(path, name)) {
      result.kept = true;
      result.path = name;
    } else if (errno != EEXIST) {
      result.error = std::strerror(errno);
      return result;
    }
  }
  if (!result.kept) {
    result.error = "too many copies kept within one second";
    return result;
  }
  std::vector<std::string> copies = copiesOf(path);
  markNewest(result.path, copies, now);
  copies = copiesOf(path);
  for (size_t i = 0; i + kMaxCopies < copies.size(); ++i) {
    // The copy just kept stays whatever the order says: it is why we prune at all.
    if (nameOf(copies[i]) == nameOf(result.path)) continue;
    // Never a folder: a copy is the moved file itself (a link or a FIFO moved aside included).
    struct stat st {};
    if (::lstat(copies[i].c_str(), &st) != 0 || S_ISDIR(st.st_mode)) continue;
    if (::unlink(copies[i].c_str()) == 0) result.pruned.push_back(copies[i]);
  }
  return result;
}

}  // namespace platform
