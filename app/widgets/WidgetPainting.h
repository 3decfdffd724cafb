#pragma once

#include <QColor>
#include <QPainterPath>
#include <QPixmap>
#include <QRectF>

class QPainter;
class QWidget;

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
  // Dims a view (alpha 0 is see-through) through an opacity effect it wears only while dimmed:
  // shown as it is it wears none, since Qt draws nothing of an effect held inside another.
  static void setOpacity(QWidget* view, double alpha);
};

}  // namespace corvane
