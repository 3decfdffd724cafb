#pragma once

#include <QPointF>
#include <QRectF>

namespace corvane {

// A hover area fixed when its view is set up: the pointer is "in" while it is over that area,
// whatever size the view has since. An empty area never reports the pointer in.
class HoverTracker {
 public:
  enum class Change { none, entered, exited };

  explicit HoverTracker(QRectF area = QRectF()) : area_(area) {}

  QRectF area() const { return area_; }
  bool inside() const { return inside_; }

  // The pointer is at pos (view coordinates) over the view.
  Change pointerMoved(QPointF pos) { return moveTo(area_.contains(pos)); }
  // The pointer has left the view.
  Change pointerLeft() { return moveTo(false); }

 private:
  Change moveTo(bool inside) {
    if (inside == inside_) return Change::none;
    inside_ = inside;
    return inside ? Change::entered : Change::exited;
  }

  QRectF area_;
  bool inside_ = false;
};

}  // namespace corvane
