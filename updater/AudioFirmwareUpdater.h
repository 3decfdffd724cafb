#pragma once

#include <functional>
#include <memory>
#include <string>

#include "update/HIDManager.h"

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
  // Why the last failure happened, where the framework knows more than its callback says (a
  // copy onto the device's volume: not mounted, read-only, full); empty else.
  virtual std::string failureReason() const { return {}; }

  // The framework's facade.
  static Factory framework();
  // The same over other HID and volume layers (a simulated device).
  using Backends = std::function<qd4718::HIDManager::Backends(int vendorId, int productId)>;
  static Factory framework(Backends backends);
};

}  // namespace updater
