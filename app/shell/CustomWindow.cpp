#include "shell/CustomWindow.h"

#include <QAction>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainterPath>
#include <QRegion>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>
#include <QWindowStateChangeEvent>
#include <chrono>

#include "dispatch/MainQueue.h"
#include "shell/CustomWindowDelegate.h"
#include "shell/MiniaturizeRule.h"
#include "widgets/CustomView.h"
#include "widgets/NamedColors.h"

namespace corvane {

using platform::WindowSystem;

namespace {

// After a placement the window manager's frame is looked at this often, this many times: it may
// frame the window, or draw it anew for new size limits, without the window hearing of it.
constexpr auto FRAME_CHECK_INTERVAL = std::chrono::milliseconds(100);
constexpr int FRAME_CHECKS = 20;
// A zoom is put back this long, this many times at the most, when something else moves it.
constexpr int INSIST_CHECKS = 5;
constexpr int INSIST_APPLIES = 3;

}  // namespace

CustomWindow::CustomWindow(std::function<ConnectMode()> connectMode, QWidget* parent)
    : QMainWindow(parent), connectMode_(std::move(connectMode)) {
  frame_ = new CustomView(QRect(), this);
  frame_->setObjectName("contentFrame");
  frame_->setColor(NamedColors::color("windowBackgroundColor"));
  frame_->setCornerRadius(kContentCornerRadius);
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
  // The zoom's memory belongs to the content it was made with.
  lastFrame_.reset();
  previousFrame_.reset();
  zoomed_.reset();
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
  setOwnState(windowState() | Qt::WindowMinimized);
  if (CustomWindowDelegate* still = customWindowDelegate()) still->windowDidMiniaturize();
  return true;
}

void CustomWindow::toggleFullScreen() {
  if (CustomWindowDelegate* delegate = customWindowDelegate())
    delegate->setIsFullScreen(!delegate->isFullScreen());
  setOwnState(windowState() ^ Qt::WindowFullScreen);
}

void CustomWindow::zoom() {
  if (CustomWindowDelegate* delegate = customWindowDelegate()) delegate->windowZoom();
}

QMargins CustomWindow::frameMargins() const {
  QWindow* handle = windowHandle();
  if (handle && handle->handle()) {
    // The window's own question to the platform: the widget's copy is renewed only on moves.
    QMargins margins = handle->frameMargins();
    bool framed = isVisible() && handle->isExposed();
    bool plain = !(windowState() & (Qt::WindowFullScreen | Qt::WindowMaximized));
    if (!margins.isNull() || framed) {
      if (plain) knownMargins_ = margins;
      return margins;
    }
  }
  return knownMargins_.value_or(MainWindowPlacement::estimatedMargins);
}

std::vector<QRect> CustomWindow::availableAreas() {
  std::vector<QRect> areas;
  QScreen* primary = QGuiApplication::primaryScreen();
  if (primary) areas.push_back(primary->availableGeometry());
  for (QScreen* screen : QGuiApplication::screens())
    if (screen != primary) areas.push_back(screen->availableGeometry());
  return areas;
}

void CustomWindow::placeFrame(FrameRule rule, bool insist) {
  frameRule_ = std::move(rule);
  if (frameTimer_) frameTimer_->cancel();
  if (!frameRule_) return;
  applyFrame(frameMargins());
  frameChecks_ = FRAME_CHECKS;
  insistChecks_ = insist ? INSIST_CHECKS : 0;
  insistApplies_ = insist ? INSIST_APPLIES : 0;
  frameTimer_ = std::make_unique<platform::DispatchTimer>(platform::MainQueue::shared());
  QPointer<CustomWindow> self(this);
  frameTimer_->setEventHandler([self] {
    if (!self) return;
    self->checkFrame();
    if (self->insistChecks_ > 0) --self->insistChecks_;
    if (--self->frameChecks_ > 0 && self->frameRule_) return;
    // From now on the frame is the user's: a later change of margins does not move it back.
    self->frameRule_ = nullptr;
    self->frameTimer_->cancel();
  });
  frameTimer_->schedule(FRAME_CHECK_INTERVAL, FRAME_CHECK_INTERVAL);
  frameTimer_->resume();
}

void CustomWindow::applyFrame(const QMargins& margins) {
  QRect frame = frameRule_(margins);
  QRect content = frame.marginsRemoved(margins);
  placedMargins_ = margins;
  placedSize_ = content.size();
  applyingFrame_ = true;
  if (testAttribute(Qt::WA_WState_Created)) {
    setGeometry(content);
  } else {
    // Before the window exists its position is the frame's: the window manager puts the frame
    // there, whatever it draws.
    resize(content.size());
    move(frame.topLeft());
  }
  applyingFrame_ = false;
}

void CustomWindow::checkFrame() {
  if (!frameRule_ || applyingFrame_ ||
      (windowState() & (Qt::WindowFullScreen | Qt::WindowMinimized | Qt::WindowMaximized)))
    return;
  QMargins margins = frameMargins();
  if (insistChecks_ > 0 && insistApplies_ > 0) {
    // Just after a maximise the window manager may still put back its own frame: ours wins.
    if (geometry() != frameRule_(margins).marginsRemoved(margins)) {
      --insistApplies_;
      applyFrame(margins);
    }
    return;
  }
  if (size() != placedSize_) {
    // Resized since (by the user, or by a limit): the place is no longer the rule's.
    frameRule_ = nullptr;
    return;
  }
  if (margins != placedMargins_) applyFrame(margins);
}

void CustomWindow::noteFrame() {
  QRect frame = geometry().marginsAdded(frameMargins());
  if (lastFrame_ == frame) return;
  previousFrame_ = lastFrame_;
  lastFrame_ = frame;
}

void CustomWindow::zoomFrame() {
  // Where the window system sizes a maximised window, its own maximise is the zoom.
  if (WindowSystem::zoom(windowSystem_, isMaximized()) != WindowSystem::ZoomStep::ownFrame)
    return setWindowState(windowState() ^ Qt::WindowMaximized);
  // The frame's margins as it was (a maximising window manager reports its maximised ones).
  QMargins margins = zoomed_ ? placedMargins_ : knownMargins_ ? *knownMargins_ : frameMargins();
  QRect frame = geometry().marginsAdded(margins);
  std::optional<QRect> previous = lastFrame_ == frame ? previousFrame_ : lastFrame_;
  auto zoom = MainWindowPlacement::zoom(frame, previous, margins, availableAreas(), zoomed_);
  if (!zoom) return;
  zoomed_ = zoom->zoomed;
  setMinimumSize(MainWindowPlacement::minimumSize);
  setMaximumSize(zoom->screen.size().expandedTo(MainWindowPlacement::minimumSize));
  QRect target = zoom->frame;
  placeFrame([target](const QMargins&) { return target; }, true);
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
  path.addRoundedRect(QRectF(frame_->rect()), kContentCornerRadius, kContentCornerRadius);
  frame_->setMask(QRegion(path.toFillPolygon().toPolygon()));
}

void CustomWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  checkFrame();
  noteFrame();
  if (CustomWindowDelegate* delegate = customWindowDelegate()) delegate->windowDidResize();
}

