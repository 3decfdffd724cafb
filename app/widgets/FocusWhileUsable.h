#pragma once

#include <QWidget>
#include <optional>

namespace corvane {

// Keeps a control out of the keyboard's reach while its owner shows it as not usable (unseen,
// dimmed or switched off without being hidden): it leaves the Tab order then, and takes its own
// focus policy back once it can be used again.
class FocusWhileUsable {
 public:
  // Returns true when the control held the focus and can no longer be used: its owner moves
  // the focus on.
  bool apply(QWidget* control, bool usable);

 private:
  std::optional<Qt::FocusPolicy> withheld_;
};

}  // namespace corvane
