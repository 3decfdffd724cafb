#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

// The camera's voice-direction record: type code, voice flag, angle in degrees. On the wire it
// is 12 bytes, little-endian: int32 type, the flag in byte 4, three padding bytes, int32 angle.
struct DoaFormat {
  int32_t type = 4;
  bool voice = false;
  int32_t angle = 0;

  static constexpr size_t kWireSize = 12;
  // The record used when the camera cannot be asked.
  static DoaFormat defaultFormat() { return DoaFormat{4, false, 0}; }
  static DoaFormat fromWire(const uint8_t* bytes) {
    auto i32 = [bytes](size_t at) {
      return int32_t(uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 |
                     uint32_t(bytes[at + 2]) << 16 | uint32_t(bytes[at + 3]) << 24);
    };
    return DoaFormat{i32(0), bytes[4] != 0, i32(8)};
  }

  bool operator==(const DoaFormat&) const = default;
};

}  // namespace corvane
