#include "widgets/ImageView.h"

#include <QPainter>
#include <algorithm>

#include "widgets/WidgetPainting.h"

namespace corvane {

ImageView::ImageView(const QRect& frame, QWidget* parent) : QWidget(parent) {
  setGeometry(frame);
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ImageView::setImage(const QPixmap& image) {
  image_ = image;
  update();
}

void ImageView::setAlphaValue(double alpha) {
  alpha_ = std::clamp(alpha, 0.0, 1.0);
  update();
}

void ImageView::paintEvent(QPaintEvent*) {
  if (alpha_ <= 0 || image_.isNull()) return;
  QPainter p(this);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  p.setOpacity(alpha_);
  const QRectF target = WidgetPainting::imageRect(image_, rect(), false);
  if (!target.isEmpty()) p.drawPixmap(target, image_, QRectF(image_.rect()));
}

}  // namespace corvane
