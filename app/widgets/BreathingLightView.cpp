#include "widgets/BreathingLightView.h"

#include "widgets/ImageAssets.h"
#include "widgets/ImageView.h"

namespace corvane {

BreathingLightView::BreathingLightView(const QRect& frame, QWidget* parent) : QWidget(parent) {
  setGeometry(frame);
}

void BreathingLightView::setupImageViews() {
  auto* off = new ImageView(rect());
  off->setImage(ImageAssets::named(QStringLiteral("icon_light_off")));
  auto* on = new ImageView(rect());
  on->setImage(ImageAssets::named(QStringLiteral("icon_light_on")));
  on->setAlphaValue(0);
  for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) delete child;
  imageView1_ = off;
  imageView2_ = on;
  off->setParent(this);
  on->setParent(this);
  off->show();
  on->show();
  on->raise();
}

void BreathingLightView::resizeEvent(QResizeEvent*) {
  if (imageView1_) imageView1_->setGeometry(rect());
  if (imageView2_) imageView2_->setGeometry(rect());
}

}  // namespace corvane
