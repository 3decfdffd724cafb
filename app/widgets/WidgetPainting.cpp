#include "widgets/WidgetPainting.h"

#include <QPainter>
#include <algorithm>

namespace corvane {

QPainterPath WidgetPainting::roundedPath(const QRectF& bounds, double radius) {
  QPainterPath path;
  const double r = std::clamp(radius, 0.0, std::min(bounds.width(), bounds.height()) / 2.0);
  path.addRoundedRect(bounds, r, r);
  return path;
}

void WidgetPainting::paintLayer(QPainter& p, const QRectF& bounds, double radius,
                                const QColor& fill, double borderWidth, const QColor& border) {
  if (bounds.isEmpty()) return;
  p.save();
  p.setPen(Qt::NoPen);
  if (fill.isValid() && fill.alpha() > 0) p.fillPath(roundedPath(bounds, radius), fill);
  if (borderWidth > 0 && border.isValid() && border.alpha() > 0) {
    const double half = borderWidth / 2.0;
    const QRectF inner = bounds.adjusted(half, half, -half, -half);
    p.setPen(QPen(border, borderWidth));
    p.setBrush(Qt::NoBrush);
    p.drawPath(roundedPath(inner, std::max(0.0, radius - half)));
  }
  p.restore();
}

QRectF WidgetPainting::imageRect(const QPixmap& image, const QRectF& content, bool besideTitle) {
  if (image.isNull() || content.isEmpty()) return {};
  QSizeF size = image.deviceIndependentSize();
  if (size.width() > content.width() || size.height() > content.height())
    size = size.scaled(content.size(), Qt::KeepAspectRatio);
  const double x = besideTitle ? content.left() + 4 : content.center().x() - size.width() / 2;
  return QRectF(QPointF(x, content.center().y() - size.height() / 2), size);
}

}  // namespace corvane
