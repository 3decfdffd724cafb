#include "camera/UsbText.h"

#include <cstring>

namespace corvane {

std::string UsbText::raw(const uint8_t* block, size_t size) {
  if (!block) return {};
  const void* zero = std::memchr(block, 0, size);
  size_t length = zero ? size_t(static_cast<const uint8_t*>(zero) - block) : size;
  return std::string(reinterpret_cast<const char*>(block), length);
}

bool UsbText::isValidUtf8(const std::string& text) {
  size_t i = 0;
  while (i < text.size()) {
    uint8_t c = uint8_t(text[i]);
    size_t extra;
    uint32_t cp;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      extra = 1;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + extra >= text.size()) return false;
    for (size_t k = 1; k <= extra; ++k) {
      uint8_t cc = uint8_t(text[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      cp = cp << 6 | (cc & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    static const uint32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += extra + 1;
  }
  return true;
}

std::string UsbText::utf8(const uint8_t* block, size_t size) {
  std::string text = raw(block, size);
  return isValidUtf8(text) ? text : std::string();
}

std::string UsbText::ascii(const uint8_t* block, size_t size) {
  std::string text = raw(block, size);
  for (char c : text)
    if (uint8_t(c) >= 0x80) return {};
  return text;
}

std::string UsbText::commandReply(const uint8_t* text, size_t size) {
  std::string reply = ascii(text, size);
  size_t newline = reply.find('\n');
  if (newline != std::string::npos) reply.resize(newline);
  std::string out;
  out.reserve(reply.size());
  for (size_t i = 0; i < reply.size(); ++i) {
    if (reply[i] == '0' && i + 1 < reply.size() && reply[i + 1] == 'x') {
      ++i;
      continue;
    }
    out.push_back(reply[i]);
  }
  return out;
}

}  // namespace corvane
