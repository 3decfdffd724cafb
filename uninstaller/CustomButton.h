#pragma once

#include <QColor>
#include <QPushButton>
#include <QVariantAnimation>

namespace uninstaller {

// The program's styled button: rounded border, hover colours, and a selected state for the
// check box. Its look follows its state: faded and pale when disabled; when enabled the border
// eases over 0.1 s to the active colour (selected) or the plain one, the selected image (a
// filled box with a tick) or the unselected one (an empty box) is drawn, and hovering shows its
// own colours and a light fill, so hover never reads as selected.
class CustomButton : public QPushButton {
  Q_OBJECT
 public:
  // What the button looks like in one state.
  struct Look {
    QColor border;
    QColor text;
    QColor fill;
    bool tick = false;     // the selected image
    double opacity = 1.0;
  };

  explicit CustomButton(const QString& text = {}, QWidget* parent = nullptr);

  void setSelected(bool selected);
  bool isSelected() const { return selected_; }
  bool isHovered() const { return hovered_; }
  void setCornerRadius(int r);
  void setBorderWidth(int w);
  void setColors(QColor border, QColor text, QColor activeBorder, QColor activeText,
                 QColor hover, QColor hoverText);

  // The look for a state; the border colour is where the animation ends.
  Look lookFor(bool enabled, bool selected, bool hovered) const;
  // The border colour drawn now (moving during the 0.1 s animation).
  QColor currentBorder() const { return currentBorder_; }
  // Whether the focus ring is drawn: while the button has the focus, unless a click gave it
  // (as the desktop's own toolkits show it).
  bool showsFocus() const { return hasFocus() && focusShown_; }

 protected:
  void enterEvent(QEnterEvent* e) override;
  void leaveEvent(QEvent* e) override;
  void changeEvent(QEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  // Return presses the button that has the focus, as Space does.
  void keyPressEvent(QKeyEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;

 private:
  void restyle(bool animate);

  bool selected_ = false;
  bool hovered_ = false;
  bool focusShown_ = false;
  int cornerRadius_ = 6;
  int borderWidth_ = 1;
  QColor border_{0x9a, 0x9a, 0x9a}, text_{0x33, 0x33, 0x33};
  QColor activeBorder_{0x1e, 0x88, 0xe5}, activeText_{0x1e, 0x88, 0xe5};
  QColor hover_{0x64, 0xb5, 0xf6}, hoverText_{0x15, 0x65, 0xc0};
  QColor hoverFill_{0xe3, 0xf2, 0xfd};
  QColor disabled_{0xd9, 0xd9, 0xd9};  // veryLightPinkColor
  QColor focusRing_{0x1e, 0x88, 0xe5};
  QColor currentBorder_;
  QVariantAnimation borderAnimation_;
};

}  // namespace uninstaller
