#include "update/SystemMassStorageVolumes.h"

#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "QD4718Log.h"

namespace qd4718 {

namespace {
platform::Volumes::Environment environment(const std::string& mountInfoPath) {
  auto env = platform::Volumes::Environment::process();
  env.mountInfo = [mountInfoPath] {
    std::ifstream in(mountInfoPath);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  };
  return env;
}
}  // namespace

SystemMassStorageVolumes::SystemMassStorageVolumes(platform::VolumeCandidates::Rule candidates,
                                                   std::string mountInfoPath)
    : SystemMassStorageVolumes(std::move(candidates), environment(mountInfoPath)) {}

SystemMassStorageVolumes::SystemMassStorageVolumes(platform::VolumeCandidates::Rule candidates,
                                                   platform::Volumes::Environment environment)
    : candidates_(std::move(candidates)), volumes_(std::move(environment)) {}

void SystemMassStorageVolumes::settle() { std::this_thread::sleep_for(kSettleTime); }

std::vector<std::string> SystemMassStorageVolumes::mountedVolumes() {
  std::vector<std::string> roots;
  for (const auto& v : volumes_.mountedVolumes()) {
    if (volumes_.isOnDiskOf(v.device, candidates_)) {
      roots.push_back(v.path);
    } else if (passedOver_.insert(v.path).second) {
      // A stick holding a copy of the marker must never take the image nor be ejected.
      QD4718_LOG_INFO("Volume " + v.path + " (" + v.device +
                      ") is not on the device's disk: not looked at");
    }
  }
  return roots;
}

bool SystemMassStorageVolumes::eject(const std::string& root) {
  ::sync();  // the copied image reaches the device before it goes
  bool done = volumes_.unmountAndEject(root);
  if (!done) QD4718_LOG_ERROR("Cannot unmount " + root);
  volumes_.unmountWhatWeMounted();
  return done;
}

std::vector<std::string> SystemMassStorageVolumes::mountMatching(
    const std::function<bool(const std::string& root)>& matches, std::string* missing) {
  // The volume layer looks at the mounted volumes first: those of other disks are passed over
  // there too.
  auto onTheDevicesDisk = [this, &matches](const std::string& root) {
    for (const auto& v : volumes_.mountedVolumes()) {
      if (v.path == root) return volumes_.isOnDiskOf(v.device, candidates_) && matches(root);
    }
    return false;
  };
  return volumes_.findVolumes(onTheDevicesDisk, candidates_, platform::Volumes::Access::readOnly,
                              missing);
}

std::string SystemMassStorageVolumes::writable(const std::string& root, std::string* why) {
  return volumes_.writable(root, why);
}

}  // namespace qd4718
