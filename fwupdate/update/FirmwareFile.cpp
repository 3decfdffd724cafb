#include "update/FirmwareFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include "QD4718Log.h"
#include "WholeWrite.h"

namespace qd4718 {

namespace {

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now, so a failing close (a full volume reports late) is seen.
  bool close() {
    int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_;
};

std::string reason() { return std::strerror(errno); }

std::string folderOf(const std::string& path) {
  auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::string FirmwareFile::problem(const std::string& path) {
  if (path.empty()) return "no firmware file given";
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return path + ": " + reason();
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return path + ": " + reason();
  if (!S_ISREG(st.st_mode)) return path + ": not a regular file";
  if (st.st_size == 0) return path + ": the file is empty";
  uint8_t byte = 0;
  ssize_t n;
  do {
    n = ::read(fd.get(), &byte, 1);
  } while (n < 0 && errno == EINTR);
  if (n != 1) return path + ": cannot be read" + (n < 0 ? " (" + reason() + ")" : "");
  return {};
}

std::string FirmwareFile::writeProblem(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENODEV:
    case ENXIO:
      return "the volume is not mounted";
    case EROFS:
      return "the volume is read-only";
    case ENOSPC:
    case EDQUOT:
      return "the volume is full";
    case EACCES:
    case EPERM:
      return "this user may not write on the volume";
    default:
      return std::string("the volume cannot be written (") + std::strerror(error) + ")";
  }
}

bool FirmwareFile::copy(const std::string& source, const std::string& destination, size_t chunkSize,
                        std::string* why) {
  if (chunkSize == 0) chunkSize = kChunkSize;
  auto say = [why](const std::string& text) {
    if (why) *why = text;
  };
  Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) {
    say("the firmware file cannot be read (" + reason() + ")");
    QD4718_LOG_ERROR("Cannot open " + source + ": " + reason());
    return false;
  }
  struct stat st {};
  if (::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    say("the firmware file is not a regular file");
    QD4718_LOG_ERROR(source + " is not a regular file");
    return false;
  }
  std::string temp = folderOf(destination) + "/.update.swu.XXXXXX";
  std::vector<char> name(temp.begin(), temp.end());
  name.push_back('\0');
  Fd out(::mkostemp(name.data(), O_CLOEXEC));
  if (out.get() < 0) {
    int error = errno;
    say(writeProblem(error));
    QD4718_LOG_ERROR("Cannot create a file beside " + destination + ": " + reason());
    return false;
  }
  temp = name.data();
  // `problem`: what the user is told; the log line says what failed, in the system's words.
  auto fail = [&](const std::string& what, const std::string& problem) {
    say(problem);
    QD4718_LOG_ERROR(what);
    out.close();
    ::unlink(temp.c_str());
    return false;
  };

  std::vector<uint8_t> chunk(chunkSize);
  off_t copied = 0;
  for (;;) {
    ssize_t n = ::read(in.get(), chunk.data(), chunk.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail("Cannot read " + source + ": " + reason(),
                  "the firmware file cannot be read (" + reason() + ")");
    }
    if (n == 0) break;
    if (platform::WholeWrite::to(out.get(), chunk.data(), static_cast<size_t>(n)) != 0) {
      int error = errno;
      return fail("Cannot write " + temp + ": " + reason(), writeProblem(error));
    }
    copied += n;
  }
  if (copied != st.st_size) {
    return fail(source + " changed while it was copied (" + std::to_string(copied) + " of " +
                    std::to_string(st.st_size) + " bytes)",
                "the firmware file changed while it was copied");
  }
  if (copied == 0) return fail(source + " is empty", "the firmware file is empty");
  if (::fsync(out.get()) != 0) {
    int error = errno;
    return fail("Cannot flush " + temp + ": " + reason(), writeProblem(error));
  }
  if (!out.close()) {
    int error = errno;
    return fail("Cannot close " + temp + ": " + reason(), writeProblem(error));
  }
  if (::rename(temp.c_str(), destination.c_str()) != 0) {
    int error = errno;
    return fail("Cannot rename " + temp + " to " + destination + ": " + reason(),
                writeProblem(error));
  }
  Fd folder(::open(folderOf(destination).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() >= 0) ::fsync(folder.get());
  QD4718_LOG_INFO("Copied " + std::to_string(copied) + " bytes to " + destination);
  return true;
}

}  // namespace qd4718
