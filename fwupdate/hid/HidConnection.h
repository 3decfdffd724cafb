#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qd4718 {

// One open HID device node: output reports out, input reports in.
class HidConnection {
 public:
  virtual ~HidConnection() = default;
  // Sends one output report; its first byte is the report id. Returns false when the device
  // refused it or is gone.
  virtual bool writeOutputReport(const std::vector<uint8_t>& report) = 0;
  // Waits up to timeoutMs for one input report (report id first) and stores it in `report`.
  // Returns the report's length, 0 when none came in time, -1 when the device is gone.
  virtual int readInputReport(std::vector<uint8_t>& report, size_t maxLength, int timeoutMs) = 0;
};

}  // namespace qd4718
