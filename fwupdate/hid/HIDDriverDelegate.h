#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hid/HIDDevice.h"

namespace qd4718 {

// What the driver reports, always on its own thread.
class HIDDriverDelegate {
 public:
  virtual ~HIDDriverDelegate() = default;
  virtual void delegateConnect(const HIDDevice& device) = 0;
  virtual void delegateDisconnect(const std::string& id) = 0;
  // A reply for the update flow: its payload and the payload's length.
  virtual void delegateDataReceive(int length, const std::vector<uint8_t>& data) = 0;
  virtual void delegateErrorState(int32_t state, const std::string& message) = 0;
  virtual void delegateUpdateDevicde(int32_t state) = 0;
  virtual void delegateUploadDone() = 0;
  // Whether a device is there to take a reply.
  virtual bool hasConnectedDevice() const = 0;
};

}  // namespace qd4718
