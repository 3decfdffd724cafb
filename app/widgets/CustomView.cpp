#include "widgets/CustomView.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>

#include "widgets/NamedColors.h"
#include "widgets/WidgetPainting.h"

namespace corvane {

CustomView::CustomView(const QRect& frame, QWidget* parent)
    : QWidget(parent),
      color_(Qt::black),
      hoverColor_(NamedColors::clear()),
      borderColor_(NamedColors::clear()),
      layerBackground_(NamedColors::clear()),
      layerBorder_(NamedColors::clear()),
      tracker_(QRectF(0, 0, frame.width(), frame.height())) {
  setGeometry(frame);
  setMouseTracking(true);
}

void CustomView::setColor(const QColor& c) {
  color_ = c;
  layerBackground_ = c;
  update();
}

void CustomView::setCornerRadius(double radius) {
  cornerRadius_ = radius;
  update();
}

void CustomView::setBorderWidth(double width) {
  borderWidth_ = width;
  update();
}

void CustomView::setBorderColor(const QColor& c) {
  borderColor_ = c;
  layerBorder_ = c;
  update();
}

void CustomView::follow(HoverTracker::Change change) {
  if (change == HoverTracker::Change::none || disableMouseEvent) return;
  if (mouseCallback) mouseCallback(change == HoverTracker::Change::entered);
  if (NamedColors::isClear(hoverColor_)) return;
  layerBackground_ = change == HoverTracker::Change::entered ? hoverColor_ : color_;
  update();
}

void CustomView::mousePressEvent(QMouseEvent* event) {
  // Accepting keeps the click from the views below.
  if (disableMouseEvent || disableClick) return event->accept();
  QWidget::mousePressEvent(event);
}

void CustomView::mouseMoveEvent(QMouseEvent* event) {
  follow(tracker_.pointerMoved(event->position()));
  QWidget::mouseMoveEvent(event);
}

void CustomView::enterEvent(QEnterEvent* event) {
  follow(tracker_.pointerMoved(event->position()));
  QWidget::enterEvent(event);
}

void CustomView::leaveEvent(QEvent* event) {
  follow(tracker_.pointerLeft());
  QWidget::leaveEvent(event);
}

void CustomView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  WidgetPainting::paintLayer(p, rect(), cornerRadius_, layerBackground_, borderWidth_,
                             layerBorder_);
}

}  // namespace corvane
