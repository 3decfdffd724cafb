#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

namespace corvane {

// The keyboard focus made visible: a light outline a little outside whichever control inside
// the root holds the focus, so it reads beside a control's own lit border and on the dark
// board alike. It lives in the nearest container with room around the control, above the
// control's siblings, follows the control as it moves, and never takes the pointer or the
// focus. A widget that takes no Tab focus (the window, the root itself) gets no outline. As the
// desktop's own toolkits do, it shows only while the keyboard leads: a press of a mouse button
// puts it away until the next key.
class FocusRing : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kGap = 2;
  static constexpr int kWidth = 2;

  explicit FocusRing(QWidget* root);
  ~FocusRing() override;

  // The control the outline surrounds; none while nothing inside the root has the focus.
  QWidget* target() const { return target_; }
  // Whether the last input was a key rather than a press of a mouse button.
  bool keyboardLed() const { return keyboard_; }
  static QColor color();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void follow(QWidget* focused);
  void place();
  void unwatch();
  bool isWatched(QObject* object) const;

  QPointer<QWidget> root_;
  QPointer<QWidget> target_;
  QList<QPointer<QWidget>> watched_;
  double radius_ = 0;
  bool keyboard_ = true;
};

}  // namespace corvane
