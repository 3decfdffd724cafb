#include "TestFiles.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace testsupport {

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

const std::vector<HostileFile>& hostileFiles() {
  static const std::vector<HostileFile> files = {
      // Opened for reading, a FIFO waits for a writer for ever.
      {HostileFile::Kind::Fifo, "fifo", "is not a regular file"},
      // Read whole, /dev/zero never ends.
      {HostileFile::Kind::DevZeroLink, "link to /dev/zero", "is not a regular file"},
      {HostileFile::Kind::Folder, "folder", "is a folder, not a file"},
      {HostileFile::Kind::Oversized, "oversized", "is larger than"},
  };
  return files;
}

void makeHostileFile(const HostileFile& file, const std::string& path, size_t bound) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::remove_all(path, ec);
  fs::create_directories(fs::path(path).parent_path(), ec);
  switch (file.kind) {
    case HostileFile::Kind::Fifo:
      ::mkfifo(path.c_str(), 0600);
      break;
    case HostileFile::Kind::DevZeroLink:
      fs::create_symlink("/dev/zero", path, ec);
      break;
    case HostileFile::Kind::Folder:
      fs::create_directories(path, ec);
      break;
    case HostileFile::Kind::Oversized: {
      std::string text = "{\"pad\": \"";
      text.append(bound, ' ');
      writeFile(path, text + "\"}");
      break;
    }
  }
}

void setModified(const std::string& path, std::chrono::system_clock::time_point time) {
  struct timespec times[2];
  times[0].tv_sec = times[1].tv_sec = std::chrono::system_clock::to_time_t(time);
  times[0].tv_nsec = times[1].tv_nsec = 0;
  utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

}  // namespace testsupport
