#include "AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "WholeWrite.h"

namespace CORVANE_UTIL_NAMESPACE {

namespace {

constexpr const char* kMark = ".save-";
constexpr size_t kRandomChars = 6;  // what mkstemp puts in place of "XXXXXX"

std::string folderOf(const std::string& path) {
  auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string nameOf(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

}  // namespace

std::string AtomicFile::temporaryTemplate(const std::string& path) {
  auto slash = path.find_last_of('/');
  std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  return folder + "." + nameOf(path) + kMark + "XXXXXX";
}

bool AtomicFile::isTemporaryOf(const std::string& path, const std::string& name) {
  std::string prefix = "." + nameOf(path) + kMark;
  if (name.size() != prefix.size() + kRandomChars || name.compare(0, prefix.size(), prefix) != 0)
    return false;
  for (size_t i = prefix.size(); i < name.size(); ++i)
    if (!std::isalnum(static_cast<unsigned char>(name[i]))) return false;
  return true;
}

bool AtomicFile::write(const std::string& path, const std::string& bytes, std::string* error,
                       mode_t mode) {
  // The reasons name the file the user knows, never the hidden temporary one.
  auto fail = [error](const std::string& step) {
    if (error) *error = step + ": " + std::strerror(errno);
    return false;
  };
  if (path.empty()) {
    errno = ENOENT;
    return fail("no path");
  }
  const std::string writing = "cannot write " + path;
  std::string temp = temporaryTemplate(path);
  int fd = ::mkstemp(temp.data());
  if (fd < 0) return fail(writing);
  auto abandon = [&](const std::string& step) {
    int e = errno;
    ::close(fd);
    ::unlink(temp.c_str());
    errno = e;
    return fail(step);
  };
  // mkstemp makes the file private; a settings file is readable like any other.
  ::fchmod(fd, mode);
  if (platform::WholeWrite::to(fd, bytes.data(), bytes.size()) != 0) return abandon(writing);
  if (::fsync(fd) != 0) return abandon(writing);
  if (::close(fd) != 0) {
    int e = errno;
    ::unlink(temp.c_str());
    errno = e;
    return fail(writing);
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    int e = errno;
    ::unlink(temp.c_str());
    errno = e;
    return fail("cannot replace " + path);
  }
  // Make the rename itself durable.
  int dir = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

std::vector<std::string> AtomicFile::removeStaleTemporaries(
    const std::string& path, std::chrono::system_clock::time_point now) {
  std::vector<std::string> removed;
  if (path.empty()) return removed;
  std::string folder = folderOf(path);
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return removed;
  const auto limit = std::chrono::system_clock::to_time_t(now - kStaleAfter);
  while (dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    if (!isTemporaryOf(path, name)) continue;
    std::string file = folder + "/" + name;
    struct stat st {};
    if (::lstat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    // Younger ones may be a save in progress in another process.
    if (st.st_mtim.tv_sec > limit) continue;
    if (::unlink(file.c_str()) == 0) removed.push_back(file);
  }
  ::closedir(dir);
  return removed;
}

}  // namespace CORVANE_UTIL_NAMESPACE
