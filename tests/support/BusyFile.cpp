#include "BusyFile.h"

#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace testsupport {

BusyFile::BusyFile(const std::string& path, const std::string& text)
    : path_(path), source_(path + ".mounted-over") {
  if (!std::filesystem::exists(path)) std::ofstream(path) << text;
  std::ofstream(source_) << text;
  mounted_ = ::mount(source_.c_str(), path.c_str(), nullptr, MS_BIND, nullptr) == 0;
  if (!mounted_) why_ = std::strerror(errno);
  // The source's name may go: the mount holds the file, and the folder shows only `path`.
  std::error_code ec;
  std::filesystem::remove(source_, ec);
}

BusyFile::~BusyFile() {
  if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
}

}  // namespace testsupport
