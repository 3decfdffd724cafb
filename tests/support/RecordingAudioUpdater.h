#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "AudioFirmwareUpdater.h"

namespace testsupport {

// Stands for the firmware-update framework in the update flow's tests: records what the flow
// asks and lets the test fire the five callbacks, from any thread.
class RecordingAudioUpdater : public updater::AudioFirmwareUpdater {
 public:
  struct Log {
    std::mutex mutex;
    std::vector<std::tuple<int, int, std::string>> created;  // vendor, product, file
    int firmwareUpdates = 0;
    std::atomic<bool> connected{true};
    std::string reason;  // what failureReason() says
    RecordingAudioUpdater* last = nullptr;
  };

  explicit RecordingAudioUpdater(std::shared_ptr<Log> log) : log_(std::move(log)) {}
  ~RecordingAudioUpdater() override {
    std::lock_guard lock(log_->mutex);
    if (log_->last == this) log_->last = nullptr;
  }

  static Factory factory(std::shared_ptr<Log> log) {
    return [log](int vendorId, int productId, const std::string& filePath) {
      auto updater = std::make_unique<RecordingAudioUpdater>(log);
      std::lock_guard lock(log->mutex);
      log->created.emplace_back(vendorId, productId, filePath);
      log->last = updater.get();
      return std::unique_ptr<updater::AudioFirmwareUpdater>(std::move(updater));
    };
  }

  void RegisterDeviceCB(Callback progressView, ProgressCallback progress, Callback privacyView,
                        Callback installationErrorView, Callback completeUpdate) override {
    progressView_ = std::move(progressView);
    progress_ = std::move(progress);
    privacyView_ = std::move(privacyView);
    installationErrorView_ = std::move(installationErrorView);
    completeUpdate_ = std::move(completeUpdate);
  }
  void FirmwareUpdate() override {
    std::lock_guard lock(log_->mutex);
    ++log_->firmwareUpdates;
  }
  bool isUacConnected() const override { return log_->connected.load(); }
  std::string failureReason() const override {
    std::lock_guard lock(log_->mutex);
    return log_->reason;
  }

  void fireProgressView() { progressView_(); }
  void fireProgress(int value) { progress_(value); }
  void firePrivacyView() { privacyView_(); }
  void fireInstallationError() { installationErrorView_(); }
  void fireComplete() { completeUpdate_(); }

 private:
  std::shared_ptr<Log> log_;
  Callback progressView_;
  ProgressCallback progress_;
  Callback privacyView_;
  Callback installationErrorView_;
  Callback completeUpdate_;
};

}  // namespace testsupport
