// Draws the main window's notification bell into the folder given (resources/app), with its
// twelve ringing frames icon_notification0001.png to icon_notification0012.png. Run by hand when
// the pictures change; the PNGs are committed. (The preview's gesture cursors are the pictures
// in resources/app/images.)
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

namespace {

bool save(const QImage& image, const QString& folder, const QString& name) {
  bool ok = image.save(folder + "/" + name + ".png");
  if (!ok) std::fprintf(stderr, "cannot write %s\n", qPrintable(name));
  return ok;
}

// The bell, swung by `angle` degrees about its top.
QImage bell(double angle) {
  QImage image(56, 56, QImage::Format_ARGB32_Premultiplied);  // 28 points at 2x
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.translate(28, 10);
  p.rotate(angle);
  QPainterPath body;
  body.moveTo(-14, 26);
  body.cubicTo(-12, 22, -12, 6, 0, 4);
  body.cubicTo(12, 6, 12, 22, 14, 26);
  body.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xE6, 0xE1, 0xE1));
  p.drawPath(body);
  p.drawEllipse(QPointF(0, 30), 4, 4);
  p.drawEllipse(QPointF(0, 3), 3, 3);
  p.resetTransform();
  // The dot that says something is new.
  p.setBrush(QColor(40, 150, 245));
  p.drawEllipse(QPointF(44, 12), 7, 7);
  p.end();
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <resources/app>\n", argv[0]);
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  bool ok = true;
  ok &= save(bell(0), folder, "icon_notification");
  // One swing: right, back, left, back, damped, then still.
  const double swing[12] = {0, 14, 22, 14, 0, -14, -22, -14, 0, 8, 0, 0};
  for (int i = 0; i < 12; ++i)
    ok &= save(bell(swing[i]), folder, QString::asprintf("icon_notification%04d", i + 1));
  return ok ? 0 : 1;
}
