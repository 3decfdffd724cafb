#include "widgets/CustomSlider.h"

#include <QPainter>
#include <QStyleOptionSlider>

#include "widgets/NamedColors.h"
#include "widgets/SliderGeometry.h"

namespace corvane {

CustomSlider::CustomSlider(QWidget* parent)
    : QSlider(Qt::Horizontal, parent),
      lineColor(NamedColors::lightGray()),
      tintColor(NamedColors::blue()) {}

void CustomSlider::paintEvent(QPaintEvent*) {
  QStyleOptionSlider opt;
  initStyleOption(&opt);
  const QRect groove =
      style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, this);
  const QRectF band(groove.x(), groove.center().y() - 2.0, groove.width(), 5.0);
  const SliderGeometry::Bar bar =
      SliderGeometry::bar(lineHeight, band, width(), value(), minimum(), maximum());
  lineHeight = bar.lineHeight;

  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  const double r = bar.lineHeight / 2;
  p.setBrush(lineColor);
  p.drawRoundedRect(bar.track, r, r);
  p.setBrush(tintColor);
  p.drawRoundedRect(bar.fill, r, r);

  opt.subControls = QStyle::SC_SliderHandle;
  style()->drawComplexControl(QStyle::CC_Slider, &opt, &p, this);
}

}  // namespace corvane
