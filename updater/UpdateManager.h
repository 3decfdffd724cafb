#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Volumes.h"

namespace platform {
class Queue;
}  // namespace platform

namespace updater {

// Places the camera firmware of an unpacked update package onto the removable volume the
// camera shows in update mode, and ejects that volume. The camera's update volume holds at its
// root a text file "ast_fw_update_disk" whose text contains the camera's chip id.
//
// Each move and the eject runs on the work queue and reports once, on the main queue. A
// firmware move that succeeded reports 8 s after its copy and the eject 5 s after it, so that
// the camera sees the files and the volume's removal.
class UpdateManager {
 public:
  using Completion = std::function<void(bool)>;

  struct Environment {
    platform::Volumes* volumes = nullptr;
    std::function<std::string()> chipId;
    // The camera's own disks (see cameraDiskRule()): no other disk is ever mounted to look for
    // the marker.
    std::function<platform::VolumeCandidates::Rule()> cameraDisks;
    std::function<std::optional<std::string>(const std::string& name)> resourcePath;
    platform::Queue* workQueue = nullptr;
    platform::Queue* mainQueue = nullptr;
    static Environment process();
  };

  static constexpr const char* kPackagePassword = "Q7mVx2KpL9tRw4Hn8ZcB3yFd6GsJ1aUe";
  static constexpr const char* kMarkerName = "ast_fw_update_disk";
  static constexpr const char* kResourceName = "ast_app_update";
  static constexpr const char* kZipFolderName = "UpDaTe_pAcKaGE";

  // The product id under which the camera shows itself in storage mode, its update volume.
  static constexpr uint16_t kStorageModeProductId = 0x1221;
  // The camera accepted without configured ids.
  static constexpr uint16_t kDefaultCameraVendorId = 0x2245;

  static UpdateManager& shared();
  explicit UpdateManager(Environment environment);

  // The camera's update volume, or the empty text; the last matching volume wins. When no
  // mounted volume carries the camera's marker, the unmounted file-system devices are mounted
  // through udisks2 (a desktop without automount) and the one with the marker is used.
  std::string getUsbPath();
  // What was missing when the last search found no update volume; empty after a search that
  // found one.
  std::string lastProblem() const;
  // Unmounts whatever the searches mounted and is still mounted (after a failed update).
  void releaseVolumes();

  void moveFwFileToCamera(const std::string& path, Completion complete);
  void moveAiFileToCamera(const std::string& path, Completion complete);
  void moveZipFileToCamera(const std::string& path, Completion complete);
  // Every file of the package but the firmware images; true when at least one was copied.
  void moveOtherFilesToCamera(const std::string& path, Completion complete);
  void unmountDevice(Completion completed);

  // The USB devices whose disks may be the camera's update volume: the open camera's ids
  // ("0x2245", "0x1221"), each configured vendor with its configured product and with the
  // storage mode's product, and without configured vendors the default camera in storage
  // mode. Ids that are no USB ids are left out.
  static platform::VolumeCandidates::Rule cameraDiskRule(const std::vector<std::string>& vendorIds,
                                                         const std::vector<std::string>& productIds,
                                                         const std::string& openVendorId,
                                                         const std::string& openProductId);
  // Whether a package folder's entry is one of the other files (not an image, the audio
  // firmware, the inner zip or Finder's ".DS_Store").
  static bool isOtherFile(const std::string& name);

  bool isKLUpdate = false;

 private:
  enum class ImageKind { Fw, Ai };
  // `prefix` is put before the per-volume log lines ("[UpdateManager]" or nothing).
  // `access`: what the step does on the volume. Disks are mounted read-only to look for the
  // marker; for a step that writes, the one found is mounted again read-write.
  std::string findVolume(const char* prefix, platform::Volumes::Access access);
  void moveImage(ImageKind kind, const std::string& path, Completion complete);
  void report(const Completion& complete, bool ok);
  // After a firmware copy: the error line and false, or true after the camera's settle time.
  void finishFirmwareMove(const Completion& complete, bool ok, const std::string& error);
  static void logPaths(const std::string& local, const std::string& resource,
                       const std::string& volumeImage, const std::string& volumeResource);

  Environment env_;
  mutable std::mutex problemMutex_;
  std::string lastProblem_;
};

}  // namespace updater
