#include "widgets/ThumbView.h"

#include <QPainter>

#include "widgets/NamedColors.h"
#include "widgets/WidgetPainting.h"

namespace corvane {

ThumbView::ThumbView(QWidget* parent)
    : QWidget(parent), fill_(NamedColors::color(QStringLiteral("veryLightPinkColor"))) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ThumbView::setLayerBackgroundColor(const QColor& c) {
  fill_ = c;
  update();
}

void ThumbView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  WidgetPainting::paintLayer(p, rect(), width() / 2.0, fill_, 0, QColor());
}

}  // namespace corvane
