#include "widgets/NamedColors.h"

#include <map>

#include "log/LogManager.h"

namespace corvane {

namespace {

const std::map<QString, QColor>& table() {
  static const std::map<QString, QColor> colors{
      {QStringLiteral("veryLightPinkColor"), QColor(0xE6, 0xE1, 0xE1)},
      {QStringLiteral("lightPinkColor"), QColor(0xF2, 0xD5, 0xD5)},
      {QStringLiteral("75Color"), QColor(0x4B, 0x4B, 0x4B)},
      {QStringLiteral("54Color"), QColor(0x36, 0x36, 0x36)},
      {QStringLiteral("59Color"), QColor(0x3B, 0x3B, 0x3B)},
      {QStringLiteral("tintColor"), QColor(40, 150, 245)},
      {QStringLiteral("black50Color"), QColor(0, 0, 0, 128)},
      {QStringLiteral("clearColor"), QColor(0, 0, 0, 0)},
      {QStringLiteral("windowBackgroundColor"), QColor(0x1E, 0x1F, 0x22)},
  };
  return colors;
}

}  // namespace

bool NamedColors::has(const QString& name) { return table().count(name) != 0; }

QColor NamedColors::color(const QString& name) {
  const auto& colors = table();
  if (auto it = colors.find(name); it != colors.end()) return it->second;
  CV_LOG_WARNING("no colour asset named " + name.toStdString());
  return QColor(255, 0, 255);
}

}  // namespace corvane
