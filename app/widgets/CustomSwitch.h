#pragma once

#include <QColor>
#include <QPointer>
#include <QPropertyAnimation>
#include <QWidget>

#include "widgets/FocusWhileUsable.h"

namespace corvane {

class CustomSwitchDelegate;
class CustomView;
class NSSwitchThumbView;

// The program's on/off switch: a rounded track coloured by the state and a round thumb that
// slides between its ends. A click on the track flips it; a drag moves the thumb by hand and
// snaps it to an end when released. Either sends actionTriggered(). The keyboard reaches it by
// Tab while it takes clicks; Space or Return flips it as a click does.
class CustomSwitch : public QWidget {
  Q_OBJECT

 public:
  explicit CustomSwitch(const QRect& frame = QRect(), QWidget* parent = nullptr);
  ~CustomSwitch() override;

  CustomSwitchDelegate* delegate = nullptr;
  QString mediaTimingFunction = QStringLiteral("easeIn");
  double thumbAnimationDuration = 0.2;
  double dragVelocityGain = 0.3;

  bool on() const { return on_; }
  void setOn(bool on, bool animated);

  QColor onColor() const { return onColor_; }
  void setOnColor(const QColor& c) { onColor_ = c; }
  QColor offColor() const { return offColor_; }
  void setOffColor(const QColor& c);
  QColor thumbColor() const { return thumbColor_; }
  void setThumbColor(const QColor& c);

  // The owner dims the switch; only a switch at exactly 1.0 takes clicks.
  double alphaValue() const { return alpha_; }
  void setAlphaValue(double alpha);

  CustomView* backgroundView() const { return backgroundView_; }
  NSSwitchThumbView* thumbView() const { return thumbView_; }
  // The thumb's slide, once one has run.
  QPropertyAnimation* thumbAnimation() const { return thumbAnimation_; }

  QSize sizeHint() const override { return QSize(40, 20); }

 signals:
  void actionTriggered();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void layoutParts();
  void slideThumb();
  void clicked();
  void panChanged(double translation);
  void panEnded();

  bool on_ = false;
  QColor onColor_;
  QColor offColor_;
  QColor thumbColor_;
  double alpha_ = 1.0;
  CustomView* backgroundView_ = nullptr;
  NSSwitchThumbView* thumbView_ = nullptr;
  QPointer<QPropertyAnimation> thumbAnimation_;
  FocusWhileUsable focus_;

  enum class Gesture { none, pressed, pressedOnThumb, panning };
  Gesture gesture_ = Gesture::none;
  QPointF pressPos_;
  double dragX_ = 0;
};

}  // namespace corvane
