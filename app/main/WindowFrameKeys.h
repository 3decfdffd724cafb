#pragma once

#include <QPoint>
#include <QRectF>
#include <QSize>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace corvane {

// The main window's small keyboard and frame rules, free of widgets: the arrow keys nudge the
// rectangle being edited, and the window's size and place are kept in the user defaults.
class WindowFrameKeys {
 public:
  static constexpr double kNudge = 5.0;  // frame pixels per arrow press

  // The rectangle after key `key` (a Qt::Key); the same rectangle for any other key.
  static QRectF nudged(const QRectF& rect, int key);
  // Delete, and Backspace as on any Linux desktop, remove the selected rectangle.
  static bool isDelete(int key);

  using Entries = std::vector<std::pair<std::string, double>>;
  // The keys a resize stores: none in the simple layout or outside the program's window, no
  // size in full screen.
  static Entries onResize(QSize size, bool simpleMode, bool fullScreen, bool customWindow);
  // The keys a move stores: the frame's top-left, also in full screen; none where the window
  // system does not say where the window is (`placeKnown` false).
  static Entries onMove(QPoint topLeft, bool simpleMode, bool customWindow, bool placeKnown);
};

}  // namespace corvane
