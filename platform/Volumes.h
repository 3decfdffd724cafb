#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "VolumeCandidates.h"

namespace platform {

// A mounted file system on a block device.
struct Volume {
  std::string path;        // the mount point
  std::string device;      // the block device, as /dev/sdb1
  std::string fileSystem;  // as "vfat"
  std::string label;       // the file system's label; empty when it has none
};

// The mounted volumes (from the mount table) and their eject. Tests give the mount table's text,
// the label folder and the program runner.
class Volumes {
 public:
  struct Environment {
    // The text of the mount table, in the format of /proc/self/mountinfo.
    std::function<std::string()> mountInfo;
    // Symbolic links named by label, pointing at the devices.
    std::string byLabelFolder = "/dev/disk/by-label";
    // Symbolic links named by file-system id: every device that carries a file system.
    std::string byUuidFolder = "/dev/disk/by-uuid";
    // The block devices' sysfs entries: only a device on a USB bus is ever mounted by us.
    std::string sysBlockFolder = "/sys/class/block";
    // Runs a program to its end, giving its exit status (-1: it could not start).
    std::function<int(const std::vector<std::string>&)> run;
    // The path of a program on PATH; empty when there is none.
    std::function<std::string(const std::string&)> findProgram;
    static Environment process();
  };

  // How long mount() waits for a mount udisksctl made to show in the mount table.
  static constexpr int kMountLooks = 20;
  static constexpr std::chrono::milliseconds kMountLookInterval{100};

  // How a volume is mounted for a step: read-only where the step only reads.
  enum class Access { readOnly, readWrite };

  static Volumes& shared();
  explicit Volumes(Environment environment);

  // The volumes in mount order (the later mount last); only block-device file systems.
  std::vector<Volume> mountedVolumes() const;
  // Unmounts the volume mounted at `path`: through udisks2 (udisksctl) where present, else
  // umount. True when the unmount succeeded; false for a path that is not a mounted volume.
  bool unmountAndEject(const std::string& path) const;

  // USB block devices that carry a file system and are mounted nowhere: what a desktop without
  // automount leaves of a volume a device has just attached. In the order of their names.
  std::vector<std::string> unmountedDevices() const;
  // A device with its label and the ids of the USB device it sits on, read from sysfs.
  BlockDevice describe(const std::string& device) const;
  // Whether a block device (of a mounted volume, say) is one of the disks `rule` chooses: a
  // volume of any other disk is never the one looked for, whatever files it holds.
  bool isOnDiskOf(const std::string& device, const VolumeCandidates::Rule& rule) const;
  // Mounts a block device through udisks2 (`udisksctl mount -b`, as the user at the seat may,
  // without asking for a password; with the option "ro" for read-only) and gives its mount
  // point; empty, with the reason in `why`, when it could not.
  std::string mount(const std::string& device, Access access, std::string* why);
  // The mount points of volumes for which `matches` holds (the later mount last). When none of
  // the mounted volumes does, the unmounted file-system devices that `candidates` names (the
  // device's own disk, never any other) are mounted read-only through udisks2 to look at them,
  // and kept when they match; the others are unmounted again at once. For a step that writes
  // (`access`), only a match this object mounted read-only is mounted again read-write. With no
  // match, `missing` says what was missing (no such volume, no udisks2, a mount that failed).
  std::vector<std::string> findVolumes(const std::function<bool(const std::string& root)>& matches,
                                       const VolumeCandidates::Rule& candidates, Access access,
                                       std::string* missing);
  // Where the volume mounted at `path` takes files: the same path, unless this object mounted
  // it read-only for a look-up; then it is mounted again read-write and its new mount point is
  // given. Empty, with the reason in `why`, when that failed. A path that is no volume of the
  // mount table is given as it is.
  std::string writable(const std::string& path, std::string* why);
  // Unmounts what findVolumes() mounted and is still mounted (the caller is done with it).
  void unmountWhatWeMounted();

  // The block-device entries of a mountinfo text, with the kernel's octal escapes undone.
  static std::vector<Volume> parseMountInfo(const std::string& text);

 private:
  std::string labelOf(const std::string& device) const;
  std::string udisks() const;
  bool isOnUsb(const std::string& device) const;
  // The USB device folder above a block device's sysfs entry; empty when it is on no USB bus.
  std::string usbDeviceFolder(const std::string& device) const;
  bool mountedReadOnlyByUs(const std::string& device);
  // Unmounts a volume this object mounted read-only and mounts it read-write.
  std::string mountAgainWritable(const std::string& device, const std::string& path,
                                 std::string* why);
  // Through udisks2 where present, else umount of the mount point.
  bool unmountDevice(const std::string& device, const std::string& path) const;

  Environment env_;
  std::mutex mountedMutex_;
  std::map<std::string, Access> mountedByUs_;  // device -> how we mounted it
};

}  // namespace platform
