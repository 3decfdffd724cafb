#include "widgets/FocusScope.h"

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <algorithm>

#include "dispatch/SyncAnnotation.h"

namespace corvane {

namespace {

bool takesTab(const QWidget* w) {
  return w && w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) &&
         !w->focusProxy();
}

}  // namespace

FocusScope::FocusScope(QWidget* root, std::vector<QWidget*> covered,
                       std::function<Scope()> current, QObject* parent)
    : QObject(parent), root_(root), current_(std::move(current)) {
  for (QWidget* w : covered) covered_.emplace_back(w);
  qApp->installEventFilter(this);
  connect(qApp, &QApplication::focusChanged, this,
          [this](QWidget*, QWidget* now) { onFocusChanged(now); });
}

void FocusScope::watch(QWidget* part) {
  if (part) watched_.emplace_back(part);
}

std::vector<QWidget*> FocusScope::stops(const std::vector<QWidget*>& parts) {
  std::vector<QWidget*> out;
  for (QWidget* part : parts) {
    if (!part || !part->isVisible()) continue;
    // The window's Tab order is one ring through all its widgets: the part's own, as it meets
    // them.
    for (QWidget* w = part->nextInFocusChain(); w && w != part; w = w->nextInFocusChain())
      if (part->isAncestorOf(w) && takesTab(w) &&
          std::find(out.begin(), out.end(), w) == out.end())
        out.push_back(w);
  }
  return out;
}

QWidget* FocusScope::next(const std::vector<QWidget*>& stops, const QWidget* current,
                          bool forward) {
  if (stops.empty()) return nullptr;
  const auto at = std::find(stops.begin(), stops.end(), current);
  const size_t n = stops.size();
  if (at == stops.end()) return forward ? stops.front() : stops.back();
  const size_t i = size_t(at - stops.begin());
  return stops[forward ? (i + 1) % n : (i + n - 1) % n];
}

bool FocusScope::inside(const std::vector<QWidget*>& parts, const QWidget* w) {
  for (QWidget* part : parts)
    if (part && (part == w || part->isAncestorOf(w))) return true;
  return false;
}

bool FocusScope::behind(const QWidget* w) const {
  if (!w || inside(scope_.parts, w)) return false;
  for (const QPointer<QWidget>& c : covered_)
    if (c && (c == w || c->isAncestorOf(w))) return true;
  return false;
}

bool FocusScope::ours(const QWidget* w) const {
  // What the scope speaks for: its parts, what lies behind them, and the window itself while
  // none of its controls has the keys.
  return w && root_ && (inside(scope_.parts, w) || behind(w) || w == root_.data() ||
                        w == root_->window() || w->isAncestorOf(root_));
}

void FocusScope::update() {
  const Scope now = current_ ? current_() : Scope{};
  const bool was = !scope_.parts.empty();
  const bool is = !now.parts.empty();
  const std::vector<QWidget*> old = scope_.parts;
  scope_ = now;
  QWidget* focused = QApplication::focusWidget();
  if (is && (!was || old != now.parts)) {
    if (!inside(now.parts, focused)) {
      if (!was) before_ = focused;
      QWidget* first = now.focusFirst ? next(stops(now.parts), nullptr, true) : nullptr;
      if (first)
        first->setFocus(Qt::OtherFocusReason);
      else if (behind(focused) && root_)
        root_->setFocus(Qt::OtherFocusReason);
    }
    return;
  }
  if (was && !is) {
    // Back where it was before; a control that went meanwhile leaves the keys with the window.
    QPointer<QWidget> back = before_;
    before_ = nullptr;
    if (focused && !inside(old, focused) && focused != root_.data()) return;
    if (back && takesTab(back) && back->window() == (root_ ? root_->window() : nullptr))
      back->setFocus(Qt::OtherFocusReason);
    else if (root_)
      root_->setFocus(Qt::OtherFocusReason);
  }
}

void FocusScope::onFocusChanged(QWidget* now) {
  // A control behind the scope (one the part's going handed the focus on to, say) gives it to
  // the part.
  if (scope_.parts.empty() || !now || !behind(now) || !(now->focusPolicy() & Qt::TabFocus))
    return;
  if (QWidget* first = next(stops(scope_.parts), nullptr, true))
    first->setFocus(Qt::OtherFocusReason);
  else if (root_)
    root_->setFocus(Qt::OtherFocusReason);
}

bool FocusScope::eventFilter(QObject* watched, QEvent* event) {
  // Every event of the program passes here, the tasks other threads post included: those are
  // published with the event, so take them before reading it.
  platform::SyncAnnotation::acquire(event);
  const QEvent::Type type = event->type();
  if (type == QEvent::Show || type == QEvent::Hide) {
    // A watched part coming or going: before Qt hands the focus of a part that goes to the
    // next control in the window.
    if (std::find(watched_.begin(), watched_.end(), watched) != watched_.end()) update();
    return false;
  }
  if (!watched->isWidgetType()) return false;
  auto* w = static_cast<QWidget*>(watched);
  if (type == QEvent::KeyPress && !QApplication::activeWindow() && root_ &&
      w->window() == root_->window() && w->window()->isVisible()) {
    // A native window made anew (a change of its flags) may get the keys from the window
    // system without Qt taking it for the active one: the focus would then move unseen.
    QApplication::setActiveWindow(w->window());
  }
  if (scope_.parts.empty()) return false;
  switch (type) {
    case QEvent::KeyPress: {
      auto* key = static_cast<QKeyEvent*>(event);
      const bool tab = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
      if (!tab || (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) || !ours(w))
        return false;
      const bool forward = key->key() == Qt::Key_Tab && !(key->modifiers() & Qt::ShiftModifier);
      if (QWidget* to = next(stops(scope_.parts), QApplication::focusWidget(), forward))
        to->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
      return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::Enter:
    case QEvent::ContextMenu:
      return scope_.modal && behind(w);
    default:
      return false;
  }
}

}  // namespace corvane
