#pragma once

class QPropertyAnimation;
class QWidget;

namespace corvane {

// Presents a view over another one by fading it in and takes it away by fading it out, each
// over half a second. Holds no state: a fade under way lives on the view it fades.
class CustomSwiftAnimator {
 public:
  static constexpr int kDurationMs = 500;

  // Lays `presented` over the whole of `presenting` (as its child, on top) and fades it in
  // from transparent; a fade still under way on it is dropped first.
  void animatePresentation(QWidget* presented, QWidget* presenting) const;
  // Fades `presented` out and then takes it off the window.
  void animateDismissal(QWidget* presented) const;

  // The fade running on the view, or none.
  static QPropertyAnimation* runningFade(const QWidget* view);
  // The view's current opacity (1 when it was never faded).
  static double opacity(const QWidget* view);
};

}  // namespace corvane
