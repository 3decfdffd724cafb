#include "SmallTmpfs.h"

#include <sys/mount.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace testsupport {

SmallTmpfs::SmallTmpfs(const std::string& folder, const std::string& size) : folder_(folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  std::string options = "size=" + size;
  mounted_ = ::mount("tmpfs", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV | MS_NOEXEC,
                     options.c_str()) == 0;
  if (!mounted_) why_ = std::strerror(errno);
}

SmallTmpfs::~SmallTmpfs() {
  if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
}

bool SmallTmpfs::setReadOnly(bool readOnly) {
  unsigned long flags = MS_REMOUNT | MS_NOSUID | MS_NODEV | MS_NOEXEC | (readOnly ? MS_RDONLY : 0);
  return mounted_ && ::mount("none", folder_.c_str(), nullptr, flags, nullptr) == 0;
}

bool SmallTmpfs::isEmpty() const {
  struct statvfs st {};
  return mounted_ && ::statvfs(folder_.c_str(), &st) == 0 && st.f_bfree == st.f_blocks;
}

}  // namespace testsupport
