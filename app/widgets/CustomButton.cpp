#include "widgets/CustomButton.h"

#include <QEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "widgets/CustomButtonDelegate.h"
#include "widgets/NamedColors.h"
#include "widgets/WidgetPainting.h"

namespace corvane {

namespace {
constexpr int kBorderAnimationMs = 100;
}

CustomButton::CustomButton(const QRect& frame, QWidget* parent)
    : QAbstractButton(parent),
      borderColor_(NamedColors::lightGray()),
      activeBorderColor_(Qt::white),
      hoverColor_(NamedColors::clear()),
      textColor_(NamedColors::gray()),
      hoverTextColor_(NamedColors::clear()),
      activeTextColor_(NamedColors::gray()),
      layerBackground_(NamedColors::clear()),
      layerBorder_(NamedColors::clear()),
      presentedBorder_(NamedColors::clear()),
      tracker_(QRectF(0, 0, frame.width(), frame.height())) {
  setGeometry(frame);
  setMouseTracking(true);
  setFocusPolicy(Qt::TabFocus);
  updateAppearance(stateOn_);
}

CustomButton::~CustomButton() = default;

void CustomButton::setTitle(const QString& title) {
  setText(title);
  updateAppearance(stateOn_);
}

void CustomButton::setCornerRadius(double radius) {
  cornerRadius_ = radius;
  update();
}

void CustomButton::setBorderWidth(double width) {
  borderWidth_ = width;
  update();
}

#define CORVANE_APPEARANCE_SETTER(Setter, field, Type) \
  void CustomButton::Setter(const Type& v) {           \
    field = v;                                         \
    updateAppearance(stateOn_);                        \
  }
CORVANE_APPEARANCE_SETTER(setBorderColor, borderColor_, QColor)
CORVANE_APPEARANCE_SETTER(setActiveBorderColor, activeBorderColor_, QColor)
CORVANE_APPEARANCE_SETTER(setHoverColor, hoverColor_, QColor)
CORVANE_APPEARANCE_SETTER(setTextColor, textColor_, QColor)
CORVANE_APPEARANCE_SETTER(setHoverTextColor, hoverTextColor_, QColor)
CORVANE_APPEARANCE_SETTER(setActiveTextColor, activeTextColor_, QColor)
CORVANE_APPEARANCE_SETTER(setUnselectedImage, unselectedImage_, QPixmap)
CORVANE_APPEARANCE_SETTER(setHoverImage, hoverImage_, QPixmap)
CORVANE_APPEARANCE_SETTER(setSelectedImage, selectedImage_, QPixmap)
#undef CORVANE_APPEARANCE_SETTER

void CustomButton::updateAppearance(bool active) {
  animateBorderColor(active ? activeBorderColor_ : borderColor_);
  titleColor_ = active ? activeTextColor_ : textColor_;
  image_ = active ? selectedImage_ : unselectedImage_;
  if (hovered_ && !active) showHoverLook();
  update();
}

void CustomButton::setButtonEnabled(bool enabled) {
  alpha_ = enabled ? 1.0 : 0.3;
  hoverEnd();
  buttonEnabled_ = enabled;
  if (!enabled) {
    const QColor dim = NamedColors::color(QStringLiteral("veryLightPinkColor"));
    animateBorderColor(dim);
    titleColor_ = dim;
  } else if (isSelected) {
    animateBorderColor(activeBorderColor_);
    titleColor_ = activeTextColor_;
  } else {
    animateBorderColor(borderColor_);
    titleColor_ = textColor_;
  }
  followUsability();
  update();
}

void CustomButton::setAlphaValue(double alpha) {
  alpha_ = alpha;
  followUsability();
  update();
}

void CustomButton::followUsability() {
  if (focus_.apply(this, buttonEnabled_ && alpha_ > 0) && !focusNextPrevChild(true)) clearFocus();
}

void CustomButton::hoverStart() {
  if (!buttonEnabled_) return;
  hovered_ = true;
  if (delegate) delegate->customButtonDidHover(this);
  layerBackground_ = hoverColor_;
  // A lit button stays lit under the pointer: the fill is its highlight, and its border, title
  // and picture keep the active look (the hover ones are an unlit button's).
  if (!stateOn_) showHoverLook();
  update();
}

void CustomButton::showHoverLook() {
  animateBorderColor(hoverColor_);
  if (!NamedColors::isClear(hoverTextColor_)) titleColor_ = hoverTextColor_;
  if (!hoverImage_.isNull()) image_ = hoverImage_;
}

void CustomButton::hoverEnd() {
  if (!buttonEnabled_) return;
  hovered_ = false;
  if (delegate) delegate->customButtonDidEndHover(this);
  layerBackground_ = NamedColors::clear();
  updateAppearance(stateOn_);
}

void CustomButton::animateBorderColor(const QColor& to) {
  if (layerBorder_ == to) return;
  if (borderAnimation_) borderAnimation_->stop();
  auto* animation = new QPropertyAnimation(this, "presentedBorderColor", this);
  animation->setDuration(kBorderAnimationMs);
  animation->setStartValue(presentedBorder_);
  animation->setEndValue(to);
  if (borderAnimation_) borderAnimation_->deleteLater();
  borderAnimation_ = animation;
  layerBorder_ = to;
  animation->start();
}

void CustomButton::setPresentedBorderColor(const QColor& c) {
  presentedBorder_ = c;
  update();
}

void CustomButton::follow(HoverTracker::Change change) {
  if (change == HoverTracker::Change::entered) hoverStart();
  if (change == HoverTracker::Change::exited) hoverEnd();
}

void CustomButton::mousePressEvent(QMouseEvent* event) {
  if (!buttonEnabled_) return event->accept();
  QAbstractButton::mousePressEvent(event);
  hoverEnd();
}

void CustomButton::mouseReleaseEvent(QMouseEvent* event) {
  if (!buttonEnabled_) return event->accept();
  QAbstractButton::mouseReleaseEvent(event);
}

void CustomButton::mouseMoveEvent(QMouseEvent* event) {
  follow(tracker_.pointerMoved(event->position()));
  if (buttonEnabled_) QAbstractButton::mouseMoveEvent(event);
}

void CustomButton::enterEvent(QEnterEvent* event) {
  follow(tracker_.pointerMoved(event->position()));
  QAbstractButton::enterEvent(event);
}

void CustomButton::leaveEvent(QEvent* event) {
  follow(tracker_.pointerLeft());
  QAbstractButton::leaveEvent(event);
}

void CustomButton::keyPressEvent(QKeyEvent* event) {
  if (!buttonEnabled_) return event->ignore();
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (!event->isAutoRepeat()) click();
      return event->accept();
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
      return event->ignore();
    default:
      return QAbstractButton::keyPressEvent(event);
  }
}

QSize CustomButton::sizeHint() const {
  const QSize text = fontMetrics().size(Qt::TextShowMnemonic, this->text());
  const QSize picture = image_.isNull() ? QSize() : image_.deviceIndependentSize().toSize();
  return QSize(text.width() + picture.width() + 16, std::max(text.height(), picture.height()) + 8);
}

void CustomButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.setOpacity(alpha_);
  WidgetPainting::paintLayer(p, rect(), cornerRadius_, layerBackground_, borderWidth_,
                             presentedBorder_);
  const QRectF content = WidgetPainting::roundedPath(rect(), cornerRadius_).boundingRect();
  p.setClipPath(WidgetPainting::roundedPath(rect(), cornerRadius_));
  const QRectF picture = WidgetPainting::imageRect(image_, content, !text().isEmpty());
  if (!picture.isEmpty()) p.drawPixmap(picture, image_, QRectF(image_.rect()));
  if (!text().isEmpty()) {
    QRectF textRect = content;
    if (!picture.isEmpty()) textRect.setLeft(picture.right() + 4);
    p.setPen(titleColor_);
    p.drawText(textRect, Qt::AlignCenter, text());
  }
}

}  // namespace corvane
