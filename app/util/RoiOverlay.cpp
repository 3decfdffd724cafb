#include "util/RoiOverlay.h"

#include <QPainter>
#include <cmath>

namespace corvane {

double RoiOverlay::wrappedX(double x, double base, bool mirror, bool rightSide) {
  const double d = x - base;
  double w = d - std::floor(d);
  if (w >= 1.0) w = 0.0;  // a tiny negative d rounds up to 1
  // A right side on a whole turn is the picture's right edge, not its left one.
  if (rightSide && w == 0.0) w = 1.0;
  return mirror ? 1.0 - w : w;
}

RectPoint RoiOverlay::shiftedQuad(const RectPoint& quad, double base, bool mirror) {
  RectPoint q = quad;
  q.x1 = wrappedX(quad.x1, base, mirror);
  q.x2 = wrappedX(quad.x2, base, mirror, true);
  q.x3 = wrappedX(quad.x3, base, mirror, true);
  q.x4 = wrappedX(quad.x4, base, mirror);
  return q;
}

std::vector<RectPoint> RoiOverlay::splitWrappedQuad(const RectPoint& quad, bool mirror) {
  const bool crosses =
      mirror ? (quad.x2 > quad.x1 || quad.x3 > quad.x4) : (quad.x1 > quad.x2 || quad.x4 > quad.x3);
  if (!crosses) return {quad};
  RectPoint kept = quad;
  RectPoint piece = quad;
  // Not mirrored the quad keeps its left side and runs off the right edge; the piece keeps its
  // right side and comes in from the left. Mirrored, the sides swap.
  kept.x2 = kept.x3 = mirror ? kFarLeft : kFarRight;
  piece.x1 = piece.x4 = mirror ? kFarRight : kFarLeft;
  return {piece, kept};
}

std::vector<RectPoint> RoiOverlay::overlayQuads(const std::vector<RectPoint>& quads, double base,
                                                bool mirror) {
  std::vector<RectPoint> out;
  for (const RectPoint& quad : quads)
    for (const RectPoint& piece : splitWrappedQuad(shiftedQuad(quad, base, mirror), mirror))
      out.push_back(piece);
  return out;
}

double RoiOverlay::lineWidth(double pictureHeight) { return pictureHeight < 50 ? 2.0 : 10.0; }

QPolygonF RoiOverlay::polygon(const RectPoint& q, const QSizeF& size) {
  const double w = size.width(), h = size.height();
  return QPolygonF({QPointF(q.x1 * w, q.y1 * h), QPointF(q.x2 * w, q.y2 * h),
                    QPointF(q.x3 * w, q.y3 * h), QPointF(q.x4 * w, q.y4 * h)});
}

QImage RoiOverlay::draw(const std::vector<RectPoint>& quads, const QSize& size,
                        const QColor& color) {
  if (size.isEmpty()) return QImage();
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(color, lineWidth(size.height()), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.setBrush(Qt::NoBrush);
  for (const RectPoint& quad : quads) painter.drawPolygon(polygon(quad, QSizeF(size)));
  return image;
}

}  // namespace corvane
