#pragma once

#include <string>

namespace testsupport {

// A small file system of its own mounted on a folder, where the machine lets this process mount
// one (as root): a disk that fills up. Unmounted when it goes. Tests skip where none can be had.
class SmallTmpfs {
 public:
  // `size` as tmpfs takes it ("1500k"); the folder is made when missing.
  SmallTmpfs(const std::string& folder, const std::string& size);
  ~SmallTmpfs();
  SmallTmpfs(const SmallTmpfs&) = delete;
  SmallTmpfs& operator=(const SmallTmpfs&) = delete;

  bool mounted() const { return mounted_; }
  // Why it could not be mounted.
  const std::string& why() const { return why_; }
  // Mounts it again read-only, or read-write again; false when the system refused.
  bool setReadOnly(bool readOnly);
  // Whether every block of it is free again.
  bool isEmpty() const;

 private:
  std::string folder_;
  bool mounted_ = false;
  std::string why_;
};

}  // namespace testsupport