void CustomWindow::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  checkFrame();
  noteFrame();
  if (CustomWindowDelegate* delegate = customWindowDelegate()) delegate->windowDidMove();
}

void CustomWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) roundContent();
  if (event->type() != QEvent::WindowStateChange || ownStateChange_) return;
  auto old = static_cast<QWindowStateChangeEvent*>(event)->oldState();
  Qt::WindowStates now = windowState();
  CustomWindowDelegate* delegate = customWindowDelegate();
  if ((now & Qt::WindowMinimized) && !(old & Qt::WindowMinimized)) {
    // The window manager minimised already: undo it unless the rule would have allowed it.
    auto step = MiniaturizeRule::decide(delegate != nullptr, delegate && delegate->isSimpleMode(),
                                        connectMode_ ? connectMode_() : ConnectMode::searching);
    bool allowed = step == MiniaturizeRule::Step::miniaturize ||
                   (step == MiniaturizeRule::Step::askPopups && delegate->closeAllPopups());
    if (!allowed) {
      setOwnState(now & ~Qt::WindowMinimized);
    } else if (CustomWindowDelegate* still = customWindowDelegate()) {
      still->windowDidMiniaturize();
    }
    return;
  }
  if ((old & Qt::WindowMinimized) && !(now & Qt::WindowMinimized) && delegate)
    delegate->windowDidDeminiaturize();
  if ((now & Qt::WindowMaximized) && !(old & Qt::WindowMaximized) &&
      WindowSystem::onMaximised(windowSystem_) == WindowSystem::MaximiseStep::zoomOwnFrame) {
    setOwnState(now & ~Qt::WindowMaximized);
    zoom();
  }
}

}  // namespace corvane
