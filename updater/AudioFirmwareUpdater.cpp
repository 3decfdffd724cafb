#include "AudioFirmwareUpdater.h"

#include "QD4718Updater.h"

namespace updater {

namespace {

class FrameworkUpdater : public AudioFirmwareUpdater {
 public:
  FrameworkUpdater(int vendorId, int productId, const std::string& filePath,
                   qd4718::HIDManager::Backends backends)
      : facade_(vendorId, productId, filePath, std::move(backends)) {}
  void RegisterDeviceCB(Callback progressView, ProgressCallback progress, Callback privacyView,
                        Callback installationErrorView, Callback completeUpdate) override {
    facade_.RegisterDeviceCB(std::move(progressView), std::move(progress), std::move(privacyView),
                             std::move(installationErrorView), std::move(completeUpdate));
  }
  void FirmwareUpdate() override { facade_.FirmwareUpdate(); }
  bool isUacConnected() const override { return facade_.isUacConnected(); }
  std::string failureReason() const override { return facade_.failureReason(); }

 private:
  qd4718::QD4718Updater facade_;
};

}  // namespace

AudioFirmwareUpdater::Factory AudioFirmwareUpdater::framework() {
  return framework(&qd4718::HIDManager::systemBackends);
}

AudioFirmwareUpdater::Factory AudioFirmwareUpdater::framework(Backends backends) {
  return [backends](int vendorId, int productId, const std::string& filePath) {
    return std::unique_ptr<AudioFirmwareUpdater>(std::make_unique<FrameworkUpdater>(
        vendorId, productId, filePath, backends(vendorId, productId)));
  };
}

}  // namespace updater
