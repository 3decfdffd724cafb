#pragma once

#include <chrono>
#include <set>
#include <string>
#include <vector>

#include "Volumes.h"
#include "update/MassStorageVolumes.h"

namespace qd4718 {

// The block-device volumes of the mount table, through the platform's volume layer (which
// ejects through udisks2 where it is installed, else umount).
class SystemMassStorageVolumes : public MassStorageVolumes {
 public:
  static constexpr auto kSettleTime = std::chrono::seconds(2);

  // `candidates`: the disks that may be mounted to look for the device's volume (its own USB
  // ids); no other disk is ever mounted.
  explicit SystemMassStorageVolumes(platform::VolumeCandidates::Rule candidates = {},
                                    std::string mountInfoPath = "/proc/self/mountinfo");
  // Over the given volume layer (tests give a mount table, sysfs and udisksctl of their own).
  SystemMassStorageVolumes(platform::VolumeCandidates::Rule candidates,
                           platform::Volumes::Environment environment);

  void settle() override;
  // Only the volumes on the device's own disks (`candidates`).
  std::vector<std::string> mountedVolumes() override;
  bool eject(const std::string& root) override;
  // Through udisks2 (see platform::Volumes::findVolumes), read-only.
  std::vector<std::string> mountMatching(
      const std::function<bool(const std::string& root)>& matches, std::string* missing) override;
  std::string writable(const std::string& root, std::string* why) override;

 private:
  platform::VolumeCandidates::Rule candidates_;
  platform::Volumes volumes_;
  std::set<std::string> passedOver_;  // volumes of other disks, already logged
};

}  // namespace qd4718
