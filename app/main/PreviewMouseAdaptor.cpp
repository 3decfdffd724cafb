#include "main/PreviewMouseAdaptor.h"

#include <QEvent>
#include <QMouseEvent>
#include <QToolTip>
#include <map>

#include "i18n/Localized.h"
#include "main/MainWindowRules.h"
#include "widgets/ImageAssets.h"

namespace corvane {

PreviewMouseAdaptor::PreviewMouseAdaptor(QWidget* contentView, QWidget* controlView,
                                         QWidget* powerbyImage, RoiEditor& editor, Hooks hooks,
                                         QObject* parent)
    : QObject(parent),
      contentView_(contentView),
      controlView_(controlView),
      powerbyImage_(powerbyImage),
      editor_(editor),
      hooks_(std::move(hooks)) {
  // Presses, drags and moves reach the content view from whatever lies under the pointer; the
  // preview itself reports the pointer leaving it.
  contentView_->setMouseTracking(true);
  controlView_->setMouseTracking(true);
  for (QWidget* child : controlView_->findChildren<QWidget*>()) child->setMouseTracking(true);
  contentView_->installEventFilter(this);
  controlView_->installEventFilter(this);
  editor_.setCursor = [this](MouseState state) { applyCursor(state); };
  editor_.setToolTip = [this](const std::string& key) { applyToolTip(key); };
}

QCursor PreviewMouseAdaptor::cursorFor(MouseState state) {
  std::optional<MainWindowRules::CursorImage> image = MainWindowRules::cursorFor(state);
  if (!image) return QCursor(Qt::ArrowCursor);
  // Made once a state: the pictures do not change while the program runs.
  static std::map<MouseState, QCursor> made;
  auto cached = made.find(state);
  if (cached != made.end()) return cached->second;
  QPixmap picture = ImageAssets::named(image->image);
  if (picture.isNull()) return QCursor(Qt::ArrowCursor);
  QCursor cursor(picture, image->hotSpot.x(), image->hotSpot.y());
  made.emplace(state, cursor);
  return cursor;
}

void PreviewMouseAdaptor::applyCursor(MouseState state) {
  if (!controlView_) return;
  if (state == MouseState::none || state == MouseState::noDraw)
    controlView_->setCursor(Qt::ArrowCursor);
  else
    controlView_->setCursor(cursorFor(state));
  controlView_->setProperty("mouseState", int(state));
}

void PreviewMouseAdaptor::applyToolTip(const std::string& key) {
  if (!contentView_) return;
  if (key.empty()) {
    if (!contentView_->toolTip().isEmpty()) QToolTip::hideText();
    contentView_->setToolTip(QString());
    return;
  }
  contentView_->setToolTip(QString::fromStdString(localized(key)));
}

std::optional<RoiEditor::Point> PreviewMouseAdaptor::framePoint(QPointF inContent,
                                                                bool anywhere) const {
  if (!controlView_) return std::nullopt;
  QRectF frame = controlView_->geometry();
  bool inside = inContent.x() >= frame.left() && inContent.x() < frame.left() + frame.width() &&
                inContent.y() >= frame.top() && inContent.y() < frame.top() + frame.height();
  if (!inside && !anywhere) return std::nullopt;
  QPointF local = inContent - frame.topLeft();
  return RoiEditor::Point{local.x() * editor_.context.widthMultiple,
                          local.y() * editor_.context.heightMultiple};
}

std::optional<RoiEditor::Point> PreviewMouseAdaptor::besidePoint(QPointF inContent) const {
  if (!controlView_) return std::nullopt;
  QRectF frame = controlView_->geometry();
  const bool rows = inContent.y() >= frame.top() && inContent.y() < frame.top() + frame.height();
  const bool left = inContent.x() < frame.left();
  const bool right = inContent.x() >= frame.left() + frame.width();
  if (!rows || (!left && !right)) return std::nullopt;
  const double x = left ? 0.0 : frame.width();
  return RoiEditor::Point{x * editor_.context.widthMultiple,
                          (inContent.y() - frame.top()) * editor_.context.heightMultiple};
}

void PreviewMouseAdaptor::refresh() {
  if (hooks_.refreshContext) hooks_.refreshContext();
}

bool PreviewMouseAdaptor::eventFilter(QObject* watched, QEvent* event) {
  if (watched == controlView_ && event->type() == QEvent::Leave) {
    refresh();
    QPointF inContent = contentView_->mapFromGlobal(QCursor::pos());
    if (auto p = framePoint(inContent, true)) editor_.mouseExited(*p);
    dragging_ = false;
    return false;
  }
  if (watched != contentView_) return false;
  auto type = event->type();
  if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove &&
      type != QEvent::MouseButtonRelease && type != QEvent::MouseButtonDblClick)
    return false;
  auto* mouse = static_cast<QMouseEvent*>(event);
  // From the global position: a position handed up from a child is rounded to whole points.
  QPointF at = contentView_->mapFromGlobal(mouse->globalPosition());
  if (type == QEvent::MouseButtonDblClick) {
    // Its first click went the usual way; the second is the window's, if it wants it.
    if (mouse->button() != Qt::LeftButton || !framePoint(at) || !hooks_.doubleClicked) return false;
    return hooks_.doubleClicked();
  }
  const bool onBadge = powerbyImage_ && powerbyImage_->isVisible() &&
                      powerbyImage_->geometry().contains(at.toPoint());
  refresh();
  std::optional<RoiEditor::Point> p = framePoint(at);
  // What the preview handles goes no further up.
  event->accept();

  if (type == QEvent::MouseButtonPress) {
    if (mouse->button() == Qt::RightButton) {
      if (p && hooks_.rightMouseDown) hooks_.rightMouseDown(*p, mouse->globalPosition().toPoint());
      return true;
    }
    if (mouse->button() != Qt::LeftButton) return false;
    if (!editor_.context.connected) return true;
    if (onBadge && hooks_.menuWebsite) hooks_.menuWebsite();
    if (!p) {
      editor_.mouseDownOutside();
      return true;
    }
    editor_.mouseDown(*p);
    dragging_ = true;
    return true;
  }
  if (type == QEvent::MouseMove) {
    if (mouse->buttons() & Qt::LeftButton) {
      if (!dragging_) return true;
      if (p) {
        editor_.mouseDragged(*p);
      } else if (auto beside = besidePoint(at)) {
        editor_.mouseDragged(*beside);
      } else if (dragging_) {
        // The grab keeps the events coming: leaving the preview ends the gesture here.
        dragging_ = false;
        if (auto outside = framePoint(at, true)) editor_.mouseExited(*outside);
      }
      return true;
    }
    if (mouse->buttons() == Qt::NoButton && p && (!hooks_.isMainWindow || hooks_.isMainWindow()))
      editor_.mouseMoved(*p);
    return false;
  }
  // Release: only of a press the editor took.
  if (mouse->button() != Qt::LeftButton) return false;
  const bool pressed = dragging_;
  dragging_ = false;
  if (!pressed) return true;
  if (p)
    editor_.mouseUp(*p);
  else if (auto beside = besidePoint(at))
    editor_.mouseUp(*beside);
  return true;
}

}  // namespace corvane
