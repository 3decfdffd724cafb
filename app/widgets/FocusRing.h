#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

namespace corvane {

// The keyboard focus made visible: a light outline a little outside whichever control inside
// the root holds the focus, so it reads beside a control's own lit border and on the dark
// board alike. It lives in the nearest container with room around the control, above the
// control's siblings, follows the control as it moves, and never takes the pointer or the
// focus. A widget that takes no Tab focus (the window, the root itself) gets no outline.
class FocusRing : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kGap = 2;
  static constexpr int kWidth = 2;

  explicit FocusRing(QWidget* root);
  ~FocusRing() override;

  // The control the outline surrounds; none while nothing inside the root has the focus.
  QWidget* target() const { return target_; }
  static QColor color();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void follow(QWidget* focused);
  void place();
  void unwatch();

  QPointer<QWidget> root_;
  QPointer<QWidget> target_;
  QList<QPointer<QWidget>> watched_;
  double radius_ = 0;
};

}  // namespace corvane
