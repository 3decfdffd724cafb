#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "NotificationCenter.h"
#include "update/HIDManager.h"

namespace qd4718 {

// The firmware-update framework's facade: updates the audio device's firmware from an
// "update.swu" file and reports through five callbacks.
//
// The callbacks run on the framework's HID thread, never on the caller's: a caller that touches
// its user interface from one moves to its main thread itself.
class QD4718Updater {
 public:
  using Callback = std::function<void()>;
  using ProgressCallback = std::function<void(int)>;

  // Starts looking for the device at once.
  QD4718Updater(int vendorId, int productId, std::string filePath);
  // The same over other HID and volume layers (tests).
  QD4718Updater(int vendorId, int productId, std::string filePath, HIDManager::Backends backends);
  ~QD4718Updater();
  QD4718Updater(const QD4718Updater&) = delete;
  QD4718Updater& operator=(const QD4718Updater&) = delete;

  // Only the first call counts. Never destroy the updater from inside one of its callbacks.
  // progress receives the flow's step number (0 to 18), not a percentage, once per step and timer
  // tick.
  void RegisterDeviceCB(Callback progressView, ProgressCallback progress, Callback privacyView,
                        Callback installationErrorView, Callback completeUpdate);
  // Starts the update; returns at once.
  void FirmwareUpdate();

  // Why the last failure happened, in a user's words, where the framework knows more than the
  // error's text (a copy onto the device's volume: not mounted, read-only, full); empty else.
  // Set before the error's callback runs.
  std::string failureReason() const;

  std::string filePath() const;
  void setFilePath(std::string path);
  bool isUacConnected() const { return isUacConnected_.load(); }
  void setIsUacConnected(bool connected) { isUacConnected_.store(connected); }

  HIDManager* hidManager() const { return hidManager_.get(); }

 private:
  void hidConnected(const Notification& notification);
  void hidDisconnected(const Notification&) {}
  void hidCheckStatus(const Notification&) {}
  void hidPrepareUpdate(const Notification&) {}
  void hidMoveFile(const Notification&) {}
  void hidStartUpdate(const Notification& notification);
  void hidUpdating(const Notification& notification);
  void hidCompleteUpdate(const Notification& notification);
  void hidError(const Notification& notification);

  std::unique_ptr<HIDManager> hidManager_;
  mutable std::mutex mutex_;  // the callbacks and filePath: set on one thread, used on another
  Callback setUpdateProgressViewCB;
  ProgressCallback setUpdateProgressCB;
  Callback setPrivacyViewCB;
  Callback setInstallationErrorViewCB;
  Callback completeUpdateCB;
  bool isHookUacCB = false;
  std::string filePath_;
  std::string failureReason_;
  std::atomic<bool> isUacConnected_{false};
  std::vector<NotificationCenter::Token> observers_;
};

}  // namespace qd4718
