#pragma once

class QKeyEvent;

namespace corvane {

// What the main window's frame asks of the controller that fills it.
class CustomWindowDelegate {
 public:
  virtual ~CustomWindowDelegate() = default;

  virtual bool isSimpleMode() const = 0;
  virtual bool isFullScreen() const = 0;
  virtual void setIsFullScreen(bool fullScreen) = 0;
  // Hides every popup and ends editing; false when the window must not be minimised now.
  virtual bool closeAllPopups() = 0;
  // Takes the place of the window manager's maximise.
  virtual void windowZoom() = 0;
  // Every key no child of the window took.
  virtual void handleKeyDown(QKeyEvent* event) = 0;
  // Switches the window into the compact layout (the launch does so when asked to start
  // compact with a live picture).
  virtual void showSimpleUI(bool flag) { (void)flag; }
  // The window's frame was resized or moved (by the user, the window manager or the program).
  virtual void windowDidResize() {}
  virtual void windowDidMove() {}
  // The window went to the taskbar (minimised for real, not refused), and came back from it.
  virtual void windowDidMiniaturize() {}
  virtual void windowDidDeminiaturize() {}
};

}  // namespace corvane
