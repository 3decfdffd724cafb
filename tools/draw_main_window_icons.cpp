// Draws the main window's pictures into the folder given (resources/app): the preview's gesture
// cursors (icon_any_move, icon_drag, icon_h_move, the four edges and four corners) at the sizes
// their hot spots assume, and the notification bell with its twelve ringing frames
// icon_notification0001.png to icon_notification0012.png. Run by hand when the pictures change;
// the PNGs are committed.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <cstdio>
#include <functional>
#include <numbers>

namespace {

const QColor kFill(Qt::white);
const QColor kOutline(Qt::black);

bool save(const QImage& image, const QString& folder, const QString& name) {
  bool ok = image.save(folder + "/" + name + ".png");
  if (!ok) std::fprintf(stderr, "cannot write %s\n", qPrintable(name));
  return ok;
}

// A white arrow shape with a black outline: the path drawn twice.
void stroke(QPainter& p, const QPainterPath& path) {
  p.setPen(QPen(kOutline, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPath(path);
  p.setPen(QPen(kFill, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPath(path);
}

// A double-headed arrow from a to b with heads of length h.
QPainterPath doubleArrow(QPointF a, QPointF b, double h) {
  QPainterPath path;
  path.moveTo(a);
  path.lineTo(b);
  double angle = std::atan2(b.y() - a.y(), b.x() - a.x());
  for (auto [tip, dir] : {std::pair{a, angle + std::numbers::pi}, std::pair{b, angle}}) {
    for (double side : {-1.0, 1.0}) {
      double t = dir + std::numbers::pi + side * std::numbers::pi / 4;
      path.moveTo(tip);
      path.lineTo(tip + QPointF(std::cos(t) * h, std::sin(t) * h));
    }
  }
  return path;
}

bool cursor(const QString& folder, const QString& name, QSize size,
            const std::function<QPainterPath()>& shape) {
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  stroke(p, shape());
  p.end();
  return save(image, folder, name);
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
  // Sizes follow the hot spots: (13, 13) is the centre of 26 x 26, (6, 10) of 12 x 20, ...
  ok &= cursor(folder, "icon_any_move", {26, 26}, [] {
    QPainterPath p = doubleArrow({3, 13}, {23, 13}, 5);
    p.addPath(doubleArrow({13, 3}, {13, 23}, 5));
    return p;
  });
  ok &= cursor(folder, "icon_drag", {26, 26}, [] {
    // A hand whose fingertips are the hot spot at the top centre.
    QPainterPath p;
    for (double x : {7.0, 11.0, 15.0, 19.0}) {
      p.moveTo(x, x == 11.0 || x == 15.0 ? 2 : 5);
      p.lineTo(x, 14);
    }
    p.addRoundedRect(QRectF(6, 12, 14, 12), 5, 5);
    return p;
  });
  ok &= cursor(folder, "icon_h_move", {26, 12}, [] { return doubleArrow({2, 6}, {24, 6}, 5); });
  ok &= cursor(folder, "icon_top", {12, 20}, [] { return doubleArrow({6, 2}, {6, 18}, 4); });
  ok &= cursor(folder, "icon_down", {12, 20}, [] { return doubleArrow({6, 18}, {6, 2}, 4); });
  ok &= cursor(folder, "icon_left", {20, 12}, [] { return doubleArrow({2, 6}, {18, 6}, 4); });
  ok &= cursor(folder, "icon_right", {20, 12}, [] { return doubleArrow({18, 6}, {2, 6}, 4); });
  ok &= cursor(folder, "icon_top_left", {20, 20}, [] { return doubleArrow({3, 3}, {17, 17}, 5); });
  ok &= cursor(folder, "icon_bottom_right", {20, 20},
               [] { return doubleArrow({17, 17}, {3, 3}, 5); });
  ok &= cursor(folder, "icon_top_right", {20, 20}, [] { return doubleArrow({17, 3}, {3, 17}, 5); });
  ok &= cursor(folder, "icon_bottom_left", {20, 20},
               [] { return doubleArrow({3, 17}, {17, 3}, 5); });

  ok &= save(bell(0), folder, "icon_notification");
  // One swing: right, back, left, back, damped, then still.
  const double swing[12] = {0, 14, 22, 14, 0, -14, -22, -14, 0, 8, 0, 0};
  for (int i = 0; i < 12; ++i)
    ok &= save(bell(swing[i]), folder, QString::asprintf("icon_notification%04d", i + 1));
  return ok ? 0 : 1;
}
