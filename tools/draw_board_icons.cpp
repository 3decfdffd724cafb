// Draws the control boards' pictures into the folder given (resources/app): the display-mode
// button icons ("<name>_normal.png" and "<name>_focus.png"), the face-scan frames
// icon_facescan0001.png to icon_facescan0024.png and icon_facescan_default.png. Run by hand when
// the pictures change; the PNGs are committed.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <cstdio>
#include <functional>
#include <numbers>
#include <tuple>

namespace {

constexpr int kModeSide = 180;  // a 60-point button at 3x
constexpr int kScanSide = 120;  // the 40-point face-scan picture at 3x
constexpr int kScanFrames = 24;

const QColor kNormal(0xB8, 0xB8, 0xBD);
const QColor kFocus(40, 150, 245);
const QColor kPlate(0x3A, 0x3B, 0x42);

using Glyph = std::function<void(QPainter&, const QColor&)>;

// A head and shoulders centred at (x, y), `s` the head's radius.
void person(QPainter& p, double x, double y, double s) {
  p.drawEllipse(QPointF(x, y - s * 0.9), s, s);
  QPainterPath shoulders;
  shoulders.moveTo(x - s * 2.0, y + s * 2.6);
  shoulders.cubicTo(x - s * 2.0, y + s * 0.6, x + s * 2.0, y + s * 0.6, x + s * 2.0, y + s * 2.6);
  p.drawPath(shoulders);
}

void frame(QPainter& p, QRectF r) { p.drawRoundedRect(r, 8, 8); }

void waves(QPainter& p, double x, double y, double r) {
  for (int i = 1; i <= 2; ++i)
    p.drawArc(QRectF(x - r * i, y - r * i, 2 * r * i, 2 * r * i), -45 * 16, 90 * 16);
}

void badge(QPainter& p, const QColor& c) {
  p.save();
  p.setBrush(c);
  p.setPen(Qt::NoPen);
  p.drawEllipse(QPointF(140, 140), 22, 22);
  p.setPen(QPen(kPlate, 6, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(128, 134), QPointF(152, 134));
  p.drawLine(QPointF(128, 146), QPointF(152, 146));
  p.restore();
}

bool drawMode(const QString& folder, const QString& name, const Glyph& glyph) {
  for (bool focus : {false, true}) {
    QImage image(kModeSide, kModeSide, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor c = focus ? kFocus : kNormal;
    p.setPen(Qt::NoPen);
    p.setBrush(focus ? QColor(40, 150, 245, 40) : kPlate);
    p.drawRoundedRect(QRectF(6, 6, kModeSide - 12, kModeSide - 12), 28, 28);
    if (focus) {
      p.setBrush(Qt::NoBrush);
      p.setPen(QPen(c, 6));
      p.drawRoundedRect(QRectF(6, 6, kModeSide - 12, kModeSide - 12), 28, 28);
    }
    p.setPen(QPen(c, 8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    glyph(p, c);
    p.end();
    const QString path = folder + "/" + name + (focus ? "_focus.png" : "_normal.png");
    if (!image.save(path, "PNG")) return false;
  }
  return true;
}

// A face outline; `line` in 0..1 puts the scanning line across it, below 0 draws none.
bool drawScan(const QString& path, double line) {
  QImage image(kScanSide, kScanSide, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(kNormal, 6, Qt::SolidLine, Qt::RoundCap));
  // The corner brackets of a viewfinder.
  const double a = 14, b = 106, l = 22;
  for (auto [x, y, dx, dy] : {std::tuple{a, a, 1.0, 1.0}, std::tuple{b, a, -1.0, 1.0},
                              std::tuple{a, b, 1.0, -1.0}, std::tuple{b, b, -1.0, -1.0}}) {
    p.drawLine(QPointF(x, y), QPointF(x + dx * l, y));
    p.drawLine(QPointF(x, y), QPointF(x, y + dy * l));
  }
  p.drawEllipse(QPointF(60, 56), 24, 30);
  p.drawPoint(QPointF(51, 50));
  p.drawPoint(QPointF(69, 50));
  p.drawArc(QRectF(50, 60, 20, 14), 200 * 16, 140 * 16);
  if (line >= 0) {
    const double y = a + 6 + line * (b - a - 12);
    QLinearGradient glow(0, y - 10, 0, y + 2);
    glow.setColorAt(0, QColor(40, 150, 245, 0));
    glow.setColorAt(1, QColor(40, 150, 245, 120));
    p.fillRect(QRectF(a + 4, y - 10, b - a - 8, 12), glow);
    p.setPen(QPen(kFocus, 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(a + 4, y), QPointF(b - 4, y));
  }
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
  const std::pair<const char*, Glyph> modes[] = {
      {"icon_composemode",
       [](QPainter& p, const QColor&) {
         frame(p, QRectF(40, 50, 60, 80));
         frame(p, QRectF(108, 50, 32, 36));
         frame(p, QRectF(108, 94, 32, 36));
       }},
      {"icon_manualfit",
       [](QPainter& p, const QColor&) {
         const double a = 42, b = 138, l = 24;
         for (auto [x, y, dx, dy] : {std::tuple{a, a, 1.0, 1.0}, std::tuple{b, a, -1.0, 1.0},
                                     std::tuple{a, b, 1.0, -1.0}, std::tuple{b, b, -1.0, -1.0}}) {
           p.drawLine(QPointF(x, y), QPointF(x + dx * l, y));
           p.drawLine(QPointF(x, y), QPointF(x, y + dy * l));
         }
         person(p, 90, 88, 12);
       }},
      {"icon_gridmode",
       [](QPainter& p, const QColor&) {
         for (int i = 0; i < 2; ++i)
           for (int j = 0; j < 2; ++j) frame(p, QRectF(42 + i * 50, 46 + j * 46, 44, 40));
       }},
      {"icon_presentationmode",
       [](QPainter& p, const QColor&) {
         frame(p, QRectF(36, 46, 108, 76));
         frame(p, QRectF(100, 94, 36, 22));
         p.drawLine(QPointF(90, 122), QPointF(90, 140));
         p.drawLine(QPointF(70, 140), QPointF(110, 140));
       }},
      {"icon_speakermode",
       [](QPainter& p, const QColor&) {
         person(p, 78, 88, 14);
         waves(p, 108, 78, 16);
       }},
      {"icon_singleview",
       [](QPainter& p, const QColor&) {
         frame(p, QRectF(44, 44, 92, 92));
         person(p, 90, 90, 14);
       }},
      {"icon_speakermode_multiple",
       [](QPainter& p, const QColor& c) {
         person(p, 74, 84, 13);
         waves(p, 102, 74, 15);
         badge(p, c);
       }},
      {"icon_singleview_multiple",
       [](QPainter& p, const QColor& c) {
         frame(p, QRectF(40, 40, 86, 86));
         person(p, 83, 84, 13);
         badge(p, c);
       }},
      {"icon_topdownmode",
       [](QPainter& p, const QColor&) {
         p.drawEllipse(QPointF(90, 90), 26, 26);
         for (int i = 0; i < 6; ++i) {
           const double t = i * std::numbers::pi / 3;
           p.drawEllipse(QPointF(90 + 46 * std::cos(t), 90 + 46 * std::sin(t)), 7, 7);
         }
       }},
      {"icon_composeauto",
       [](QPainter& p, const QColor&) {
         frame(p, QRectF(34, 54, 52, 72));
         frame(p, QRectF(94, 54, 52, 72));
         person(p, 52, 92, 7);
         person(p, 70, 92, 7);
         person(p, 120, 92, 8);
       }},
      {"icon_360mode",
       [](QPainter& p, const QColor&) {
         p.drawEllipse(QRectF(36, 62, 108, 56));
         p.drawLine(QPointF(134, 74), QPointF(144, 90));
         QFont f;
         f.setPixelSize(34);
         f.setBold(true);
         p.setFont(f);
         p.drawText(QRectF(36, 62, 108, 56), Qt::AlignCenter, QStringLiteral("360"));
       }},
      {"icon_bodyfit",
       [](QPainter& p, const QColor&) {
         frame(p, QRectF(52, 34, 76, 112));
         p.drawEllipse(QPointF(90, 58), 10, 10);
         p.drawLine(QPointF(90, 70), QPointF(90, 108));
         p.drawLine(QPointF(72, 84), QPointF(108, 84));
         p.drawLine(QPointF(90, 108), QPointF(76, 134));
         p.drawLine(QPointF(90, 108), QPointF(104, 134));
       }},
      {"icon_audiofit",
       [](QPainter& p, const QColor&) {
         frame(p, QRectF(40, 44, 72, 92));
         person(p, 76, 90, 12);
         waves(p, 118, 80, 14);
       }},
  };
  bool ok = true;
  for (const auto& [name, glyph] : modes) ok = ok && drawMode(folder, name, glyph);
  ok = ok && drawScan(folder + "/icon_facescan_default.png", -1);
  for (int i = 1; i <= kScanFrames; ++i) {
    // Down in the first half, back up in the second: the loop has no jump.
    const double t = double(i - 1) / (kScanFrames / 2);
    const double line = t <= 1.0 ? t : 2.0 - t;
    ok = ok &&
         drawScan(folder + QStringLiteral("/icon_facescan%1.png").arg(i, 4, 10, QLatin1Char('0')),
                  line);
  }
  if (!ok) std::fprintf(stderr, "could not write the pictures into %s\n", argv[1]);
  return ok ? 0 : 1;
}
