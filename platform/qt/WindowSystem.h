#pragma once

#include <string_view>

namespace platform {

// What the window system lets a program do with its own top-level windows. An X window manager
// moves a window where the program asks, tells it of a minimise and lets it size a maximised
// window itself. A Wayland compositor places every window itself (a client never learns where),
// sizes a maximised window and holds the client to that size (any other ends the connection),
// and hides a minimised window without telling the client.
class WindowSystem {
 public:
  struct Abilities {
    bool placesOwnWindows = true;  // a move is honoured and the window's place is known
    bool sizesOwnMaximise = true;  // a maximised window may take a size of the program's choice
    bool reportsMinimise = true;   // the program hears when its window is minimised
    bool operator==(const Abilities&) const = default;
  };
  // By the Qt platform plugin's name ("xcb", "wayland", "wayland-egl", "offscreen", ...), as
  // QGuiApplication::platformName() gives it.
  static Abilities of(std::string_view platformName);

  // When the window system reports the window maximised: the program takes the maximise back
  // and zooms its own frame, or the window system's maximise and its size stand.
  enum class MaximiseStep { zoomOwnFrame, letStand };
  static MaximiseStep onMaximised(const Abilities& abilities);
  // The program's own zoom (its menu, its keys): its own frame, or it asks the window system
  // to maximise or to restore.
  enum class ZoomStep { ownFrame, maximise, restore };
  static ZoomStep zoom(const Abilities& abilities, bool maximisedNow);
};

}  // namespace platform
