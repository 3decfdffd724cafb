// Draws the control board's indicator lamp pictures, icon_light_off.png and icon_light_on.png,
// into the folder given (resources/app). Run by hand when the pictures change.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRadialGradient>
#include <cstdio>

namespace {

bool drawLamp(const QString& path, QColor core, QColor rim, QColor glow) {
  constexpr int kSide = 48;  // 16-point lamp at 3x
  QImage image(kSide, kSide, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const QPointF centre(kSide / 2.0, kSide / 2.0);
  QRadialGradient halo(centre, kSide / 2.0);
  halo.setColorAt(0.5, glow);
  halo.setColorAt(1.0, Qt::transparent);
  p.setPen(Qt::NoPen);
  p.setBrush(halo);
  p.drawEllipse(centre, kSide / 2.0, kSide / 2.0);
  QRadialGradient body(centre - QPointF(4, 4), kSide / 4.0);
  body.setColorAt(0.0, core.lighter(140));
  body.setColorAt(1.0, core);
  p.setBrush(body);
  p.setPen(QPen(rim, 2));
  p.drawEllipse(centre, kSide / 4.0, kSide / 4.0);
  p.end();
  return image.save(path, "PNG");
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  const bool ok = drawLamp(folder + "/icon_light_off.png", QColor(0x55, 0x55, 0x55),
                           QColor(0x3A, 0x3A, 0x3A), Qt::transparent) &&
                  drawLamp(folder + "/icon_light_on.png", QColor(40, 150, 245),
                           QColor(20, 110, 200), QColor(40, 150, 245, 110));
  if (!ok) std::fprintf(stderr, "could not write the pictures into %s\n", argv[1]);
  return ok ? 0 : 1;
}
