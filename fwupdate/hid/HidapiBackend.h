#pragma once

#include "hid/HidBackend.h"

namespace qd4718 {

// The HID layer over hidapi's hidraw backend.
class HidapiBackend : public HidBackend {
 public:
  HidapiBackend();
  ~HidapiBackend() override;

  std::vector<DeviceInfo> enumerate() override;
  std::unique_ptr<HidConnection> open(const std::string& path) override;

 private:
  bool initialised_ = false;
};

}  // namespace qd4718
