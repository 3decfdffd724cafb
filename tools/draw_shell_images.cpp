// Draws the launch screen's pictures into the folder given (resources/app): the splash
// (img_launch), the brand marks (powered_by_kestova, powered_by_kestova_dark), the tutorial page
// dot (slide_dor) and the tutorial pages (img_tutorial_p01..03), which are shots of the
// program's own window frame with notes drawn over them. Run by hand, headless, when the
// pictures change:
//   QT_QPA_PLATFORM=offscreen CORVANE_RESOURCES_DIR=$PWD/resources/app
//   build/bin/corvane-draw-shell-images resources/app
#include <QApplication>
#include <QImage>
#include <QLinearGradient>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

#include "camera/ConnectMode.h"
#include "shell/ConnectController.h"
#include "shell/CustomWindow.h"
#include "shell/MainPlaceholderController.h"
#include "shell/ProgramInfo.h"
#include "util/Observable.h"

namespace {

const QColor kBackground(0x1E, 0x1F, 0x22);
const QColor kTint(40, 150, 245);
const QColor kText(0xE6, 0xE6, 0xE6);

QFont font(int pixelSize, bool bold = false) {
  QFont f;
  f.setPixelSize(pixelSize);
  f.setBold(bold);
  return f;
}

// A ring with a lens band: the 360-degree camera seen from the side, at `centre`.
void drawCamera(QPainter& p, QPointF centre, double radius) {
  p.save();
  p.setPen(Qt::NoPen);
  QLinearGradient body(centre - QPointF(0, radius), centre + QPointF(0, radius));
  body.setColorAt(0, QColor(0x4A, 0x4C, 0x55));
  body.setColorAt(1, QColor(0x22, 0x23, 0x28));
  p.setBrush(body);
  p.drawRoundedRect(
      QRectF(centre.x() - radius * 0.55, centre.y() - radius, radius * 1.1, radius * 2),
      radius * 0.3, radius * 0.3);
  p.setBrush(QColor(0x10, 0x10, 0x14));
  QRectF band(centre.x() - radius * 0.55, centre.y() - radius * 0.55, radius * 1.1, radius * 0.5);
  p.drawRect(band);
  p.setBrush(kTint);
  for (int i = 0; i < 3; ++i)
    p.drawEllipse(QPointF(band.left() + band.width() * (0.25 + 0.25 * i), band.center().y()),
                  radius * 0.07, radius * 0.07);
  p.setPen(QPen(QColor(kTint.red(), kTint.green(), kTint.blue(), 120), radius * 0.04));
  p.setBrush(Qt::NoBrush);
  for (int i = 1; i <= 3; ++i)
    p.drawEllipse(centre + QPointF(0, radius * 1.25), radius * (0.8 + 0.45 * i),
                  radius * (0.12 + 0.07 * i));
  p.restore();
}

bool drawLaunch(const QString& path) {
  QImage image(1600, 900, QImage::Format_ARGB32_Premultiplied);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, 900);
  sky.setColorAt(0, QColor(0x2A, 0x2C, 0x33));
  sky.setColorAt(1, kBackground);
  p.fillRect(image.rect(), sky);
  drawCamera(p, QPointF(800, 330), 120);
  p.setPen(kText);
  p.setFont(font(72, true));
  p.drawText(QRectF(0, 560, 1600, 100), Qt::AlignCenter, "Corvane Studio");
  p.setPen(QColor(0xA0, 0xA4, 0xAE));
  p.setFont(font(30));
  p.drawText(QRectF(0, 650, 1600, 60), Qt::AlignCenter, "Every voice in the room, in the picture");
  p.end();
  return image.save(path, "PNG");
}

