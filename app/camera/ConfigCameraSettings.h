#pragma once

#include "camera/CameraSettings.h"

namespace corvane {

class ConfigManager;

// The camera settings as the program's settings store holds them.
class ConfigCameraSettings : public CameraSettings {
 public:
  explicit ConfigCameraSettings(ConfigManager& config);

  std::vector<std::string> cameraNames() const override;
  std::vector<std::string> cameraVendorIds() const override;
  std::vector<std::string> cameraProductIds() const override;
  int64_t connectRetryTime() const override;
  void saveConfigFile() override;
  bool enableNewDetectLayout() const override;
  bool enableLaunchDetect() const override;
  bool enableStatisticsDoa() const override;
  int64_t statisticsDoaThreshold() const override;
  bool enableFlipDoa() const override;
  bool defaultAutoDetect() const override;
  void setDefaultAutoDetect(bool value) override;
  int64_t detectInterval() const override;
  void setDefaultDisplayMode(int64_t value) override;
  void setIsSingleSpeakerMode(bool value) override;
  int64_t fovValue(int position) const override;

 private:
  ConfigManager& config_;
};

}  // namespace corvane
