#include "shell/ShellStyle.h"

#include <QLabel>

#include "widgets/CustomButton.h"
#include "widgets/CustomView.h"
#include "widgets/NamedColors.h"

namespace corvane {

QColor ShellStyle::panelColor() { return QColor(0x26, 0x26, 0x26); }
QColor ShellStyle::textColor() { return Qt::white; }
QColor ShellStyle::secondaryTextColor() { return QColor(0xB4, 0xB4, 0xB4); }

CustomView* ShellStyle::panel(const QRect& frame, QWidget* parent) {
  auto* view = new CustomView(frame, parent);
  view->disableMouseEvent = true;
  view->setColor(panelColor());
  view->setCornerRadius(8);
  view->setBorderWidth(1);
  view->setBorderColor(NamedColors::color("75Color"));
  return view;
}

CustomButton* ShellStyle::button(const QRect& frame, const QString& title, QWidget* parent) {
  auto* button = new CustomButton(frame, parent);
  button->setCornerRadius(frame.height() / 2.0);
  button->setBorderWidth(1);
  button->setBorderColor(NamedColors::lightGray());
  button->setActiveBorderColor(NamedColors::color("tintColor"));
  button->setTextColor(textColor());
  button->setActiveTextColor(textColor());
  button->setHoverColor(NamedColors::color("tintColor"));
  button->setTitle(title);
  button->setCursor(Qt::PointingHandCursor);
  return button;
}

CustomButton* ShellStyle::tabButton(const QRect& frame, const QString& title, QWidget* parent) {
  auto* button = new CustomButton(frame, parent);
  button->setCornerRadius(4);
  button->setBorderWidth(1);
  button->setBorderColor(NamedColors::clear());
  button->setActiveBorderColor(NamedColors::color("tintColor"));
  button->setTextColor(secondaryTextColor());
  button->setActiveTextColor(textColor());
  button->setTitle(title);
  button->setCursor(Qt::PointingHandCursor);
  return button;
}

QLabel* ShellStyle::label(const QRect& frame, const QString& text, QWidget* parent, int pointSize,
                          bool bold) {
  auto* label = new QLabel(parent);
  label->setGeometry(frame);
  label->setTextFormat(Qt::PlainText);
  label->setText(text);
  QFont font = label->font();
  font.setPointSize(pointSize);
  font.setBold(bold);
  label->setFont(font);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, textColor());
  label->setPalette(palette);
  return label;
}

}  // namespace corvane
