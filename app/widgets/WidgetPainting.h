#pragma once

#include <QColor>
#include <QPainterPath>
#include <QPixmap>
#include <QRectF>

class QPainter;

namespace corvane {

// How the custom views draw what a layer drew: a rounded background, a border laid inside the
// bounds, and a picture fitted into the content.
class WidgetPainting {
 public:
  // The rounded outline of bounds; the radius is capped at half the shorter side.
  static QPainterPath roundedPath(const QRectF& bounds, double radius);
  static void paintLayer(QPainter& p, const QRectF& bounds, double radius, const QColor& fill,
                         double borderWidth, const QColor& border);
  // Where a picture goes: its own size (shrunk to fit, aspect kept), centred, or at the left
  // edge when a title shares the content. Empty for a null picture or empty content.
  static QRectF imageRect(const QPixmap& image, const QRectF& content, bool besideTitle);
};

}  // namespace corvane
