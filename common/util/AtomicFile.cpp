#include "util/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

namespace corvane {

namespace {

bool writeAll(int fd, const std::string& bytes) {
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

std::string folderOf(const std::string& path) {
  auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

bool AtomicFile::write(const std::string& path, const std::string& bytes, std::string* error) {
  auto fail = [error](const std::string& step) {
    if (error) *error = step + ": " + std::strerror(errno);
    return false;
  };
  if (path.empty()) {
    errno = ENOENT;
    return fail("no path");
  }
  std::string temp = path + ".XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) return fail(temp);
  auto abandon = [&](const std::string& step) {
    int e = errno;
    ::close(fd);
    ::unlink(temp.c_str());
    errno = e;
    return fail(step);
  };
  // Readable like any other settings file (mkstemp makes it private).
  ::fchmod(fd, 0644);
  if (!writeAll(fd, bytes)) return abandon("write " + temp);
  if (::fsync(fd) != 0) return abandon("fsync " + temp);
  if (::close(fd) != 0) {
    int e = errno;
    ::unlink(temp.c_str());
    errno = e;
    return fail("close " + temp);
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    int e = errno;
    ::unlink(temp.c_str());
    errno = e;
    return fail("rename to " + path);
  }
  // Make the rename itself durable.
  int dir = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

std::vector<std::string> AtomicFile::removeStaleTemporaries(const std::string& path) {
  std::vector<std::string> removed;
  if (path.empty()) return removed;
  std::string folder = folderOf(path);
  std::string prefix = path.substr(path.find_last_of('/') + 1) + ".";
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return removed;
  while (dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    // The six characters mkstemp puts in place of XXXXXX: letters and digits.
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
    bool temporary = true;
    for (size_t i = prefix.size(); i < name.size(); ++i)
      temporary = temporary && std::isalnum(static_cast<unsigned char>(name[i]));
    std::string file = folder + "/" + name;
    struct stat st {};
    if (!temporary || ::lstat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    if (::unlink(file.c_str()) == 0) removed.push_back(file);
  }
  ::closedir(dir);
  return removed;
}

}  // namespace corvane
