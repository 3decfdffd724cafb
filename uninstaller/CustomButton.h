#pragma once

#include <QColor>
#include <QPushButton>

namespace uninstaller {

// The program's styled button: rounded border, hover colours, and a selected state for the
// check box. Its look follows its state: faded when disabled, active colours when selected.
class CustomButton : public QPushButton {
  Q_OBJECT
 public:
  explicit CustomButton(const QString& text = {}, QWidget* parent = nullptr);

  void setSelected(bool selected);
  bool isSelected() const { return selected_; }
  void setCornerRadius(int r);
  void setBorderWidth(int w);
  void setColors(QColor border, QColor text, QColor activeBorder, QColor activeText,
                 QColor hover, QColor hoverText);

 protected:
  void enterEvent(QEnterEvent* e) override;
  void leaveEvent(QEvent* e) override;
  void changeEvent(QEvent* e) override;

 private:
  void restyle();

  bool selected_ = false;
  bool hovered_ = false;
  int cornerRadius_ = 6;
  int borderWidth_ = 1;
  QColor border_{0x9a, 0x9a, 0x9a}, text_{0x33, 0x33, 0x33};
  QColor activeBorder_{0x1e, 0x88, 0xe5}, activeText_{0x1e, 0x88, 0xe5};
  QColor hover_{0x1e, 0x88, 0xe5}, hoverText_{0x1e, 0x88, 0xe5};
  QColor disabled_{0xd9, 0xd9, 0xd9};  // veryLightPinkColor
};

}  // namespace uninstaller
