#pragma once

#include <QMainWindow>
#include <QPointer>
#include <functional>

#include "camera/ConnectMode.h"

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

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Clips the content to the rounded frame (not in full screen), whatever the content paints.
  void roundContent();

  std::function<ConnectMode()> connectMode_;
  CustomWindowDelegate* delegate_ = nullptr;
  QPointer<QObject> delegateLifetime_;
  CustomView* frame_ = nullptr;
  QPointer<QWidget> content_;
  bool ownStateChange_ = false;
};

}  // namespace corvane
