#pragma once

#include <string>

namespace testsupport {

// A file that cannot be removed: another file mounted over it (a bind mount), so that unlink
// answers EBUSY whoever asks, root too. Where the machine lets this process mount. Unmounted
// when it goes. Tests skip where none can be had.
class BusyFile {
 public:
  // `path` is made (a regular file holding `text`) when missing.
  BusyFile(const std::string& path, const std::string& text);
  ~BusyFile();
  BusyFile(const BusyFile&) = delete;
  BusyFile& operator=(const BusyFile&) = delete;

  bool busy() const { return mounted_; }
  const std::string& why() const { return why_; }

 private:
  std::string path_;
  std::string source_;
  bool mounted_ = false;
  std::string why_;
};

}  // namespace testsupport
