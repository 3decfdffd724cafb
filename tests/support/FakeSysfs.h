#pragma once

#include <string>

#include "TempDir.h"

namespace testsupport {

// A sysfs and /dev tree in a temporary folder: video nodes and disks linked to USB devices.
class FakeSysfs {
 public:
  FakeSysfs();
  std::string sysRoot() const { return dir_.path() + "/sys"; }
  std::string devRoot() const { return dir_.path() + "/dev"; }
  std::string devicePath(const std::string& node) const { return devRoot() + "/" + node; }
  // A video node of a USB device on `port` (e.g. "1-2"); returns the USB device folder.
  std::string addUsbVideoNode(const std::string& node, const std::string& port, int vendorId,
                              int productId, const std::string& product);
  // The USB device on `port` and its video nodes are gone (unplugged): their sysfs entries and
  // device files are removed.
  void removeUsbDevice(const std::string& port);
  // A video node of no USB device (a virtual one).
  void addVirtualNode(const std::string& node, const std::string& name);
  // A partition carrying a file system on a USB disk on `port` (as udev shows it: the block
  // entry under the USB device, a link in dev/disk/by-uuid and, with a label, in
  // dev/disk/by-label, both naming "/dev/<partition>"); returns "/dev/<partition>".
  std::string addUsbPartition(const std::string& partition, const std::string& port, int vendorId,
                              int productId, const std::string& label);
  // A partition on a disk that is on no USB bus (an internal disk).
  std::string addInternalPartition(const std::string& partition, const std::string& label);
  std::string classBlockFolder() const { return sysRoot() + "/class/block"; }
  std::string byLabelFolder() const { return devRoot() + "/disk/by-label"; }
  std::string byUuidFolder() const { return devRoot() + "/disk/by-uuid"; }

 private:
  std::string addPartition(const std::string& partition, const std::string& parent,
                           const std::string& label);
  TempDir dir_;
};

}  // namespace testsupport
