#include "CustomButton.h"

#include <QEvent>
#include <QKeyEvent>
#include <QGraphicsOpacityEffect>
#include <QPainter>
#include <QPainterPath>

namespace uninstaller {

CustomButton::CustomButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
  setCursor(Qt::PointingHandCursor);
  setMinimumHeight(20);
  currentBorder_ = border_;
  borderAnimation_.setDuration(100);
  connect(&borderAnimation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
    currentBorder_ = v.value<QColor>();
    update();
  });
  restyle(false);
}

void CustomButton::setSelected(bool selected) {
  if (selected_ == selected) return;
  selected_ = selected;
  restyle(true);
}

void CustomButton::setCornerRadius(int r) {
  cornerRadius_ = r;
  update();
}

void CustomButton::setBorderWidth(int w) {
  borderWidth_ = w;
  update();
}

void CustomButton::setColors(QColor border, QColor text, QColor activeBorder, QColor activeText,
                             QColor hover, QColor hoverText) {
  border_ = border;
  text_ = text;
  activeBorder_ = activeBorder;
  activeText_ = activeText;
  hover_ = hover;
  hoverText_ = hoverText;
  restyle(false);
}

CustomButton::Look CustomButton::lookFor(bool enabled, bool selected, bool hovered) const {
  Look look;
  if (!enabled) {
    look.border = look.text = disabled_;
    look.fill = Qt::white;
    look.tick = selected;
    look.opacity = 0.3;
    return look;
  }
  look.border = selected ? activeBorder_ : border_;
  look.text = selected ? activeText_ : text_;
  look.fill = Qt::white;
  look.tick = selected;
  if (hovered) {
    look.border = hover_;
    look.text = hoverText_;
    look.fill = hoverFill_;
  }
  return look;
}

void CustomButton::enterEvent(QEnterEvent* e) {
  hovered_ = true;
  restyle(false);
  QPushButton::enterEvent(e);
}

void CustomButton::leaveEvent(QEvent* e) {
  hovered_ = false;
  restyle(false);
  QPushButton::leaveEvent(e);
}

void CustomButton::changeEvent(QEvent* e) {
  if (e->type() == QEvent::EnabledChange) restyle(false);
  QPushButton::changeEvent(e);
}

void CustomButton::keyPressEvent(QKeyEvent* e) {
  const auto modifiers = e->modifiers() & ~Qt::KeypadModifier;
  if (modifiers == Qt::NoModifier && (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)) {
    if (!e->isAutoRepeat()) click();
    return;
  }
  QPushButton::keyPressEvent(e);
}

void CustomButton::focusInEvent(QFocusEvent* e) {
  focusShown_ = e->reason() != Qt::MouseFocusReason;
  QPushButton::focusInEvent(e);
  update();
}

void CustomButton::focusOutEvent(QFocusEvent* e) {
  QPushButton::focusOutEvent(e);
  update();
}

void CustomButton::restyle(bool animate) {
  Look look = lookFor(isEnabled(), selected_, hovered_);
  borderAnimation_.stop();
  if (animate && isEnabled() && isVisible()) {
    borderAnimation_.setStartValue(currentBorder_);
    borderAnimation_.setEndValue(look.border);
    borderAnimation_.start();
  } else {
    currentBorder_ = look.border;
  }
  auto* fade = qobject_cast<QGraphicsOpacityEffect*>(graphicsEffect());
  if (!fade) {
    fade = new QGraphicsOpacityEffect(this);
    setGraphicsEffect(fade);
  }
  fade->setOpacity(look.opacity);
  update();
}

void CustomButton::paintEvent(QPaintEvent*) {
  Look look = lookFor(isEnabled(), selected_, hovered_);
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  QRectF box = QRectF(rect()).adjusted(borderWidth_ / 2.0, borderWidth_ / 2.0, -borderWidth_ / 2.0,
                                       -borderWidth_ / 2.0);
  const bool checkBox = text().isEmpty();
  // The selected image of the check box is a filled box; a titled button keeps its fill.
  QColor fill = look.fill;
  if (checkBox && look.tick && !hovered_) fill = currentBorder_;
  p.setPen(QPen(currentBorder_, borderWidth_));
  p.setBrush(fill);
  p.drawRoundedRect(box, cornerRadius_, cornerRadius_);
  if (checkBox && look.tick) {
    QPainterPath tick;
    tick.moveTo(box.left() + box.width() * 0.22, box.top() + box.height() * 0.52);
    tick.lineTo(box.left() + box.width() * 0.42, box.top() + box.height() * 0.72);
    tick.lineTo(box.left() + box.width() * 0.78, box.top() + box.height() * 0.30);
    QColor tickColor = hovered_ ? look.border : QColor(Qt::white);
    p.setPen(QPen(tickColor, std::max(2.0, box.width() / 8.0), Qt::SolidLine, Qt::RoundCap,
                  Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(tick);
  }
  if (!checkBox) {
    p.setPen(look.text);
    p.drawText(rect(), Qt::AlignCenter, text());
  }
  if (showsFocus()) {
    // A ring just inside the edge, apart from the border, so it reads on the selected box too.
    const qreal inset = borderWidth_ + 1.5;
    QColor ring = checkBox && look.tick ? QColor(Qt::white) : focusRing_;
    p.setPen(QPen(ring, 2, Qt::SolidLine));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset),
                      std::max(0.0, cornerRadius_ - inset), std::max(0.0, cornerRadius_ - inset));
  }
}

}  // namespace uninstaller
