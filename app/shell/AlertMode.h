#pragma once

#include <optional>

namespace corvane {

// The two kinds of alert: one button, or cancel and OK.
enum class AlertMode { alert = 0, confirm = 1 };

// None for any other raw value.
inline std::optional<AlertMode> alertModeFromRaw(int raw) {
  switch (raw) {
    case 0:
      return AlertMode::alert;
    case 1:
      return AlertMode::confirm;
    default:
      return std::nullopt;
  }
}

}  // namespace corvane
