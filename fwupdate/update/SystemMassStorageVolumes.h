#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "update/MassStorageVolumes.h"

namespace qd4718 {

// The block-device volumes of the mount table (/proc/self/mountinfo). Ejecting unmounts through
// udisks2 where it is installed (it also works for the user at the seat), else through umount.
class SystemMassStorageVolumes : public MassStorageVolumes {
 public:
  static constexpr auto kSettleTime = std::chrono::seconds(2);

  explicit SystemMassStorageVolumes(std::string mountInfoPath = "/proc/self/mountinfo");

  void settle() override;
  std::vector<std::string> mountedVolumes() override;
  bool eject(const std::string& root) override;

  struct Mount {
    std::string source;  // the block device
    std::string root;    // where it is mounted
  };
  // The block-device mounts of a mountinfo text; escaped characters (\040 and the like) decoded.
  static std::vector<Mount> parseMountInfo(const std::string& text);

 private:
  std::vector<Mount> mounts() const;
  std::string mountInfoPath_;
};

}  // namespace qd4718
