#include "widgets/CustomSwitch.h"

#include <QGraphicsOpacityEffect>
#include <QKeyEvent>
#include <QMouseEvent>

#include "widgets/CustomSwitchDelegate.h"
#include "widgets/CustomView.h"
#include "widgets/NSSwitchThumbView.h"
#include "widgets/SwitchGeometry.h"

namespace corvane {

CustomSwitch::CustomSwitch(const QRect& frame, QWidget* parent)
    : QWidget(parent), onColor_(40, 150, 245), offColor_(114, 114, 114), thumbColor_(Qt::white) {
  setGeometry(frame);
  backgroundView_ = new CustomView(QRect(QPoint(0, 0), frame.size()), this);
  backgroundView_->setAttribute(Qt::WA_TransparentForMouseEvents);
  backgroundView_->setColor(offColor_);
  thumbView_ = new NSSwitchThumbView(backgroundView_);
  thumbView_->setLayerBackgroundColor(thumbColor_);
  backgroundView_->setBorderWidth(1.0);
  backgroundView_->setBorderColor(QColor(117, 117, 117));
  setFocusPolicy(Qt::TabFocus);
  layoutParts();
}

CustomSwitch::~CustomSwitch() = default;

void CustomSwitch::layoutParts() {
  if (thumbAnimation_) thumbAnimation_->stop();
  const int h = height();
  backgroundView_->setGeometry(rect());
  backgroundView_->setCornerRadius(h / 2.0);
  const double x = SwitchGeometry::restX(on_, width(), h);
  thumbView_->setGeometry(qRound(x), 0, h, h);
}

void CustomSwitch::resizeEvent(QResizeEvent*) { layoutParts(); }

void CustomSwitch::setOn(bool on, bool animated) {
  backgroundView_->setColor(on ? onColor_ : offColor_);
  // The slide reads the new state, so store it first.
  on_ = on;
  if (animated) slideThumb();
  if (delegate) delegate->customSwitchDidChange(this);
}

void CustomSwitch::slideThumb() {
  if (thumbAnimation_) {
    thumbAnimation_->stop();
    thumbAnimation_->deleteLater();
  }
  const double x = SwitchGeometry::restX(on_, backgroundView_->width(), thumbView_->width());
  auto* animation = new QPropertyAnimation(thumbView_, "pos", this);
  animation->setDuration(std::max(0, qRound(thumbAnimationDuration * 1000)));
  animation->setEasingCurve(SwitchGeometry::easing(mediaTimingFunction));
  animation->setStartValue(thumbView_->pos());
  animation->setEndValue(QPoint(qRound(x), 0));
  thumbAnimation_ = animation;
  animation->start();
}

void CustomSwitch::setOffColor(const QColor& c) {
  offColor_ = c;
  backgroundView_->setColor(c);
}

void CustomSwitch::setThumbColor(const QColor& c) {
  thumbColor_ = c;
  thumbView_->setLayerBackgroundColor(c);
}

void CustomSwitch::setAlphaValue(double alpha) {
  alpha_ = alpha;
  // Dimmed, it takes no clicks, and no keys either.
  if (focus_.apply(this, alpha == 1.0) && !focusNextPrevChild(true)) clearFocus();
  if (alpha >= 1.0) {
    setGraphicsEffect(nullptr);
    return;
  }
  auto* effect = qobject_cast<QGraphicsOpacityEffect*>(graphicsEffect());
  if (!effect) {
    effect = new QGraphicsOpacityEffect(this);
    setGraphicsEffect(effect);
  }
  effect->setOpacity(alpha);
}

void CustomSwitch::clicked() {
  if (alpha_ != 1.0) return;
  setOn(!on_, true);
  emit actionTriggered();
}

void CustomSwitch::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (!event->isAutoRepeat()) clicked();
      return event->accept();
    default:
      return QWidget::keyPressEvent(event);
  }
}

void CustomSwitch::panChanged(double translation) {
  if (thumbAnimation_) thumbAnimation_->stop();
  const double w = thumbView_->width();
  const double trackWidth = backgroundView_->width();
  // The thumb keeps its place in fractions of a pixel, so small steps add up to the end.
  if (thumbView_->x() != qRound(dragX_)) dragX_ = thumbView_->x();
  dragX_ = SwitchGeometry::dragX(translation, dragX_, w, trackWidth, dragVelocityGain);
  thumbView_->move(qRound(dragX_), thumbView_->y());
  setOn(SwitchGeometry::isOnAt(dragX_, w, trackWidth), false);
}

void CustomSwitch::panEnded() {
  emit actionTriggered();
  setOn(on_, true);
}

void CustomSwitch::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
  pressPos_ = event->position();
  gesture_ = thumbView_->geometry().contains(event->position().toPoint()) ? Gesture::pressedOnThumb
                                                                          : Gesture::pressed;
  event->accept();
}

void CustomSwitch::mouseMoveEvent(QMouseEvent* event) {
  // The first movement on the thumb begins the drag; the ones after it move the thumb.
  if (gesture_ == Gesture::pressedOnThumb) {
    gesture_ = Gesture::panning;
  } else if (gesture_ == Gesture::panning) {
    panChanged(event->position().x() - pressPos_.x());
  }
  event->accept();
}

void CustomSwitch::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
  const Gesture gesture = gesture_;
  gesture_ = Gesture::none;
  if (gesture == Gesture::panning)
    panEnded();
  else if (gesture != Gesture::none && backgroundView_->geometry().contains(event->pos()))
    clicked();
  event->accept();
}

}  // namespace corvane
