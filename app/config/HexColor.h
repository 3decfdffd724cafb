#pragma once

#include <QColor>
#include <optional>
#include <string>

namespace corvane {

// The colour of a text "#RRGGBB", or none. After the "#" exactly six characters must follow;
// they are read like a hexadecimal scanner does: leading white space skipped, an optional "0x",
// then as many hexadecimal digits as follow (at least one) form the number 0xRRGGBB.
std::optional<QColor> colorFromHexString(const std::string& text);

// "#RRGGBB" in upper case.
std::string hexStringOfColor(const QColor& color);

}  // namespace corvane
