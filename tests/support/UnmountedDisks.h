#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "FakeSysfs.h"
#include "TempDir.h"
#include "Volumes.h"

namespace testsupport {

// A machine without automount, for the volume layer: USB disks in a fake sysfs and /dev, a
// mount table in memory and a udisksctl that mounts each disk into a folder of a test
// directory (named by its label), writing that disk's files as it goes. It records every
// command it was given.
class UnmountedDisks {
 public:
  using Argv = std::vector<std::string>;
  using Files = std::vector<std::pair<std::string, std::string>>;  // name, text

  UnmountedDisks();
  // A partition of a USB disk on `port` (e.g. "1-2"), with the files it holds; its device.
  std::string addUsb(const std::string& partition, const std::string& port, int vendor, int product,
                     const std::string& label, Files files = {});
  std::string addInternal(const std::string& partition, const std::string& label);

  // The volume layer's view of this machine.
  platform::Volumes::Environment environment();
  // Where udisksctl mounts the disk of this label.
  std::string mountPoint(const std::string& label) const;

  // udisksctl's command lines, as the volume layer gives them.
  static Argv udisks(const char* verb, const std::string& device);
  static Argv udisksReadOnly(const std::string& device);

  // What the test sets and reads (under mutex when the volume layer runs on another thread).
  std::mutex mutex;
  std::map<std::string, std::string> mounts;  // device -> mount point
  std::set<std::string> refuseMount;          // devices udisksctl fails to mount
  std::vector<Argv> ran;
  bool udisksInstalled = true;

  FakeSysfs sysfs;

 private:
  TempDir dir_;
  std::map<std::string, std::string> labels_;  // device -> label
  std::map<std::string, Files> files_;         // label -> files
};

}  // namespace testsupport
