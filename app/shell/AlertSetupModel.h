#pragma once

#include <QString>
#include <functional>
#include <optional>

#include "shell/AlertMode.h"

namespace corvane {

// What one alert shows and whom it answers.
struct AlertSetupModel {
  AlertMode mode = AlertMode::alert;
  QString message;
  // Empty: the localized "button_cancel_name".
  QString cancelButtonString;
  // Empty: the localized "button_ok_name".
  QString okButtonString;
  // Kept with the model; the one-button alert always shows the localized "button_ok_name".
  QString confimButtonString;
  // Title of the extra button; needed when showOtherButton is set.
  std::optional<QString> otherMessage;
  // True: accepted.
  std::function<void(bool)> confirmHandler;
  bool showOtherButton = false;
  std::function<void()> otherConfirmHandler;
};

}  // namespace corvane