bool drawBrand(const QString& path, QColor ink) {
  // 160 x 24 points at 3x.
  QImage image(480, 72, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(ink);
  p.setFont(font(30));
  QRectF small(0, 0, 190, 72);
  p.drawText(small, Qt::AlignVCenter | Qt::AlignLeft, "Powered by");
  p.setPen(Qt::NoPen);
  p.setBrush(kTint);
  QPainterPath mark;
  mark.addEllipse(QPointF(212, 36), 16, 16);
  p.drawPath(mark);
  p.setBrush(ink);
  p.drawEllipse(QPointF(212, 36), 6, 6);
  p.setPen(ink);
  p.setFont(font(40, true));
  p.drawText(QRectF(240, 0, 240, 72), Qt::AlignVCenter | Qt::AlignLeft, "KESTOVA");
  p.end();
  return image.save(path, "PNG");
}

bool drawDot(const QString& path) {
  QImage image(24, 24, QImage::Format_ARGB32_Premultiplied);  // 8 points at 3x
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawEllipse(QRectF(2, 2, 20, 20));
  p.end();
  return image.save(path, "PNG");
}

// The program's main window frame in the given connection state, as the user sees it.
QImage shotOfFrame(corvane::ConnectMode mode) {
  auto state = corvane::Observable<corvane::ConnectMode>::make(mode);
  corvane::CustomWindow window([state] { return state->value(); });
  auto* bar = new QMenuBar();
  for (const char* title : {"Corvane Studio", "Edit", "About"}) bar->addMenu(title);
  window.setMenuBar(bar);
  auto* connect = new corvane::ConnectController(state, [] {});
  window.setMainContent(new corvane::MainPlaceholderController(connect));
  window.resize(1280, 720);
  window.show();
  QApplication::processEvents();
  return window.grab().toImage();
}

void drawNote(QPainter& p, QPointF at, QPointF target, const QString& text) {
  p.save();
  p.setPen(QPen(kTint, 4));
  p.setBrush(Qt::NoBrush);
  p.drawLine(at, target);
  p.setBrush(kTint);
  p.drawEllipse(target, 9, 9);
  QRectF box(at.x() - 20, at.y() - 34, 560, 68);
  p.setBrush(QColor(0x10, 0x11, 0x14, 235));
  p.drawRoundedRect(box, 14, 14);
  p.setPen(kText);
  p.setFont(font(28, true));
  p.drawText(box.adjusted(20, 0, -10, 0), Qt::AlignVCenter | Qt::AlignLeft, text);
  p.restore();
}

bool drawPage(const QString& path, const QImage& shot, const QString& title,
              const QString& subtitle, const std::vector<std::pair<QPointF, QPointF>>& notes,
              const std::vector<QString>& noteTexts) {
  QImage image(1600, 900, QImage::Format_ARGB32_Premultiplied);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  p.fillRect(image.rect(), QColor(0x2A, 0x2C, 0x33));
  p.setPen(kText);
  p.setFont(font(48, true));
  p.drawText(QRectF(0, 30, 1600, 70), Qt::AlignCenter, title);
  p.setPen(QColor(0xA0, 0xA4, 0xAE));
  p.setFont(font(26));
  p.drawText(QRectF(0, 100, 1600, 44), Qt::AlignCenter, subtitle);
  // The shot, scaled to 1040 x 585 (plus the menu bar), with a soft shadow.
  QRectF frame(280, 170, 1040, 1040.0 * shot.height() / shot.width());
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 0, 0, 90));
  p.drawRoundedRect(frame.translated(0, 12), 18, 18);
  QPainterPath clip;
  clip.addRoundedRect(frame, 18, 18);
  p.setClipPath(clip);
  p.drawImage(frame, shot);
  p.setClipping(false);
  double scale = frame.width() / shot.width();
  for (size_t i = 0; i < notes.size(); ++i)
    drawNote(p, notes[i].first,
             frame.topLeft() + QPointF(notes[i].second.x() * scale, notes[i].second.y() * scale),
             noteTexts[i]);
  p.end();
  return image.save(path, "PNG");
}

}  // namespace

int main(int argc, char** argv) {
  corvane::configureMainBundle();
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  QImage searching = shotOfFrame(corvane::ConnectMode::searching);
  QImage missing = shotOfFrame(corvane::ConnectMode::disconnected);
  const int menuY = 12;
  bool ok =
      drawLaunch(folder + "/img_launch.png") &&
      drawBrand(folder + "/powered_by_kestova.png", QColor(0x35, 0x35, 0x35)) &&
      drawBrand(folder + "/powered_by_kestova_dark.png", Qt::white) &&
      drawDot(folder + "/slide_dor.png") &&
      drawPage(folder + "/img_tutorial_p01.png", searching, "Plug in your Kestova Camera",
               "Corvane Studio finds it by itself and shows its 360-degree picture",
               {{QPointF(60, 830), QPointF(640, 380)}}, {"The search starts at once"}) &&
      drawPage(folder + "/img_tutorial_p02.png", searching, "Everything is in the menus",
               "Detection, tracking and layouts live in the Edit menu",
               {{QPointF(980, 830), QPointF(110, menuY)}}, {"Edit: detect, track, layouts"}) &&
      drawPage(folder + "/img_tutorial_p03.png", missing, "No picture? Try again",
               "Check the USB cable, then press Try Again to search once more",
               {{QPointF(980, 830), QPointF(712, 404)}}, {"A new search for the camera"});
  if (!ok) std::fprintf(stderr, "could not write the pictures into %s\n", argv[1]);
  return ok ? 0 : 1;
}
