#include "main/MainWindowGeometry.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace corvane {

namespace {

bool usable(double v) { return std::isfinite(v) && v > 0; }

}  // namespace

std::optional<QSizeF> MainWindowGeometry::navigatorSize(QSizeF panel) {
  double fw = panel.width(), fh = panel.height();
  // A panel no taller than its title strip has no picture to size.
  if (!usable(fw) || !usable(fh - kNavigatorTitleHeight)) return std::nullopt;
  double ratio = kOutputWidth / kOutputHeight;
  if (fw / (fh - kNavigatorTitleHeight) > ratio)
    return QSizeF((fh - kNavigatorTitleHeight) * kOutputWidth / kOutputHeight, fh);
  return QSizeF(fw, fw / ratio + kNavigatorTitleHeight);
}

std::optional<double> MainWindowGeometry::controlViewAspect(int cameraWidth, int cameraHeight) {
  if (cameraWidth <= 0 || cameraHeight <= 0) return std::nullopt;
  return double(cameraWidth) / double(cameraHeight);
}

std::optional<double> MainWindowGeometry::controlViewMultiple(int cameraWidth,
                                                              double previewWidth) {
  if (cameraWidth <= 0 || !usable(previewWidth)) return std::nullopt;
  return double(cameraWidth) / previewWidth;
}

std::optional<QRectF> MainWindowGeometry::focusRect(int x, int y, int w, int h, int cameraWidth,
                                                    bool mirror) {
  if (x == -1 || y == -1 || w == -1 || h == -1) return std::nullopt;
  double fx = x, W = cameraWidth;
  if (mirror) fx = W - fx - w;
  fx = fx >= W ? W - w : std::max(0.0, fx);
  return QRectF(fx, y, w, h);
}

std::optional<double> MainWindowGeometry::bannerPositionY(int y, int h, int cameraWidth,
                                                          double bannerAspectRatio) {
  if (y == -1 || h == -1 || !usable(bannerAspectRatio)) return std::nullopt;
  // The facade's 32-bit sum wraps rather than overflowing.
  auto sum = int32_t(uint32_t(y) + uint32_t(h));
  return double(sum) - double(cameraWidth) / bannerAspectRatio;
}

std::optional<BasePositionAnchor> MainWindowGeometry::basePositionAnchor(double bandBelowPreview,
                                                                         bool notifyVisible) {
  if (bandBelowPreview >= kBasePositionBand) return BasePositionAnchor::content;
  if (notifyVisible) return BasePositionAnchor::notify;
  return std::nullopt;
}

BasePositionAnchor MainWindowGeometry::controlBoardAnchor(bool notifyVisible, bool splitWindow) {
  if (notifyVisible && splitWindow) return BasePositionAnchor::notify;
  return BasePositionAnchor::content;
}

MainWindowGeometry::Content MainWindowGeometry::simpleContentLayout(QSizeF content,
                                                                    double aspect) {
  if (!usable(aspect)) aspect = kDefaultAspect;
  double cw = std::max(0.0, content.width()), ch = std::max(0.0, content.height());
  double w = cw, h = cw / aspect;
  if (h > ch) {
    h = ch;
    w = h * aspect;
  }
  Content result;
  result.controlView = QRectF((cw - w) / 2, (ch - h) / 2, w, h);
  return result;
}

MainWindowGeometry::Content MainWindowGeometry::contentLayout(QSizeF content, double aspect,
                                                              bool navigatorShown,
                                                              double navigatorBottom) {
  if (!usable(aspect)) aspect = kDefaultAspect;
  double cw = std::max(0.0, content.width()), ch = std::max(0.0, content.height());
  double availableW = std::max(0.0, cw - 2 * kContentMargin);
  Content result;
  if (!navigatorShown) {
    double availableH = std::max(0.0, ch - 2 * kTopStrip);
    double w = availableW, h = w / aspect;
    if (h > availableH) {
      h = availableH;
      w = h * aspect;
    }
    result.controlView = QRectF((cw - w) / 2, (ch - h) / 2, w, h);
    return result;
  }
  // Pinned to the top; the preview takes at most half the height, the panel the rest.
  double w = availableW, h = w / aspect;
  double maxH = std::max(0.0, (ch - kTopStrip) / 2);
  if (h > maxH) {
    h = maxH;
    w = h * aspect;
  }
  result.controlView = QRectF((cw - w) / 2, kTopStrip, w, h);
  double top = kTopStrip + h + kContentMargin / 2;
  double panelH = std::max(0.0, ch - top - navigatorBottom);
  result.navigatorView = QRectF(kContentMargin, top, availableW, panelH);
  return result;
}

std::optional<QRect> MainWindowGeometry::screenFrame(const QRect& window, bool useCenter,
                                                     const std::vector<QRect>& screens,
                                                     const std::optional<QRect>& primary,
                                                     bool isCustomWindow) {
  if (!isCustomWindow) return primary;
  QPointF point =
      useCenter ? QPointF(window.x() + window.width() * 0.5, window.y() + window.height() * 0.5)
                : QPointF(window.topLeft());
  std::optional<QRect> found;
  for (const QRect& screen : screens)
    if (QRectF(screen).contains(point)) found = screen;
  return found ? found : primary;
}

}  // namespace corvane
