#include "config/HexColor.h"

#include <cctype>
#include <cstdio>

namespace corvane {

namespace {

// Characters, not bytes: a UTF-8 lead byte starts one.
size_t characterCount(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<QColor> colorFromHexString(const std::string& text) {
  if (text.empty() || text[0] != '#') return std::nullopt;
  std::string rest = text.substr(1);
  if (characterCount(rest) != 6) return std::nullopt;
  size_t i = 0;
  while (i < rest.size() && std::isspace(static_cast<unsigned char>(rest[i]))) ++i;
  if (i + 2 < rest.size() && rest[i] == '0' && (rest[i + 1] == 'x' || rest[i + 1] == 'X') &&
      hexDigit(rest[i + 2]) >= 0) {
    i += 2;
  }
  unsigned long long v = 0;
  size_t digits = 0;
  for (; i < rest.size() && hexDigit(rest[i]) >= 0; ++i, ++digits) v = v * 16 + hexDigit(rest[i]);
  if (digits == 0) return std::nullopt;
  // Each component is the byte over 255; an 8-bit colour holds that fraction exactly.
  return QColor::fromRgb(static_cast<int>((v >> 16) & 0xFF), static_cast<int>((v >> 8) & 0xFF),
                         static_cast<int>(v & 0xFF));
}

std::string hexStringOfColor(const QColor& color) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "#%02X%02X%02X", color.red(), color.green(), color.blue());
  return buf;
}

}  // namespace corvane
