#include "shell/CustomWindow.h"

#include <QAction>
#include <QEvent>
#include <QKeyEvent>
#include <QPainterPath>
#include <QRegion>
#include <QVBoxLayout>
#include <QWindowStateChangeEvent>

#include "shell/CustomWindowDelegate.h"
#include "shell/MiniaturizeRule.h"
#include "widgets/CustomView.h"
#include "widgets/NamedColors.h"

namespace corvane {

namespace {

constexpr double CONTENT_CORNER_RADIUS = 20.0;

}  // namespace

CustomWindow::CustomWindow(std::function<ConnectMode()> connectMode, QWidget* parent)
    : QMainWindow(parent), connectMode_(std::move(connectMode)) {
  frame_ = new CustomView(QRect(), this);
  frame_->setObjectName("contentFrame");
  frame_->setColor(NamedColors::color("windowBackgroundColor"));
  frame_->setCornerRadius(CONTENT_CORNER_RADIUS);
  auto* layout = new QVBoxLayout(frame_);
  layout->setContentsMargins(0, 0, 0, 0);
  setCentralWidget(frame_);
  frame_->installEventFilter(this);
  // Behind the rounded content: darker than it, so the corners read as corners. The menu bar
  // and its menus wear the same dark colours.
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, QColor(0x12, 0x13, 0x16));
  setPalette(palette);
  setStyleSheet(
      "QMenuBar { background: #121316; color: #E6E6E6; }"
      "QMenuBar::item:selected { background: #2896F5; color: white; }"
      "QMenu { background: #1E1F22; color: #E6E6E6; border: 1px solid #2A2C33; }"
      "QMenu::item { padding: 4px 24px 4px 24px; }"
      "QMenu::item:disabled { color: #6B6E76; }"
      "QMenu::item:selected { background: #2896F5; color: white; }"
      "QMenu::separator { height: 1px; background: #2A2C33; margin: 4px 8px; }");
  // A click on what takes no focus (the preview) gives the window the keys; Tab passes it by,
  // from one control to the next.
  setFocusPolicy(Qt::ClickFocus);
  // The desktop's full-screen keys (F11 here) go through the controller like the system's
  // full-screen command does elsewhere.
  auto* fullScreen = new QAction(this);
  fullScreen->setObjectName("toggleFullScreen");
  fullScreen->setShortcut(QKeySequence::FullScreen);
  connect(fullScreen, &QAction::triggered, this, [this] { toggleFullScreen(); });
  addAction(fullScreen);
}

void CustomWindow::setCustomWindowDelegate(CustomWindowDelegate* delegate, QObject* lifetime) {
  delegate_ = delegate;
  delegateLifetime_ = lifetime;
}

CustomWindowDelegate* CustomWindow::customWindowDelegate() const {
  return delegateLifetime_ ? delegate_ : nullptr;
}

QWidget* CustomWindow::setMainContent(QWidget* content) {
  QWidget* previous = content_;
  if (previous) {
    frame_->layout()->removeWidget(previous);
    previous->hide();
    previous->setParent(nullptr);
  }
  content_ = content;
  if (content) {
    frame_->layout()->addWidget(content);
    content->show();
  }
  return previous;
}

bool CustomWindow::miniaturize() {
  CustomWindowDelegate* delegate = customWindowDelegate();
  auto step = MiniaturizeRule::decide(delegate != nullptr, delegate && delegate->isSimpleMode(),
                                      connectMode_ ? connectMode_() : ConnectMode::searching);
  if (step == MiniaturizeRule::Step::ignore) return false;
  if (step == MiniaturizeRule::Step::askPopups && !delegate->closeAllPopups()) return false;
  ownStateChange_ = true;
  setWindowState(windowState() | Qt::WindowMinimized);
  ownStateChange_ = false;
  if (CustomWindowDelegate* still = customWindowDelegate()) still->windowDidMiniaturize();
  return true;
}

void CustomWindow::toggleFullScreen() {
  if (CustomWindowDelegate* delegate = customWindowDelegate())
    delegate->setIsFullScreen(!delegate->isFullScreen());
  ownStateChange_ = true;
  setWindowState(windowState() ^ Qt::WindowFullScreen);
  ownStateChange_ = false;
}

void CustomWindow::zoom() {
  if (CustomWindowDelegate* delegate = customWindowDelegate()) delegate->windowZoom();
}

void CustomWindow::keyPressEvent(QKeyEvent* event) {
  // Every key ends here, so none falls through to the default handling.
  if (CustomWindowDelegate* delegate = customWindowDelegate()) delegate->handleKeyDown(event);
  event->accept();
}

bool CustomWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == frame_ && event->type() == QEvent::Resize) roundContent();
  return QMainWindow::eventFilter(watched, event);
}

void CustomWindow::roundContent() {
  if (windowState() & Qt::WindowFullScreen) {
    frame_->clearMask();
    return;
  }
  QPainterPath path;
  path.addRoundedRect(QRectF(frame_->rect()), CONTENT_CORNER_RADIUS, CONTENT_CORNER_RADIUS);
  frame_->setMask(QRegion(path.toFillPolygon().toPolygon()));
}

void CustomWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  if (CustomWindowDelegate* delegate = customWindowDelegate()) delegate->windowDidResize();
}

void CustomWindow::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  if (CustomWindowDelegate* delegate = customWindowDelegate()) delegate->windowDidMove();
}

void CustomWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) roundContent();
  if (event->type() != QEvent::WindowStateChange || ownStateChange_) return;
  auto old = static_cast<QWindowStateChangeEvent*>(event)->oldState();
  Qt::WindowStates now = windowState();
  if ((now & Qt::WindowMinimized) && !(old & Qt::WindowMinimized)) {
    // The window manager minimised already: undo it unless the rule would have allowed it.
    CustomWindowDelegate* delegate = customWindowDelegate();
    auto step = MiniaturizeRule::decide(delegate != nullptr, delegate && delegate->isSimpleMode(),
                                        connectMode_ ? connectMode_() : ConnectMode::searching);
    bool allowed = step == MiniaturizeRule::Step::miniaturize ||
                   (step == MiniaturizeRule::Step::askPopups && delegate->closeAllPopups());
    if (!allowed) {
      ownStateChange_ = true;
      setWindowState(now & ~Qt::WindowMinimized);
      ownStateChange_ = false;
    } else if (CustomWindowDelegate* still = customWindowDelegate()) {
      still->windowDidMiniaturize();
    }
    return;
  }
  if ((old & Qt::WindowMinimized) && !(now & Qt::WindowMinimized)) {
    if (CustomWindowDelegate* delegate = customWindowDelegate()) delegate->windowDidDeminiaturize();
  }
  if ((now & Qt::WindowMaximized) && !(old & Qt::WindowMaximized)) {
    // The controller sizes the window itself instead of the window manager's maximise.
    ownStateChange_ = true;
    setWindowState(now & ~Qt::WindowMaximized);
    ownStateChange_ = false;
    zoom();
  }
}

}  // namespace corvane
