#include "UnmountedDisks.h"

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace testsupport {

UnmountedDisks::UnmountedDisks() = default;

std::string UnmountedDisks::addUsb(const std::string& partition, const std::string& port,
                                   int vendor, int product, const std::string& label, Files files) {
  std::string device = sysfs.addUsbPartition(partition, port, vendor, product, label);
  std::lock_guard lock(mutex);
  labels_[device] = label;
  files_[label] = std::move(files);
  return device;
}

std::string UnmountedDisks::addInternal(const std::string& partition, const std::string& label) {
  std::string device = sysfs.addInternalPartition(partition, label);
  std::lock_guard lock(mutex);
  labels_[device] = label;
  return device;
}

std::string UnmountedDisks::mountPoint(const std::string& label) const {
  return dir_.file("media/" + label);
}

UnmountedDisks::Argv UnmountedDisks::udisks(const char* verb, const std::string& device) {
  return {"/usr/bin/udisksctl", verb, "--block-device", device, "--no-user-interaction"};
}

UnmountedDisks::Argv UnmountedDisks::udisksReadOnly(const std::string& device) {
  Argv argv = udisks("mount", device);
  argv.insert(argv.end(), {"--options", "ro"});
  return argv;
}

platform::Volumes::Environment UnmountedDisks::environment() {
  platform::Volumes::Environment env;
  env.mountInfo = [this] {
    std::lock_guard lock(mutex);
    std::string text = "29 1 8:1 / / rw - ext4 /dev/sda1 rw\n";
    for (const auto& [device, path] : mounts)
      text += "90 29 8:33 / " + path + " rw - vfat " + device + " rw\n";
    return text;
  };
  env.byLabelFolder = sysfs.byLabelFolder();
  env.byUuidFolder = sysfs.byUuidFolder();
  env.sysBlockFolder = sysfs.classBlockFolder();
  env.findProgram = [this](const std::string& name) {
    std::lock_guard lock(mutex);
    return name == "udisksctl" && udisksInstalled ? std::string("/usr/bin/udisksctl")
                                                  : std::string();
  };
  env.run = [this](const std::vector<std::string>& argv) {
    std::lock_guard lock(mutex);
    ran.push_back(argv);
    if (argv.size() < 4) return 1;
    const std::string& device = argv[3];
    if (argv[1] == "mount") {
      if (refuseMount.count(device)) return 1;
      std::string label = labels_[device];
      std::string path = mountPoint(label);
      fs::create_directories(path);
      for (const auto& [file, text] : files_[label]) std::ofstream(path + "/" + file) << text;
      mounts[device] = path;
      return 0;
    }
    if (argv[1] == "unmount") return mounts.erase(device) ? 0 : 1;
    return 1;
  };
  return env;
}

}  // namespace testsupport
