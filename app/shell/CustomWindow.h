#pragma once

#include <QGuiApplication>
#include <QMainWindow>
#include <QMargins>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "camera/ConnectMode.h"
#include "dispatch/DispatchTimer.h"
#include "main/MainWindowPlacement.h"
#include "qt/WindowSystem.h"

namespace corvane {

class CustomView;
class CustomWindowDelegate;

// The program's one window: first the launch screen, then the main window. It hands
// minimise, full screen, maximise and every key no child takes to the controller filling it.
// A window manager's minimise or maximise cannot be vetoed beforehand, so one the rule
// refuses is undone as soon as it is reported.
class CustomWindow : public QMainWindow {
  Q_OBJECT

 public:
  // The radius of the content's rounded corners (none in full screen).
  static constexpr double kContentCornerRadius = 20.0;

  // `connectMode` reads the camera's connection state (the minimise rule needs it).
  explicit CustomWindow(std::function<ConnectMode()> connectMode, QWidget* parent = nullptr);

  // Weak: a delegate object destroyed later simply leaves the window without one.
  void setCustomWindowDelegate(CustomWindowDelegate* delegate, QObject* lifetime);
  CustomWindowDelegate* customWindowDelegate() const;

  // Puts `content` into the window inside the rounded content frame; the previous content is
  // handed back (not deleted).
  QWidget* setMainContent(QWidget* content);
  QWidget* mainContent() const { return content_; }
  CustomView* contentFrame() const { return frame_; }

  // The program's own minimise: asks the delegate first where the rule says so. True when the
  // window was minimised.
  bool miniaturize();
  void toggleFullScreen();
  void zoom();

  // The frame the window manager draws around the content, as it reports it once it has framed
  // the window; before, the last one known or an estimate.
  QMargins frameMargins() const;
  // The available areas of the screens, the main one first.
  static std::vector<QRect> availableAreas();
  // Puts the frame where `rule` says for the frame's margins, and again when the window manager
  // reports other margins soon after (it frames the window only once it is shown, and draws a
  // resizable window's frame larger), unless the window was resized meanwhile. `insist` puts it
  // back also when it is moved or resized right after.
  using FrameRule = std::function<QRect(const QMargins&)>;
  void placeFrame(FrameRule rule, bool insist = false);
  // The program's zoom: the frame fills the available area of its screen, and the next zoom
  // brings back the frame from before.
  void zoomFrame();
  // What the window system lets the window do; the running platform's unless set.
  const platform::WindowSystem::Abilities& windowSystem() const { return windowSystem_; }
  void setWindowSystem(const platform::WindowSystem::Abilities& a) { windowSystem_ = a; }
  // Whether the window's place is the one the program gave and reads back.
  bool placeKnown() const { return windowSystem_.placesOwnWindows; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Clips the content to the rounded frame (not in full screen), whatever the content paints.
  void roundContent();
  void applyFrame(const QMargins& margins);
  // Called on every move, resize and a while after a placement: re-places with the margins the
  // window manager reports now.
  void checkFrame();
  void noteFrame();
  // A state change of the window's own, which its change handler lets stand.
  void setOwnState(Qt::WindowStates states) {
    ownStateChange_ = true;
    setWindowState(states);
    ownStateChange_ = false;
  }

  std::function<ConnectMode()> connectMode_;
  CustomWindowDelegate* delegate_ = nullptr;
  QPointer<QObject> delegateLifetime_;
  CustomView* frame_ = nullptr;
  QPointer<QWidget> content_;
  bool ownStateChange_ = false;

  FrameRule frameRule_;
  QMargins placedMargins_;
  QSize placedSize_;
  int frameChecks_ = 0;
  int insistChecks_ = 0;
  int insistApplies_ = 0;
  bool applyingFrame_ = false;
  std::unique_ptr<platform::DispatchTimer> frameTimer_;
  mutable std::optional<QMargins> knownMargins_;
  std::optional<QRect> lastFrame_, previousFrame_;
  std::optional<MainWindowPlacement::Zoomed> zoomed_;
  platform::WindowSystem::Abilities windowSystem_ =
      platform::WindowSystem::of(QGuiApplication::platformName().toStdString());
};

}  // namespace corvane
