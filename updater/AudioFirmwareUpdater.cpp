#include "AudioFirmwareUpdater.h"

#include "QD4718Updater.h"

namespace updater {

namespace {

class FrameworkUpdater : public AudioFirmwareUpdater {
 public:
  FrameworkUpdater(int vendorId, int productId, const std::string& filePath)
      : facade_(vendorId, productId, filePath) {}
  void RegisterDeviceCB(Callback progressView, ProgressCallback progress, Callback privacyView,
                        Callback installationErrorView, Callback completeUpdate) override {
    facade_.RegisterDeviceCB(std::move(progressView), std::move(progress), std::move(privacyView),
                             std::move(installationErrorView), std::move(completeUpdate));
  }
  void FirmwareUpdate() override { facade_.FirmwareUpdate(); }
  bool isUacConnected() const override { return facade_.isUacConnected(); }

 private:
  qd4718::QD4718Updater facade_;
};

}  // namespace

AudioFirmwareUpdater::Factory AudioFirmwareUpdater::framework() {
  return [](int vendorId, int productId, const std::string& filePath) {
    return std::unique_ptr<AudioFirmwareUpdater>(
        std::make_unique<FrameworkUpdater>(vendorId, productId, filePath));
  };
}

}  // namespace updater
