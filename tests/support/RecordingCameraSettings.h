#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "camera/CameraSettings.h"

namespace testsupport {

// Camera settings held in plain fields, with the writes and saves counted.
class RecordingCameraSettings : public corvane::CameraSettings {
 public:
  std::vector<std::string> names;
  std::vector<std::string> vendorIds;
  std::vector<std::string> productIds;
  int64_t retryTime = 0;
  bool newDetectLayout = false;
  bool launchDetect = true;
  bool statisticsDoa = false;
  int64_t statisticsThreshold = 0;
  bool flipDoa = false;
  bool autoDetect = true;
  int64_t interval = 0;
  int64_t displayModeStored = -1;
  bool singleSpeaker = false;
  int64_t fov[3] = {10, 20, 30};
  std::atomic<int> saves{0};

  std::vector<std::string> cameraNames() const override { return names; }
  std::vector<std::string> cameraVendorIds() const override { return vendorIds; }
  std::vector<std::string> cameraProductIds() const override { return productIds; }
  int64_t connectRetryTime() const override { return retryTime; }
  void saveConfigFile() override { ++saves; }
  bool enableNewDetectLayout() const override { return newDetectLayout; }
  bool enableLaunchDetect() const override { return launchDetect; }
  bool enableStatisticsDoa() const override { return statisticsDoa; }
  int64_t statisticsDoaThreshold() const override { return statisticsThreshold; }
  bool enableFlipDoa() const override { return flipDoa; }
  bool defaultAutoDetect() const override { return autoDetect; }
  void setDefaultAutoDetect(bool v) override { autoDetect = v; }
  int64_t detectInterval() const override { return interval; }
  void setDefaultDisplayMode(int64_t v) override { displayModeStored = v; }
  void setIsSingleSpeakerMode(bool v) override { singleSpeaker = v; }
  int64_t fovValue(int position) const override {
    return position >= 0 && position < 3 ? fov[position] : 0;
  }
};

}  // namespace testsupport
