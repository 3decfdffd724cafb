#include "widgets/FocusWhileUsable.h"

namespace corvane {

bool FocusWhileUsable::apply(QWidget* control, bool usable) {
  if (usable) {
    if (withheld_) control->setFocusPolicy(*withheld_);
    withheld_.reset();
    return false;
  }
  if (!withheld_ && control->focusPolicy() != Qt::NoFocus) {
    withheld_ = control->focusPolicy();
    control->setFocusPolicy(Qt::NoFocus);
  }
  return control->hasFocus();
}

}  // namespace corvane
