#pragma once

#include <QColor>
#include <QImage>
#include <QPolygonF>
#include <QSize>
#include <vector>

#include "config/RectPoint.h"

namespace corvane {

// The frames of a saved ROI layout drawn over its panorama thumbnail. The panorama is a full
// turn: a layout's quads are shifted by the base position it was saved with (wrapped around the
// turn), mirrored when the picture was, and a quad that crosses the picture's left or right
// edge is drawn as two pieces, each running off its side of the picture.
// Quads are in fractions of the picture, x from the left edge and y from the top.
class RoiOverlay {
 public:
  // Where the open ends of split pieces lie, in picture widths: far enough off the picture that
  // no stroke of their closing side shows.
  static constexpr double kFarLeft = -1.0;
  static constexpr double kFarRight = 2.0;

  // x - base wrapped into [0, 1), then 1 minus that when mirrored. A corner on the quad's right
  // side (rightSide) wraps into (0, 1] instead, so a quad ending exactly at the picture's right
  // edge stays one quad.
  static double wrappedX(double x, double base, bool mirror, bool rightSide = false);
  // The quad with every x wrapped (and mirrored); y as it was.
  static RectPoint shiftedQuad(const RectPoint& quad, double base, bool mirror);
  // A wrapped quad whose right side lies left of its left side (mirrored: the other way round)
  // crosses the edge: the piece split off comes first, then the quad itself, each with its
  // open side far off the picture. Any other quad comes back alone.
  static std::vector<RectPoint> splitWrappedQuad(const RectPoint& quad, bool mirror);
  // Every quad shifted and split, in order.
  static std::vector<RectPoint> overlayQuads(const std::vector<RectPoint>& quads, double base,
                                             bool mirror);

  // 2 for a picture less than 50 pixels high, else 10.
  static double lineWidth(double pictureHeight);
  // The quad's corners in pixels of a picture of `size` (origin top left, y downwards).
  static QPolygonF polygon(const RectPoint& quad, const QSizeF& size);
  // A transparent picture of `size` with each quad stroked in `color`, round caps and joins.
  static QImage draw(const std::vector<RectPoint>& quads, const QSize& size, const QColor& color);
};

}  // namespace corvane
