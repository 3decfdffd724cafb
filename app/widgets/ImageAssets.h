#pragma once

#include <QPixmap>
#include <QString>

namespace corvane {

// The program's pictures by name: "<name>.png" in its resources' "images" folder or at their
// top. A missing picture is logged and comes back empty.
class ImageAssets {
 public:
  static QPixmap named(const QString& name);
};

}  // namespace corvane
