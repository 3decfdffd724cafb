#include "UpdateManager.h"

#include <filesystem>
#include <iostream>

#include "BoundedFile.h"
#include "Bundle.h"
#include "ConfigManager.h"
#include "LogManager.h"
#include "PackageArchive.h"
#include "USBManager.h"
#include "Volumes.h"
#include "camera/UsbText.h"
#include "dispatch/Clock.h"
#include "dispatch/GlobalQueue.h"
#include "dispatch/MainQueue.h"

namespace fs = std::filesystem;

namespace updater {

namespace {

constexpr auto kFirmwareSettle = std::chrono::seconds(8);
constexpr auto kEjectSettle = std::chrono::seconds(5);

// The marker's text; none, with the reason, when it cannot be read, is not a regular file, is
// larger than a marker can be (any volume may carry a file of that name) or is not UTF-8.
std::optional<std::string> readMarker(const std::string& path, std::string& why) {
  std::string text;
  if (!platform::BoundedFile::read(path, platform::BoundedFile::kMarkerBytes, text, &why))
    return std::nullopt;
  if (!corvane::UsbText::isValidUtf8(text)) {
    why = path + ": is not UTF-8 text";
    return std::nullopt;
  }
  return text;
}

bool exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

// Removes a file (or folder) when there is one; false, with the reason, when that failed.
bool removeIfPresent(const std::string& path, std::string& error) {
  std::error_code ec;
  if (!exists(path)) return true;
  fs::remove_all(path, ec);
  if (ec) error = path + ": " + ec.message();
  return !ec;
}

bool copyItem(const std::string& from, const std::string& to, std::string& error) {
  std::error_code ec;
  if (from.empty()) {
    error = "no source file";
    return false;
  }
  fs::copy(from, to, fs::copy_options::recursive, ec);
  if (ec) error = from + " -> " + to + ": " + ec.message();
  return !ec;
}

}  // namespace

UpdateManager::Environment UpdateManager::Environment::process() {
  Environment env;
  env.volumes = &platform::Volumes::shared();
  env.chipId = [] { return USBManager::shared().chipId(); };
  env.cameraDisks = [] {
    const ConfigManager& config = ConfigManager::shared();
    return cameraDiskRule(config.cameraVendorIds, config.cameraProductIds,
                          USBManager::shared().vendor_id(), USBManager::shared().product_id());
  };
  env.resourcePath = [](const std::string& name) {
    return platform::Bundle::main().pathForResource(name);
  };
  env.workQueue = &platform::GlobalQueue::shared();
  env.mainQueue = &platform::MainQueue::shared();
  return env;
}

UpdateManager& UpdateManager::shared() {
  static UpdateManager* manager = new UpdateManager(Environment::process());
  return *manager;
}

UpdateManager::UpdateManager(Environment environment) : env_(std::move(environment)) {
  if (!env_.workQueue) env_.workQueue = &platform::GlobalQueue::shared();
  if (!env_.mainQueue) env_.mainQueue = &platform::MainQueue::shared();
}

platform::VolumeCandidates::Rule UpdateManager::cameraDiskRule(
    const std::vector<std::string>& vendorIds, const std::vector<std::string>& productIds,
    const std::string& openVendorId, const std::string& openProductId) {
  using platform::VolumeCandidates;
  VolumeCandidates::Rule rule;
  auto vendor = VolumeCandidates::parseUsbId(openVendorId);
  auto product = VolumeCandidates::parseUsbId(openProductId);
  if (vendor && product) rule.add({*vendor, *product});
  for (size_t i = 0; i < vendorIds.size(); ++i) {
    auto listed = VolumeCandidates::parseUsbId(vendorIds[i]);
    if (!listed) continue;
    if (i < productIds.size())
      if (auto itsProduct = VolumeCandidates::parseUsbId(productIds[i]))
        rule.add({*listed, *itsProduct});
    rule.add({*listed, kStorageModeProductId});
  }
  if (vendorIds.empty()) rule.add({kDefaultCameraVendorId, kStorageModeProductId});
  return rule;
}

bool UpdateManager::isOtherFile(const std::string& name) {
  return name != ".DS_Store" && name != "update.swu" && name != "update.img" &&
         name != "update.zip" && name != "update_ai.img";
}

void UpdateManager::logPaths(const std::string& local, const std::string& resource,
                             const std::string& volumeImage, const std::string& volumeResource) {
  UPDATER_LOG_DEBUG("[UpdateManager]Local img path:" + local);
  UPDATER_LOG_DEBUG("[UpdateManager]Local file path:" + resource);
  UPDATER_LOG_DEBUG("[UpdateManager]Volume img path:" + volumeImage);
  UPDATER_LOG_DEBUG("[UpdateManager]Volume file path:" + volumeResource);
}

void UpdateManager::finishFirmwareMove(const Completion& complete, bool ok,
                                       const std::string& error) {
  if (!ok) {
    UPDATER_LOG_DEBUG("[UpdateManager]Save file error:" + error);
    return report(complete, false);
  }
  UPDATER_LOG_DEBUG("[UpdateManager]Save file ok");
  // The camera needs time to see the written files before the volume goes.
  platform::Clock::sleepFor(kFirmwareSettle);
  report(complete, true);
}

void UpdateManager::report(const Completion& complete, bool ok) {
  env_.mainQueue->async([complete, ok] {
    if (complete) complete(ok);
  });
}

std::string UpdateManager::findVolume(const char* prefix, platform::Volumes::Access access) {
  const std::string p = prefix;
  std::string chipId = env_.chipId ? env_.chipId() : std::string();
  auto setProblem = [this](const std::string& text) {
    std::lock_guard lock(problemMutex_);
    lastProblem_ = text;
  };
  if (!env_.volumes) {
    setProblem("no volumes to search");
    return {};
  }
  auto matches = [&](const std::string& root) {
    std::string markerPath = root + (root.ends_with("/") ? "" : "/") + kMarkerName;
    std::string text, why;
    if (auto marker = readMarker(markerPath, why)) {
      text = *marker;
    } else {
      UPDATER_LOG_DEBUG(p + "File not found :" + why);
    }
    UPDATER_LOG_DEBUG(p + (p.empty() ? "volume chip id:" : "Volume chip id:") + text);
    UPDATER_LOG_DEBUG(p + (p.empty() ? "target chip id:" : "Target chip id:") + chipId);
    // An empty chip id names no camera: it would otherwise match every marker.
    if (chipId.empty() || text.find(chipId) == std::string::npos) return false;
    UPDATER_LOG_DEBUG("[UpdateManager]Find the chip ID " + text + " volume path: " + root);
    return true;
  };
  platform::VolumeCandidates::Rule candidates =
      env_.cameraDisks ? env_.cameraDisks() : platform::VolumeCandidates::Rule{};
  std::string missing;
  std::vector<std::string> found = env_.volumes->findVolumes(matches, candidates, access, &missing);
  if (found.empty()) {
    std::string problem =
        std::string("no volume carries \"") + kMarkerName + "\" with the camera's chip id " +
        (chipId.empty() ? std::string("(the camera reported none)") : chipId) + ": " + missing;
    UPDATER_LOG_ERROR("[UpdateManager]" + problem);
    setProblem(problem);
    return {};
  }
  setProblem("");
  return found.back();
}

std::string UpdateManager::getUsbPath() {
  return findVolume("[UpdateManager]", platform::Volumes::Access::readOnly);
}

std::string UpdateManager::lastProblem() const {
  std::lock_guard lock(problemMutex_);
  return lastProblem_;
}

void UpdateManager::releaseVolumes() {
  env_.workQueue->async([this] {
    if (env_.volumes) env_.volumes->unmountWhatWeMounted();
  });
}

void UpdateManager::moveFwFileToCamera(const std::string& path, Completion complete) {
  UPDATER_LOG_DEBUG("[UpdateManager]Move Fw to camera");
  moveImage(ImageKind::Fw, path, std::move(complete));
}

void UpdateManager::moveAiFileToCamera(const std::string& path, Completion complete) {
  UPDATER_LOG_DEBUG("[UpdateManager]Move Ai to camera");
  moveImage(ImageKind::Ai, path, std::move(complete));
}

void UpdateManager::moveImage(ImageKind kind, const std::string& path, Completion complete) {
  env_.workQueue->async([this, kind, path, complete = std::move(complete)] {
    std::string volume = findVolume("[UpdateManager]", platform::Volumes::Access::readWrite);
    if (volume.empty()) return report(complete, false);
    UPDATER_LOG_DEBUG("[UpdateManager]Find the camera usb path");
    bool fw = kind == ImageKind::Fw;
    std::string local = path + (fw ? "/update.img" : "/update_ai.img");
    std::string resource = env_.resourcePath ? env_.resourcePath(kResourceName).value_or("") : "";
    std::string volumeImage = volume + "/update.img";
    std::string volumeResource = volume + "/" + kResourceName;
    std::string error;
    if (!fw) {
      if (!exists(local)) {
        UPDATER_LOG_DEBUG("[UpdateManager]Save file error");
        return report(complete, false);
      }
      if (!removeIfPresent(volumeResource, error)) {
        UPDATER_LOG_DEBUG("[UpdateManager]Save file error:" + error);
        return report(complete, false);
      }
    }
    UPDATER_LOG_DEBUG(fw ? "[UpdateManager]Update file type is *Fw img*"
                         : "[UpdateManager]Update file type is *Ai img*");
    logPaths(local, resource, volumeImage, volumeResource);
    if (fw && !exists(local)) {
      UPDATER_LOG_DEBUG("[UpdateManager]Find local file error");
      return report(complete, false);
    }
    bool ok = removeIfPresent(volumeResource, error) && removeIfPresent(volumeImage, error) &&
              copyItem(local, volumeImage, error) && copyItem(resource, volumeResource, error);
    finishFirmwareMove(complete, ok, error);
  });
}

void UpdateManager::moveZipFileToCamera(const std::string& path, Completion complete) {
  UPDATER_LOG_DEBUG("[UpdateManager]Move Zip to camera");
  env_.workQueue->async([this, path, complete = std::move(complete)] {
    std::string volume = findVolume("[UpdateManager]", platform::Volumes::Access::readWrite);
    if (volume.empty()) return report(complete, false);
    UPDATER_LOG_DEBUG("[UpdateManager]Find the camera usb path");
    std::string local = path + "/update.zip";
    std::string resource = env_.resourcePath ? env_.resourcePath(kResourceName).value_or("") : "";
    std::string destination = volume + "/" + kZipFolderName;
    std::string volumeResource = volume + "/" + kResourceName;
    if (!exists(local)) {
      UPDATER_LOG_DEBUG("[UpdateManager]Save file error");
      return report(complete, false);
    }
    std::string error;
    if (!removeIfPresent(volumeResource, error)) {
      UPDATER_LOG_DEBUG("[UpdateManager]Save file error:" + error);
      return report(complete, false);
    }
    UPDATER_LOG_DEBUG("[UpdateManager]Update file type is *ZIP*");
    logPaths(local, resource, destination, volumeResource);
    bool ok = PackageArchive::extract(local, destination, std::string(kPackagePassword), &error) &&
              copyItem(resource, volumeResource, error);
    finishFirmwareMove(complete, ok, error);
  });
}

void UpdateManager::moveOtherFilesToCamera(const std::string& path, Completion complete) {
  UPDATER_LOG_DEBUG("[UpdateManager]Move other file to camera");
  env_.workQueue->async([this, path, complete = std::move(complete)] {
    std::string volume = findVolume("", platform::Volumes::Access::readWrite);
    if (volume.empty()) return report(complete, false);
    UPDATER_LOG_DEBUG("[UpdateManager]Find the camera usb path");
    std::error_code ec;
    std::vector<std::string> names;
    for (fs::directory_iterator it(path, ec); !ec && it != fs::directory_iterator();
         it.increment(ec))
      names.push_back(it->path().filename().string());
    if (ec) {
      UPDATER_LOG_DEBUG("[UpdateManager]Error while list files:" + ec.message());
      return report(complete, false);
    }
    std::sort(names.begin(), names.end());
    bool copied = false;
    for (const std::string& name : names) {
      std::cout << name << '\n' << std::flush;
      if (!isOtherFile(name)) continue;
      std::string local = path + "/" + name;
      std::string target = volume + "/" + name;
      UPDATER_LOG_DEBUG("[UpdateManager]Local other file path:" + local);
      UPDATER_LOG_DEBUG("[UpdateManager]Volume other file path:" + target);
      std::string error;
      if (removeIfPresent(target, error) && copyItem(local, target, error)) {
        UPDATER_LOG_DEBUG("[UpdateManager]Save file ok");
        copied = true;
      } else {
        UPDATER_LOG_DEBUG("[UpdateManager]Save file error:" + error);
      }
    }
    report(complete, copied);
  });
}

void UpdateManager::unmountDevice(Completion completed) {
  UPDATER_LOG_DEBUG("[UpdateManager]Start unmount device");
  env_.workQueue->async([this, completed = std::move(completed)] {
    // Only to eject it: a volume not mounted yet is mounted read-only.
    std::string volume = findVolume("[UpdateManager]", platform::Volumes::Access::readOnly);
    if (volume.empty()) return report(completed, false);
    bool ok = env_.volumes->unmountAndEject(volume);
    UPDATER_LOG_DEBUG(std::string("[UpdateManager]Device eject success:") +
                      (ok ? "true" : "false"));
    env_.volumes->unmountWhatWeMounted();
    platform::Clock::sleepFor(kEjectSettle);
    report(completed, ok);
  });
}

}  // namespace updater
