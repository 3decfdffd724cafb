#include "FakeSysfs.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace testsupport {

FakeSysfs::FakeSysfs() {
  fs::create_directories(sysRoot() + "/class/video4linux");
  fs::create_directories(devRoot());
}

std::string FakeSysfs::addUsbVideoNode(const std::string& node, const std::string& port,
                                       int vendorId, int productId, const std::string& product) {
  std::string usb = sysRoot() + "/devices/pci0000:00/0000:00:14.0/usb1/" + port;
  std::string intf = usb + "/" + port + ":1.0";
  fs::create_directories(intf + "/video4linux/" + node);
  char hex[8];
  std::snprintf(hex, sizeof hex, "%04x", vendorId);
  std::ofstream(usb + "/idVendor") << hex << "\n";
  std::snprintf(hex, sizeof hex, "%04x", productId);
  std::ofstream(usb + "/idProduct") << hex << "\n";
  if (!product.empty()) std::ofstream(usb + "/product") << product << "\n";
  std::string classNode = sysRoot() + "/class/video4linux/" + node;
  fs::create_directories(classNode);
  std::ofstream(classNode + "/name") << product << "\n";
  fs::create_directory_symlink(intf, classNode + "/device");
  std::ofstream(devicePath(node)).put('\0');
  return fs::canonical(usb).string();
}

void FakeSysfs::removeUsbDevice(const std::string& port) {
  std::string usb = sysRoot() + "/devices/pci0000:00/0000:00:14.0/usb1/" + port;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(sysRoot() + "/class/video4linux", ec)) {
    std::error_code target;
    fs::path device = fs::read_symlink(entry.path() / "device", target);
    if (target || device.string().rfind(usb, 0) != 0) continue;
    fs::remove(devicePath(entry.path().filename().string()), target);
    fs::remove_all(entry.path(), target);
  }
  fs::remove_all(usb, ec);
}

void FakeSysfs::addVirtualNode(const std::string& node, const std::string& name) {
  std::string dev = sysRoot() + "/devices/virtual/video4linux/" + node;
  fs::create_directories(dev);
  std::string classNode = sysRoot() + "/class/video4linux/" + node;
  fs::create_directories(classNode);
  std::ofstream(classNode + "/name") << name << "\n";
  std::ofstream(devicePath(node)).put('\0');
}

std::string FakeSysfs::addPartition(const std::string& partition, const std::string& parent,
                                    const std::string& label) {
  std::string disk = partition.substr(0, partition.find_first_of("0123456789"));
  std::string entry = parent + "/block/" + disk + "/" + partition;
  fs::create_directories(entry);
  fs::create_directories(classBlockFolder());
  fs::create_directory_symlink(entry, classBlockFolder() + "/" + partition);
  std::string device = "/dev/" + partition;
  fs::create_directories(byUuidFolder());
  fs::create_symlink(device, byUuidFolder() + "/UUID-" + partition);
  if (!label.empty()) {
    fs::create_directories(byLabelFolder());
    fs::create_symlink(device, byLabelFolder() + "/" + label);
  }
  return device;
}

std::string FakeSysfs::addUsbPartition(const std::string& partition, const std::string& port,
                                       int vendorId, int productId, const std::string& label) {
  std::string usb = sysRoot() + "/devices/pci0000:00/0000:00:14.0/usb1/" + port;
  fs::create_directories(usb);
  char hex[8];
  std::snprintf(hex, sizeof hex, "%04x", vendorId);
  std::ofstream(usb + "/idVendor") << hex << "\n";
  std::snprintf(hex, sizeof hex, "%04x", productId);
  std::ofstream(usb + "/idProduct") << hex << "\n";
  return addPartition(partition, usb + "/" + port + ":1.0/host6/target6:0:0/6:0:0:0", label);
}

std::string FakeSysfs::addInternalPartition(const std::string& partition,
                                            const std::string& label) {
  return addPartition(partition, sysRoot() + "/devices/pci0000:00/0000:00:17.0/ata1/host0", label);
}

}  // namespace testsupport
