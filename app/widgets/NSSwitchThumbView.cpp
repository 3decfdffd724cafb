#include "widgets/NSSwitchThumbView.h"

#include <QPainter>

#include "widgets/WidgetPainting.h"

namespace corvane {

NSSwitchThumbView::NSSwitchThumbView(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void NSSwitchThumbView::setLayerBackgroundColor(const QColor& c) {
  fill_ = c;
  update();
}

void NSSwitchThumbView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const double h = height();
  WidgetPainting::paintLayer(p, rect(), h / 2, fill_, 0, QColor());
  p.setPen(QPen(lineColor, lineWidth));
  p.setBrush(Qt::NoBrush);
  const double r = std::max(0.0, h / 2 - 0.5);
  p.drawEllipse(QPointF(h / 2, h / 2), r, r);
}

}  // namespace corvane
