#include "StringExtension.h"

#include <QRegularExpression>
#include <QString>

namespace corvane {

StringExtension::VendorProductResult StringExtension::parseVendorProductID(
    const std::string& modelID) {
  auto failure = [&] {
    VendorProductResult result;
    result.error = Error{errorDomain, parseErrorCode, {{"query", modelID}}};
    return result;
  };
  // Case-sensitive, anchored at both ends, decimal digits only.
  static const QRegularExpression pattern(
      R"(^UVC\s+Camera\s+VendorID\_([0-9]+)\s+ProductID\_([0-9]+)$)");
  if (!pattern.isValid()) {
    VendorProductResult result;
    result.error = Error{"QRegularExpression",
                         static_cast<int>(pattern.patternErrorOffset()),
                         {{"pattern", pattern.pattern().toStdString()},
                          {"message", pattern.errorString().toStdString()}}};
    return result;
  }
  const QString text = QString::fromStdString(modelID);
  QRegularExpressionMatch match = pattern.match(text);
  if (!match.hasMatch() || match.lastCapturedIndex() != 2) return failure();

  bool vendorOk = false, productOk = false;
  qlonglong vendor = match.captured(1).toLongLong(&vendorOk, 10);
  qlonglong product = match.captured(2).toLongLong(&productOk, 10);
  if (!vendorOk || !productOk) return failure();  // beyond a signed 64-bit integer

  VendorProductResult result;
  result.value = VendorProductID{vendor, product};
  return result;
}

std::string StringExtension::bounded(std::string text, size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  size_t cut = maxBytes;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  size_t whole = text.size();
  text.resize(cut);
  return text + "... (" + std::to_string(whole - cut) + " bytes more, " + std::to_string(whole) +
         " bytes in all)";
}

std::string StringExtension::bounded(const std::string& text, size_t maxBytes,
                                     const std::function<std::string(std::string_view)>& shown) {
  std::string all = shown(text);
  if (all.size() <= maxBytes) return all;
  // Back to a character's start, but only as far as a UTF-8 character reaches: binary bytes
  // may hold long runs of what looks like continuation bytes.
  const auto cutAt = [&text](size_t n) {
    for (int back = 0; back < 3 && n > 0 && n < text.size() &&
                       (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80;
         ++back)
      --n;
    return n;
  };
  // The longest start whose shown form fits; each step measures its own start.
  size_t fits = 0, beyond = std::min(text.size(), maxBytes) + 1;
  while (beyond - fits > 1) {
    const size_t middle = fits + (beyond - fits) / 2;
    if (shown(std::string_view(text).substr(0, cutAt(middle))).size() <= maxBytes)
      fits = middle;
    else
      beyond = middle;
  }
  const size_t cut = cutAt(fits);
  return shown(std::string_view(text).substr(0, cut)) + "... (" +
         std::to_string(text.size() - cut) + " bytes more, " + std::to_string(text.size()) +
         " bytes in all)";
}

}  // namespace corvane
