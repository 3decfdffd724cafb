#include "widgets/CustomBalanceSlider.h"

#include <QEvent>
#include <QMouseEvent>

#include "widgets/CustomView.h"
#include "widgets/NamedColors.h"
#include "widgets/SliderGeometry.h"
#include "widgets/ThumbView.h"

namespace corvane {

namespace {

QRect pixels(const QRectF& r) { return r.toRect(); }

QRectF centredAt(QPointF centre, QSizeF size) {
  return QRectF(centre.x() - size.width() / 2, centre.y() - size.height() / 2, size.width(),
                size.height());
}

}  // namespace

CustomBalanceSlider::CustomBalanceSlider(const QRect& frame, QWidget* parent)
    : QWidget(parent),
      backgroundColor(NamedColors::color(QStringLiteral("veryLightPinkColor"))),
      highlightColor(NamedColors::color(QStringLiteral("lightPinkColor"))),
      lineColor(NamedColors::color(QStringLiteral("75Color"))),
      tintColor(NamedColors::color(QStringLiteral("tintColor"))) {
  setGeometry(frame);
  makeTrack();
  layoutItems();
  makeTintAndThumb();
}

CustomBalanceSlider::~CustomBalanceSlider() = default;

QRectF CustomBalanceSlider::trackFrame() const {
  return SliderGeometry::track(width(), height(), thumbSize, backgroundViewHeight);
}

void CustomBalanceSlider::makeTrack() {
  if (!backgroundView_) {
    backgroundView_ = new CustomView(pixels(trackFrame()), this);
    backgroundView_->setAttribute(Qt::WA_TransparentForMouseEvents);
    backgroundView_->setColor(lineColor);
    backgroundView_->setCornerRadius(backgroundViewHeight / 2);
  }
  layoutItems();
}

void CustomBalanceSlider::layoutItems() {
  for (CustomView* item : itemViewArray_) delete item;
  itemViewArray_.clear();
  delete centerView_;
  centerView_ = nullptr;
  if (!backgroundView_ || !tintView_) return;
  itemsLaidOut_ = true;

  const QRectF track = trackFrame();
  auto makeMark = [&](double centreX) {
    auto* mark =
        new CustomView(pixels(centredAt(QPointF(centreX, track.center().y()), itemSize)), this);
    mark->setAttribute(Qt::WA_TransparentForMouseEvents);
    mark->setColor(lineColor);
    mark->stackUnder(tintView_);
    mark->show();
    return mark;
  };
  if (type == CustomSliderType::Normal) {
    for (double x : SliderGeometry::tickCentres(itemCount, track))
      itemViewArray_.push_back(makeMark(x));
  } else {
    centerView_ = makeMark(track.center().x());
  }
}

void CustomBalanceSlider::makeTintAndThumb() {
  const QRectF track = trackFrame();
  const double start =
      type == CustomSliderType::Normal ? thumbSize.height() / 2 : track.center().x();
  if (!tintView_) {
    tintFrame_ =
        QRectF(start, track.center().y() - backgroundViewHeight / 2, 0, backgroundViewHeight);
    tintView_ = new CustomView(pixels(tintFrame_), this);
    tintView_->setAttribute(Qt::WA_TransparentForMouseEvents);
    tintView_->setColor(tintColor);
  }
  if (!thumbView_) {
    thumbCentre_ = start;
    thumbView_ = new ThumbView(this);
    thumbView_->setGeometry(pixels(centredAt(QPointF(start, track.center().y()), thumbSize)));
    thumbView_->raise();
  }
}

void CustomBalanceSlider::placeThumbVertically() {
  const QRectF track = trackFrame();
  thumbView_->setGeometry(pixels(centredAt(QPointF(thumbCentre_, track.center().y()), thumbSize)));
}

void CustomBalanceSlider::updateThumb(double x) {
  thumbPlaced_ = true;
  const QRectF track = trackFrame();
  thumbCentre_ = SliderGeometry::clampThumbCentre(x, thumbSize.height(), track.width());
  thumbView_->move(qRound(thumbCentre_ - thumbView_->width() / 2.0), thumbView_->y());
  const QRectF fill =
      SliderGeometry::fill(type, thumbCentre_, track, thumbSize.height(), itemSize.width());
  tintFrame_ = QRectF(fill.x(), tintFrame_.y(), fill.width(), tintFrame_.height());
  tintView_->setGeometry(pixels(tintFrame_));
}

void CustomBalanceSlider::resizeEvent(QResizeEvent*) {
  if (!backgroundView_ || !tintView_ || !thumbView_) return;
  const QRectF track = trackFrame();
  backgroundView_->setGeometry(pixels(track));
  tintFrame_.moveTop(track.center().y() - backgroundViewHeight / 2);
  if (itemsLaidOut_) layoutItems();
  placeThumbVertically();
  if (thumbPlaced_) {
    updateThumb(thumbCentre_);
  } else {
    // Until the owner shows a value the filled part stays empty at its start.
    const double start =
        type == CustomSliderType::Normal ? thumbSize.height() / 2 : track.center().x();
    tintFrame_.moveLeft(start);
    tintView_->setGeometry(pixels(tintFrame_));
  }
}

float CustomBalanceSlider::currentPosition() const {
  if (!backgroundView_ || !thumbView_) return 0.0f;
  return SliderGeometry::position(thumbCentre_ - thumbSize.width() / 2, trackFrame().width());
}

void CustomBalanceSlider::panChanged(double x) {
  thumbView_->setLayerBackgroundColor(highlightColor);
  updateThumb(x);
  if (sliderHandler) sliderHandler(currentPosition());
}

void CustomBalanceSlider::panEnded() {
  thumbView_->setLayerBackgroundColor(backgroundColor);
  if (sliderCompletedHandler) sliderCompletedHandler(currentPosition());
}

void CustomBalanceSlider::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton &&
      thumbView_->geometry().contains(event->position().toPoint())) {
    gesture_ = Gesture::pressedOnThumb;
    return event->accept();
  }
  QWidget::mousePressEvent(event);
}

void CustomBalanceSlider::mouseMoveEvent(QMouseEvent* event) {
  // The first movement on the thumb begins the drag; the ones after it move the thumb.
  if (gesture_ == Gesture::pressedOnThumb)
    gesture_ = Gesture::panning;
  else if (gesture_ == Gesture::panning)
    panChanged(event->position().x());
  event->accept();
}

void CustomBalanceSlider::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
  const bool panning = gesture_ == Gesture::panning;
  gesture_ = Gesture::none;
  if (panning) panEnded();
  event->accept();
}

void CustomBalanceSlider::changeEvent(QEvent* event) {
  // Disabled halfway through a drag: the drag is cancelled, which ends it like a release.
  if (event->type() == QEvent::EnabledChange && !isEnabled() && gesture_ != Gesture::none) {
    const bool panning = gesture_ == Gesture::panning;
    gesture_ = Gesture::none;
    if (panning) panEnded();
  }
  QWidget::changeEvent(event);
}

}  // namespace corvane
