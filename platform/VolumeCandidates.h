#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// A block device that carries a file system, as the machine describes it before anything
// mounts it: its label (as /dev/disk/by-label names it) and the ids of the USB device it
// belongs to (from sysfs; none for a disk that is not on USB).
struct BlockDevice {
  std::string device;  // as /dev/sdb1
  std::string label;
  std::optional<uint16_t> usbVendor;
  std::optional<uint16_t> usbProduct;
};

// Which attached disks may be mounted to look for a device's update volume. Only the device's
// own disk is ever mounted: a person's memory stick, or a disk of another product of the same
// vendor, is left as it is. A disk is a candidate when it sits on a USB device of one of the
// given vendor and product pairs and, where the rule gives labels, carries one of them. A rule
// that names no USB device chooses nothing.
class VolumeCandidates {
 public:
  struct UsbId {
    uint16_t vendor = 0;
    uint16_t product = 0;
    bool operator==(const UsbId&) const = default;
  };
  struct Rule {
    std::vector<UsbId> usbIds;
    // Where not empty, a disk must also carry one of these labels.
    std::vector<std::string> labels;
    bool empty() const { return usbIds.empty(); }
    // Adds a pair once.
    void add(UsbId id);
  };

  static bool isCandidate(const BlockDevice& device, const Rule& rule);
  // The candidates' device paths, in the order given.
  static std::vector<std::string> choose(const std::vector<BlockDevice>& devices, const Rule& rule);
  // "0x2245", "2245" (hexadecimal, as USB ids are written); none for anything else.
  static std::optional<uint16_t> parseUsbId(const std::string& text);
};

}  // namespace platform
