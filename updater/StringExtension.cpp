#include "StringExtension.h"

#include <QRegularExpression>

namespace updater {

std::vector<std::string> StringExtension::captures(const std::string& text,
                                                   const std::string& pattern) {
  QRegularExpression expression(QString::fromStdString(pattern));
  if (!expression.isValid()) return {};
  QRegularExpressionMatch match = expression.match(QString::fromStdString(text));
  if (!match.hasMatch()) return {};
  std::vector<std::string> groups;
  for (int i = 1; i <= expression.captureCount(); ++i)
    groups.push_back(match.captured(i).toStdString());
  return groups;
}

std::pair<std::string, std::string> StringExtension::vendorProductIds(const std::string& modelID) {
  auto groups = captures(modelID, R"(^UVC\s+Camera\s+VendorID\_([0-9]+)\s+ProductID\_([0-9]+)$)");
  if (groups.size() != 2) return {};
  return {groups[0], groups[1]};
}

}  // namespace updater
