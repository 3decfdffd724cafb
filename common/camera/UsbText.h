#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace corvane {

// Texts inside the camera's reply blocks. Each ends at its first zero byte or at the end of its
// block, never beyond.
class UsbText {
 public:
  // The bytes up to the first zero, as they are.
  static std::string raw(const uint8_t* block, size_t size);
  // The text when it is valid UTF-8, else the empty text.
  static std::string utf8(const uint8_t* block, size_t size);
  // The text when it is plain ASCII, else the empty text.
  static std::string ascii(const uint8_t* block, size_t size);
  // A text-command reply: ASCII, its first line, every "0x" removed.
  static std::string commandReply(const uint8_t* text, size_t size);

  static bool isValidUtf8(const std::string& text);
};

}  // namespace corvane
