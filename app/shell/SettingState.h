#pragma once

namespace corvane {

// The panes of the settings window.
enum class SettingState { Language = 0, Gesture = 1, Roi = 2 };

}  // namespace corvane
