#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvane {

// The settings-store fields the camera manager reads and writes, on the main thread. The
// production binding reads the program's settings store.
class CameraSettings {
 public:
  virtual ~CameraSettings() = default;

  virtual std::vector<std::string> cameraNames() const = 0;
  virtual std::vector<std::string> cameraVendorIds() const = 0;
  virtual std::vector<std::string> cameraProductIds() const = 0;
  virtual int64_t connectRetryTime() const = 0;
  virtual void saveConfigFile() = 0;

  virtual bool enableNewDetectLayout() const = 0;
  virtual bool enableLaunchDetect() const = 0;
  virtual bool enableStatisticsDoa() const = 0;
  virtual int64_t statisticsDoaThreshold() const = 0;
  virtual bool enableFlipDoa() const = 0;
  virtual bool defaultAutoDetect() const = 0;
  virtual void setDefaultAutoDetect(bool value) = 0;
  virtual int64_t detectInterval() const = 0;
  virtual void setDefaultDisplayMode(int64_t value) = 0;
  virtual void setIsSingleSpeakerMode(bool value) = 0;
  // The camera's field-of-view values for the top, middle and bottom positions (0, 1, 2).
  virtual int64_t fovValue(int position) const = 0;
};

}  // namespace corvane
