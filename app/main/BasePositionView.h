#pragma once

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <functional>
#include <memory>

#include "dispatch/Clock.h"
#include "widgets/CustomView.h"

class QAbstractAnimation;

namespace corvane {

// The pill-shaped button over the preview that opens the base-position set-up: an edit icon
// and a caption; it shrinks to a round knob when the pointer leaves and grows back when it
// returns. A click anywhere on it calls the owner's handler, collapsed or not.
class BasePositionView : public CustomView {
  Q_OBJECT

 public:
  explicit BasePositionView(const QRect& frame = QRect(), QWidget* parent = nullptr,
                            platform::Clock& clock = platform::Clock::shared());
  ~BasePositionView() override;

  QPointer<QLabel> title;
  bool close = false;  // a collapse is pending
  std::function<void()> onClickHandler;
  QPointer<QWidget> backgroundView;
  QPointer<QPushButton> button;

  // Builds the content for the view's current size; again rebuilds it.
  void setupView();
  void onClickButton();
  void expand();
  // Collapses `seconds` later on the main queue, unless expand() comes first.
  void scheduleCollapse(double seconds);

  static constexpr int kCollapsedWidth = 30;
  static constexpr int kLongCaption = 19;  // characters from which the small font is used
  static constexpr int kPillDurationMs = 400;
  static constexpr int kCaptionDurationMs = 500;

  // The caption's frame and font size for a caption of `length` characters.
  static QRect captionFrame(int length);
  static int captionFontSize(int length);

  // What the view shows when no animation runs any more.
  double captionOpacity() const;
  // Ends the running animations at their end values (tests; a resize).
  void finishAnimations();

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void collapse();
  void animate(const QRect& pill, double captionAlpha, int captionMs);
  void setCaptionOpacity(double alpha);

  platform::Clock& clock_;
  int designedWidth_ = 0;  // the width it was made with; a long caption widens it
  double captionOpacity_ = 1.0;
  bool focusExpanded_ = false;  // open for the keyboard's focus alone
  // The button as its events name it: compared, never cast (it is a plain QObject while it goes).
  const QObject* focusSource_ = nullptr;
  QPointer<QAbstractAnimation> animation_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace corvane
