#include "widgets/ImageAssets.h"

#include "Bundle.h"
#include "log/LogManager.h"

namespace corvane {

QPixmap ImageAssets::named(const QString& name) {
  const std::string file = name.toStdString() + ".png";
  // The pictures folder first, then the resources' top.
  auto path = platform::Bundle::main().pathForResource("images/" + file);
  if (!path) path = platform::Bundle::main().pathForResource(file);
  QPixmap image;
  if (!path || !image.load(QString::fromStdString(*path))) {
    CV_LOG_WARNING("no picture " + file + " in the resources");
    return {};
  }
  // The pictures are drawn at three times their size in points.
  image.setDevicePixelRatio(3.0);
  return image;
}

}  // namespace corvane
