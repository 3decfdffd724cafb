#pragma once

class QWidget;

namespace corvane {

// The keys of the program's small windows (About, diagnostics, the file player): Escape and
// Ctrl+W close the window as its title bar's close does, and the control holding the focus is
// outlined while the keyboard leads. Ctrl+Q is the program's quit, which reaches every window.
class SmallWindowKeys {
 public:
  // Gives `window` its keys and its focus outline; a window that has them already is left so.
  static void install(QWidget* window);
  // Whether `window` has them.
  static bool installed(const QWidget* window);
};

}  // namespace corvane
