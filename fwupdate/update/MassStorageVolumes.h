#pragma once

#include <functional>
#include <string>
#include <vector>

namespace qd4718 {

// The mounted volumes, where the audio device's update volume shows up. The system's mount
// table in the programs, folders in tests. Called from the driver's thread only.
class MassStorageVolumes {
 public:
  virtual ~MassStorageVolumes() = default;
  // Gives a volume that the device has just attached the time to be mounted.
  virtual void settle() = 0;
  // The root folders of the mounted volumes.
  virtual std::vector<std::string> mountedVolumes() = 0;
  // Unmounts the volume at this root so the device can take its file; false when it stayed.
  virtual bool eject(const std::string& root) = 0;
  // For a desktop that mounts nothing by itself: mounts the attached volumes nobody mounted,
  // read-only (a look-up only reads), and gives the roots of those `matches` accepts (the
  // others are unmounted again). With none, `missing` says what was missing. By default there
  // is nothing to mount.
  virtual std::vector<std::string> mountMatching(
      const std::function<bool(const std::string& root)>& matches, std::string* missing) {
    (void)matches;
    if (missing) *missing = "no unmounted volume is attached";
    return {};
  }
  // Where the volume at `root` takes files: `root`, unless mountMatching() mounted it
  // read-only; then it is mounted again read-write and its new root is given. Empty, with the
  // reason in `why`, when that failed. By default the volume is writable where it is.
  virtual std::string writable(const std::string& root, std::string* why) {
    (void)why;
    return root;
  }
};

}  // namespace qd4718
