#include "CustomButton.h"

#include <QEvent>
#include <QGraphicsOpacityEffect>

namespace uninstaller {

CustomButton::CustomButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
  setCursor(Qt::PointingHandCursor);
  setMinimumHeight(32);
  restyle();
}

void CustomButton::setSelected(bool selected) {
  selected_ = selected;
  restyle();
}

void CustomButton::setCornerRadius(int r) {
  cornerRadius_ = r;
  restyle();
}

void CustomButton::setBorderWidth(int w) {
  borderWidth_ = w;
  restyle();
}

void CustomButton::setColors(QColor border, QColor text, QColor activeBorder, QColor activeText,
                             QColor hover, QColor hoverText) {
  border_ = border;
  text_ = text;
  activeBorder_ = activeBorder;
  activeText_ = activeText;
  hover_ = hover;
  hoverText_ = hoverText;
  restyle();
}

void CustomButton::enterEvent(QEnterEvent* e) {
  hovered_ = true;
  restyle();
  QPushButton::enterEvent(e);
}

void CustomButton::leaveEvent(QEvent* e) {
  hovered_ = false;
  restyle();
  QPushButton::leaveEvent(e);
}

void CustomButton::changeEvent(QEvent* e) {
  if (e->type() == QEvent::EnabledChange) restyle();
  QPushButton::changeEvent(e);
}

void CustomButton::restyle() {
  QColor border = border_, text = text_;
  if (!isEnabled()) {
    border = text = disabled_;
  } else if (hovered_) {
    border = hover_;
    text = hoverText_;
  } else if (selected_) {
    border = activeBorder_;
    text = activeText_;
  }
  setStyleSheet(QString("QPushButton { border: %1px solid %2; border-radius: %3px; color: %4;"
                        " background: %5; padding: 4px 16px; }")
                    .arg(borderWidth_)
                    .arg(border.name())
                    .arg(cornerRadius_)
                    .arg(text.name())
                    .arg(selected_ ? "transparent" : "white"));
  auto* fade = qobject_cast<QGraphicsOpacityEffect*>(graphicsEffect());
  if (!fade) {
    fade = new QGraphicsOpacityEffect(this);
    setGraphicsEffect(fade);
  }
  fade->setOpacity(isEnabled() ? 1.0 : 0.3);
}

}  // namespace uninstaller
