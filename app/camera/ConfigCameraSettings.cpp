#include "camera/ConfigCameraSettings.h"

#include "config/ConfigManager.h"

namespace corvane {

ConfigCameraSettings::ConfigCameraSettings(ConfigManager& config) : config_(config) {}

std::vector<std::string> ConfigCameraSettings::cameraNames() const { return config_.cameraNames; }
std::vector<std::string> ConfigCameraSettings::cameraVendorIds() const {
  return config_.cameraVendorIds;
}
std::vector<std::string> ConfigCameraSettings::cameraProductIds() const {
  return config_.cameraProductIds;
}
int64_t ConfigCameraSettings::connectRetryTime() const { return config_.connectRetryTime; }
void ConfigCameraSettings::saveConfigFile() { config_.saveConfigFile(); }
bool ConfigCameraSettings::enableNewDetectLayout() const { return config_.enableNewDetectLayout; }
bool ConfigCameraSettings::enableLaunchDetect() const { return config_.enableLaunchDetect; }
bool ConfigCameraSettings::enableStatisticsDoa() const { return config_.enableStatisticsDoa; }
int64_t ConfigCameraSettings::statisticsDoaThreshold() const {
  return config_.statisticsDoaThreshold;
}
bool ConfigCameraSettings::enableFlipDoa() const { return config_.enableFlipDoa; }
bool ConfigCameraSettings::defaultAutoDetect() const { return config_.defaultAutoDetect; }
void ConfigCameraSettings::setDefaultAutoDetect(bool value) { config_.defaultAutoDetect = value; }
int64_t ConfigCameraSettings::detectInterval() const { return config_.detectInterval; }
void ConfigCameraSettings::setDefaultDisplayMode(int64_t value) {
  config_.defaultDisplayMode = value;
}
void ConfigCameraSettings::setIsSingleSpeakerMode(bool value) {
  config_.isSingleSpeakerMode = value;
}
int64_t ConfigCameraSettings::fovValue(int position) const {
  switch (position) {
    case 0:
      return config_.fov1Value;
    case 1:
      return config_.fov2Value;
    case 2:
      return config_.fov3Value;
    default:
      return 0;
  }
}

}  // namespace corvane
