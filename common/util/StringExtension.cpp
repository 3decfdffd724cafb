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

}  // namespace corvane
