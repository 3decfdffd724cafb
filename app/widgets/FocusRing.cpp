#include "widgets/FocusRing.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QPainter>

#include "dispatch/SyncAnnotation.h"
#include "widgets/CustomButton.h"
#include "widgets/CustomSwitch.h"

namespace corvane {

namespace {

constexpr int kMargin = FocusRing::kGap + FocusRing::kWidth;

QRect around(QWidget* target, QWidget* host) {
  return QRect(target->mapTo(host, QPoint(0, 0)), target->size())
      .adjusted(-kMargin, -kMargin, kMargin, kMargin);
}

double cornerRadiusOf(QWidget* target) {
  if (auto* button = qobject_cast<CustomButton*>(target)) return button->cornerRadius();
  if (qobject_cast<CustomSwitch*>(target)) return target->height() / 2.0;
  return 3.0;
}

}  // namespace

FocusRing::FocusRing(QWidget* root) : QWidget(root), root_(root) {
  setObjectName(QStringLiteral("FocusRing"));
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::NoFocus);
  hide();
  connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { follow(now); });
  // Where the input comes from is seen before the widget it goes to acts on it.
  qApp->installEventFilter(this);
  follow(QApplication::focusWidget());
}

FocusRing::~FocusRing() { unwatch(); }

QColor FocusRing::color() { return QColor(0xEE, 0xEE, 0xEE); }

void FocusRing::unwatch() { watched_.clear(); }

bool FocusRing::isWatched(QObject* object) const {
  // The control and the containers up to the root: where it moves, shows or hides.
  for (const QPointer<QWidget>& w : watched_)
    if (w == object) return true;
  return false;
}

void FocusRing::follow(QWidget* focused) {
  unwatch();
  const bool control =
      focused && root_ && root_->isAncestorOf(focused) && (focused->focusPolicy() & Qt::TabFocus);
  target_ = control ? focused : nullptr;
  if (!target_) {
    // Back home while no control is outlined: a container that goes away never takes it along.
    hide();
    if (root_ && parentWidget() != root_) setParent(root_);
    return;
  }
  for (QWidget* w = target_; w && w != root_; w = w->parentWidget()) watched_.push_back(w);
  place();
}

void FocusRing::place() {
  if (!target_ || !root_ || !target_->isVisible() || !keyboard_) {
    hide();
    return;
  }
  // The nearest container with room around the control; a scrolled board's own widget at most,
  // whose view clips it as it clips the control.
  QWidget* host = target_->parentWidget();
  while (host && host != root_ && !host->rect().contains(around(target_, host))) {
    QWidget* up = host->parentWidget();
    if (!up || qobject_cast<QAbstractScrollArea*>(up->parentWidget())) break;
    host = up;
  }
  if (!host) return;
  if (parentWidget() != host) setParent(host);
  setGeometry(around(target_, host));
  radius_ = cornerRadiusOf(target_);
  raise();
  show();
  update();
}

bool FocusRing::eventFilter(QObject* watched, QEvent* event) {
  // Every event of the program passes here, the tasks other threads post included.
  platform::SyncAnnotation::acquire(event);
  switch (event->type()) {
    case QEvent::KeyPress: {
      // A modifier alone (the Ctrl of a Ctrl+click) does not lead.
      const int key = static_cast<QKeyEvent*>(event)->key();
      const bool modifier = key == Qt::Key_Shift || key == Qt::Key_Control ||
                            key == Qt::Key_Alt || key == Qt::Key_Meta || key == Qt::Key_AltGr;
      if (!modifier && !keyboard_) {
        keyboard_ = true;
        place();
      }
      return false;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      if (keyboard_) {
        keyboard_ = false;
        hide();
      }
      return false;
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
      if (isWatched(watched)) place();
      break;
    case QEvent::ParentChange:
      if (QWidget* now = target_; now && isWatched(watched)) follow(now);
      break;
    default:
      break;
  }
  return QWidget::eventFilter(watched, event);
}

void FocusRing::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(color(), kWidth));
  p.setBrush(Qt::NoBrush);
  const double half = kWidth / 2.0;
  const double radius = radius_ + kGap + half;
  p.drawRoundedRect(QRectF(rect()).adjusted(half, half, -half, -half), radius, radius);
}

}  // namespace corvane
