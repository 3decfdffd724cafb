#pragma once

#include <QColor>
#include <QString>

namespace corvane {

// The program's colour assets, by the names the views use, and the few system colours the custom
// controls start with. An unknown name gives an opaque magenta and a warning, so a typo shows.
class NamedColors {
 public:
  static QColor color(const QString& name);
  static bool has(const QString& name);

  static QColor lightGray() { return QColor::fromRgbF(2.0 / 3.0, 2.0 / 3.0, 2.0 / 3.0); }
  static QColor gray() { return QColor::fromRgbF(0.5, 0.5, 0.5); }
  static QColor blue() { return QColor(0, 0, 255); }
  static QColor clear() { return QColor(0, 0, 0, 0); }
  // Fully transparent colours count as clear, whatever their channels hold.
  static bool isClear(const QColor& c) { return !c.isValid() || c.alpha() == 0; }
};

}  // namespace corvane
