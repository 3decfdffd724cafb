#pragma once

#include <functional>
#include <string>
#include <vector>

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
    // Runs a program to its end, giving its exit status (-1: it could not start).
    std::function<int(const std::vector<std::string>&)> run;
    // The path of a program on PATH; empty when there is none.
    std::function<std::string(const std::string&)> findProgram;
    static Environment process();
  };

  static Volumes& shared();
  explicit Volumes(Environment environment);

  // The volumes in mount order (the later mount last); only block-device file systems.
  std::vector<Volume> mountedVolumes() const;
  // Unmounts the volume mounted at `path`: through udisks2 (udisksctl) where present, else
  // umount. True when the unmount succeeded; false for a path that is not a mounted volume.
  bool unmountAndEject(const std::string& path) const;

  // The block-device entries of a mountinfo text, with the kernel's octal escapes undone.
  static std::vector<Volume> parseMountInfo(const std::string& text);

 private:
  std::string labelOf(const std::string& device) const;

  Environment env_;
};

}  // namespace platform
