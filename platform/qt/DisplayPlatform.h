#pragma once

#include <optional>
#include <string>

namespace platform {

// Which Qt platform plugin the program asks for. Wayland lets no client place its own window,
// and the main window places itself (the compact layout near the screen's top right), so with
// XWayland at hand the program runs as an X client unless the user chose a plugin.
class DisplayPlatform {
 public:
  // "xcb" when no plugin is chosen (`qpaPlatform` unset or empty), a Wayland session runs
  // (`waylandDisplay`) and an X display is there (`x11Display`); none otherwise.
  static std::optional<std::string> preferred(const char* qpaPlatform, const char* waylandDisplay,
                                              const char* x11Display);
  // The same from the process environment, set into QT_QPA_PLATFORM before the application
  // object exists.
  static void applyPreferred();
};

}  // namespace platform
