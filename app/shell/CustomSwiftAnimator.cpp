#include "shell/CustomSwiftAnimator.h"

#include <QGraphicsOpacityEffect>
#include <QPointer>
#include <QPropertyAnimation>
#include <QWidget>

namespace corvane {

namespace {

const char* const kFadeName = "customSwiftFade";

QGraphicsOpacityEffect* opacityEffect(QWidget* view) {
  auto* effect = qobject_cast<QGraphicsOpacityEffect*>(view->graphicsEffect());
  if (!effect) {
    effect = new QGraphicsOpacityEffect(view);
    view->setGraphicsEffect(effect);
  }
  return effect;
}

// A new fade replaces the one under way; the old one's completion must not run.
void stopFades(QWidget* view) {
  const auto fades = view->findChildren<QPropertyAnimation*>(QString::fromLatin1(kFadeName),
                                                             Qt::FindDirectChildrenOnly);
  for (QPropertyAnimation* fade : fades) {
    fade->disconnect();
    fade->stop();
  }
}

QPropertyAnimation* startFade(QWidget* view, double from, double to) {
  stopFades(view);
  QGraphicsOpacityEffect* effect = opacityEffect(view);
  effect->setOpacity(from);
  auto* fade = new QPropertyAnimation(effect, "opacity", view);
  fade->setObjectName(QString::fromLatin1(kFadeName));
  fade->setDuration(CustomSwiftAnimator::kDurationMs);
  fade->setStartValue(from);
  fade->setEndValue(to);
  return fade;
}

}  // namespace

void CustomSwiftAnimator::animatePresentation(QWidget* presented, QWidget* presenting) const {
  if (!presented || !presenting) return;
  if (presented->parentWidget() != presenting) presented->setParent(presenting);
  presented->setGeometry(presenting->rect());
  QPropertyAnimation* fade = startFade(presented, 0.0, 1.0);
  presented->show();
  presented->raise();
  fade->start(QAbstractAnimation::DeleteWhenStopped);
}

void CustomSwiftAnimator::animateDismissal(QWidget* presented) const {
  if (!presented) return;
  QPropertyAnimation* fade = startFade(presented, opacity(presented), 0.0);
  QPointer<QWidget> view(presented);
  QObject::connect(fade, &QPropertyAnimation::finished, presented, [view] {
    if (view) view->hide();
  });
  fade->start(QAbstractAnimation::DeleteWhenStopped);
}

QPropertyAnimation* CustomSwiftAnimator::runningFade(const QWidget* view) {
  if (!view) return nullptr;
  const auto fades = view->findChildren<QPropertyAnimation*>(QString::fromLatin1(kFadeName),
                                                             Qt::FindDirectChildrenOnly);
  for (QPropertyAnimation* fade : fades)
    if (fade->state() == QAbstractAnimation::Running) return fade;
  return nullptr;
}

double CustomSwiftAnimator::opacity(const QWidget* view) {
  auto* effect = view ? qobject_cast<QGraphicsOpacityEffect*>(view->graphicsEffect()) : nullptr;
  return effect ? effect->opacity() : 1.0;
}

}  // namespace corvane
