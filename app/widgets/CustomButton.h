#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QPixmap>
#include <QPointer>
#include <QPropertyAnimation>

#include "widgets/FocusWhileUsable.h"
#include "widgets/HoverTracker.h"

namespace corvane {

class CustomButtonDelegate;

// The program's styled button: its own border, title colour and image for the normal, active
// (state on) and hover looks, painted by itself. The hover area is the frame it was made with.
// Under the pointer every button gets the hover fill; only an unlit one swaps to the hover
// border, title and image, so a lit button never looks switched off while hovered. The
// keyboard reaches it by Tab (a click leaves the focus where it was) while it can be used.
class CustomButton : public QAbstractButton {
  Q_OBJECT
  Q_PROPERTY(QColor presentedBorderColor READ presentedBorderColor WRITE setPresentedBorderColor)

 public:
  explicit CustomButton(const QRect& frame = QRect(), QWidget* parent = nullptr);
  ~CustomButton() override;

  CustomButtonDelegate* delegate = nullptr;
  bool isSelected = false;
  // What the button stands for to its owner (a display-mode code, a flicker choice plus 10).
  int tag = 0;

  QString title() const { return text(); }
  void setTitle(const QString& title);

  // The button's state; on shows the active look at the next change of a property.
  bool state() const { return stateOn_; }
  void setState(bool on) { stateOn_ = on; }

  bool buttonEnabled() const { return buttonEnabled_; }
  void setButtonEnabled(bool enabled);

  double cornerRadius() const { return cornerRadius_; }
  void setCornerRadius(double radius);
  double borderWidth() const { return borderWidth_; }
  void setBorderWidth(double width);

  QColor borderColor() const { return borderColor_; }
  void setBorderColor(const QColor& c);
  QColor activeBorderColor() const { return activeBorderColor_; }
  void setActiveBorderColor(const QColor& c);
  QColor hoverColor() const { return hoverColor_; }
  void setHoverColor(const QColor& c);
  QColor textColor() const { return textColor_; }
  void setTextColor(const QColor& c);
  QColor hoverTextColor() const { return hoverTextColor_; }
  void setHoverTextColor(const QColor& c);
  QColor activeTextColor() const { return activeTextColor_; }
  void setActiveTextColor(const QColor& c);
  QPixmap unselectedImage() const { return unselectedImage_; }
  void setUnselectedImage(const QPixmap& image);
  QPixmap hoverImage() const { return hoverImage_; }
  void setHoverImage(const QPixmap& image);
  QPixmap selectedImage() const { return selectedImage_; }
  void setSelectedImage(const QPixmap& image);

  void updateAppearance(bool active);

  // What the button shows now.
  QColor layerBackgroundColor() const { return layerBackground_; }
  QColor layerBorderColor() const { return layerBorder_; }
  QColor presentedBorderColor() const { return presentedBorder_; }
  void setPresentedBorderColor(const QColor& c);
  QColor titleColor() const { return titleColor_; }
  QPixmap image() const { return image_; }
  double alphaValue() const { return alpha_; }
  // Dims the button without disabling it (owners show choices that are not available now); an
  // unseen one (alpha 0) takes no focus.
  void setAlphaValue(double alpha);
  bool isHovered() const { return hovered_; }
  QRectF hoverArea() const { return tracker_.area(); }
  // The border colour's running (or last) animation; none before the first.
  QPropertyAnimation* borderAnimation() const { return borderAnimation_; }

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  // Space (as every button) and Return press it; the arrows stay the window's.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void hoverStart();
  void hoverEnd();
  void showHoverLook();
  void follow(HoverTracker::Change change);
  void animateBorderColor(const QColor& to);
  void followUsability();

  bool buttonEnabled_ = true;
  bool stateOn_ = false;
  bool hovered_ = false;
  double cornerRadius_ = 0;
  double borderWidth_ = 0;
  QColor borderColor_;
  QColor activeBorderColor_;
  QColor hoverColor_;
  QColor textColor_;
  QColor hoverTextColor_;
  QColor activeTextColor_;
  QPixmap unselectedImage_;
  QPixmap hoverImage_;
  QPixmap selectedImage_;

  QColor layerBackground_;
  QColor layerBorder_;
  QColor presentedBorder_;
  QColor titleColor_;
  QPixmap image_;
  double alpha_ = 1.0;
  HoverTracker tracker_;
  FocusWhileUsable focus_;
  QPointer<QPropertyAnimation> borderAnimation_;
};

}  // namespace corvane
