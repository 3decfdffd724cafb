#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "hid/HIDDevice.h"

namespace qd4718 {

// Sends text commands to one device, each in an output report:
// 0x3F, the command's length, the command, [the payload's length, the payload], 0x00.
class HIDComm {
 public:
  static constexpr uint8_t kReportId = 0x3F;

  explicit HIDComm(HIDDevice device) : deviceInfo(std::move(device)) {}

  // Trims white space from the command and sends it; false when it could not go out.
  bool sendCommad(const std::string& cmd, const std::vector<uint8_t>& data = {});
  bool write(const std::string& cmd, const std::vector<uint8_t>& data = {});

  // The output report for a command, or nothing when the command or payload is too long to
  // frame (their lengths travel in one byte).
  static std::optional<std::vector<uint8_t>> buildReport(const std::string& cmd,
                                                         const std::vector<uint8_t>& data);
  // Report bytes as text: removeId drops the first byte, cleanGarbage drops control characters
  // (the terminator, padding, line ends).
  static std::string convertByteDataToString(const std::vector<uint8_t>& data, bool removeId,
                                             bool cleanGarbage);

  HIDDevice deviceInfo;
};

}  // namespace qd4718
