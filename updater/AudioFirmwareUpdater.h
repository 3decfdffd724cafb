#pragma once

#include <functional>
#include <memory>
#include <string>

namespace updater {

// What the update flow needs of the firmware-update framework: the audio device's update from
// an "update.swu" file, reported through five callbacks that may run on any thread.
class AudioFirmwareUpdater {
 public:
  using Callback = std::function<void()>;
  using ProgressCallback = std::function<void(int)>;
  using Factory = std::function<std::unique_ptr<AudioFirmwareUpdater>(int vendorId, int productId,
                                                                      const std::string& filePath)>;

  virtual ~AudioFirmwareUpdater() = default;
  virtual void RegisterDeviceCB(Callback progressView, ProgressCallback progress,
                                Callback privacyView, Callback installationErrorView,
                                Callback completeUpdate) = 0;
  virtual void FirmwareUpdate() = 0;
  virtual bool isUacConnected() const = 0;

  // The framework's facade.
  static Factory framework();
};

}  // namespace updater
