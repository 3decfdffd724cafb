#pragma once

#include <QColor>
#include <QRect>
#include <QString>

class QLabel;
class QWidget;

namespace corvane {

class CustomButton;
class CustomView;

// The look the shell's windows and popups share: dark rounded panels, white text, outlined
// buttons that light up in the tint colour.
class ShellStyle {
 public:
  static QColor panelColor();
  static QColor textColor();
  static QColor secondaryTextColor();

  // A dark rounded panel that takes every click on it.
  static CustomView* panel(const QRect& frame, QWidget* parent);
  // An outlined push button with a title.
  static CustomButton* button(const QRect& frame, const QString& title, QWidget* parent);
  // A tab of a pane switcher: outlined while chosen (state on), plain otherwise.
  static CustomButton* tabButton(const QRect& frame, const QString& title, QWidget* parent);
  // A plain-text label (never rich text: messages may come from anywhere).
  static QLabel* label(const QRect& frame, const QString& text, QWidget* parent, int pointSize = 13,
                       bool bold = false);
};

}  // namespace corvane
