#pragma once

class QWidget;

namespace corvane {

// Brings a window of the program forward on the main window's screen (MainWindowPlacement):
// with two screens, a window opened from the main window shows where the user looks.
class WindowOnScreen {
 public:
  // Shows `window` in front with the focus; placed on `main`'s screen first when `main` is
  // given and shown.
  static void show(QWidget* window, const QWidget* main);
};

}  // namespace corvane
