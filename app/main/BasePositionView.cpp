#include "main/BasePositionView.h"

#include <QEnterEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QVariantAnimation>
#include <algorithm>
#include <chrono>
#include <utility>

#include "dispatch/MainQueue.h"
#include "i18n/Localized.h"
#include "widgets/ImageAssets.h"
#include "widgets/ImageView.h"
#include "widgets/NamedColors.h"

namespace corvane {

namespace {

// The pill: a rounded fill whose radius follows its height.
class Pill : public QWidget {
 public:
  using QWidget::QWidget;
  QColor fill;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    double r = height() / 2.0;
    p.drawRoundedRect(QRectF(rect()), r, r);
  }
};

}  // namespace

BasePositionView::BasePositionView(const QRect& frame, QWidget* parent, platform::Clock& clock)
    : CustomView(frame, parent), clock_(clock) {
  // The pill draws the look; the view itself stays clear.
  setColor(NamedColors::clear());
}

BasePositionView::~BasePositionView() { *alive_ = false; }

QRect BasePositionView::captionFrame(int length) {
  return length >= kLongCaption ? QRect(25, 2, 115, 12) : QRect(25, 8, 115, 12);
}

int BasePositionView::captionFontSize(int length) { return length >= kLongCaption ? 10 : 12; }

void BasePositionView::setupView() {
  finishAnimations();
  for (QWidget* w : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) delete w;

  QString caption = QString::fromStdString(localized("button_baseposition_name"));
  int length = int(caption.size());
  auto* label = new QLabel(caption, this);
  QFont font = label->font();
  font.setPixelSize(captionFontSize(length));
  label->setFont(font);
  // A caption longer than its frame widens the pill, rather than being cut at both ends.
  if (designedWidth_ == 0) designedWidth_ = width();
  QRect frame = captionFrame(length);
  const int rightMargin = std::max(0, designedWidth_ - frame.x() - frame.width());
  frame.setWidth(std::max(frame.width(), QFontMetrics(font).horizontalAdvance(caption) + 2));
  resize(std::max(designedWidth_, frame.x() + frame.width() + rightMargin), height());
  label->setGeometry(frame);
  label->setAlignment(Qt::AlignCenter);
  label->setTextInteractionFlags(Qt::NoTextInteraction);
  label->setAttribute(Qt::WA_TransparentForMouseEvents);
  title = label;
  setCaptionOpacity(1.0);

  auto* pill = new Pill(this);
  pill->fill = NamedColors::color("59Color");
  pill->setGeometry(rect());
  pill->setAttribute(Qt::WA_TransparentForMouseEvents);
  backgroundView = pill;

  auto* icon = new QLabel(this);
  icon->setGeometry(5, 5, 20, 20);
  icon->setScaledContents(true);
  icon->setPixmap(ImageAssets::named("icon_editposition"));
  icon->setAttribute(Qt::WA_TransparentForMouseEvents);

  auto* b = new QPushButton(this);
  b->setGeometry(rect());
  b->setFlat(true);
  b->setStyleSheet("QPushButton { border: none; background: transparent; }");
  b->setCursor(Qt::PointingHandCursor);
  connect(b, &QPushButton::clicked, this, [this] { onClickButton(); });
  b->installEventFilter(this);
  focusSource_ = b;
  button = b;

  pill->show();
  icon->show();
  label->show();
  b->show();
  label->raise();  // made before the pill, whose size it sets, yet drawn over it
  b->raise();
}

void BasePositionView::onClickButton() {
  if (onClickHandler) onClickHandler();
}

void BasePositionView::animate(const QRect& pill, double captionAlpha, int captionMs) {
  if (animation_) animation_->stop();
  auto* group = new QParallelAnimationGroup(this);
  if (title) {
    auto* fade = new QVariantAnimation(group);
    fade->setDuration(captionMs);
    fade->setStartValue(captionOpacity_);
    fade->setEndValue(captionAlpha);
    connect(fade, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { setCaptionOpacity(value.toDouble()); });
    group->addAnimation(fade);
  }
  if (backgroundView) {
    auto* size = new QPropertyAnimation(backgroundView, "geometry");
    size->setDuration(kPillDurationMs);
    size->setEndValue(pill);
    group->addAnimation(size);
  }
  animation_ = group;
  group->start(QAbstractAnimation::DeleteWhenStopped);
}

void BasePositionView::expand() {
  close = false;
  focusExpanded_ = false;
  animate(rect(), 1.0, kCaptionDurationMs);
}

void BasePositionView::scheduleCollapse(double seconds) {
  close = true;
  std::weak_ptr<bool> alive = alive_;
  auto step = [this, alive] {
    platform::MainQueue::shared().async([this, alive] {
      auto flag = alive.lock();
      if (!flag || !*flag) return;
      if (close) collapse();
    });
  };
  if (seconds <= 0) return step();
  auto delay =
      std::chrono::duration_cast<platform::Clock::Duration>(std::chrono::duration<double>(seconds));
  clock_.callAt(clock_.now() + delay, step);
}

void BasePositionView::collapse() {
  int h = backgroundView ? backgroundView->height() : height();
  animate(QRect(0, 0, kCollapsedWidth, h), 0.0, kPillDurationMs);
}

// The caption fades through its colour, not through an opacity effect: the owner dims the whole
// view through one, and Qt draws nothing of an effect held inside another.
void BasePositionView::setCaptionOpacity(double alpha) {
  captionOpacity_ = alpha;
  if (!title) return;
  QColor colour = NamedColors::color("veryLightPinkColor");
  colour.setAlphaF(float(std::clamp(alpha, 0.0, 1.0)));
  QPalette palette = title->palette();
  palette.setColor(QPalette::WindowText, colour);
  title->setPalette(palette);
}

double BasePositionView::captionOpacity() const { return title ? captionOpacity_ : 0.0; }

void BasePositionView::finishAnimations() {
  if (!animation_) return;
  // Jumping to the end leaves every property at its end value.
  animation_->setCurrentTime(animation_->totalDuration());
  if (animation_) animation_->stop();
}

void BasePositionView::enterEvent(QEnterEvent* event) {
  expand();
  QWidget::enterEvent(event);
}

void BasePositionView::leaveEvent(QEvent* event) {
  scheduleCollapse(0);
  QWidget::leaveEvent(event);
}

// The keyboard's way to the caption the pointer gets by hovering: the focus coming to the button
// opens the pill, and going away folds it again unless the pointer or the owner opened it since.
bool BasePositionView::eventFilter(QObject* watched, QEvent* event) {
  if (watched != focusSource_) return CustomView::eventFilter(watched, event);
  if (event->type() == QEvent::FocusIn) {
    expand();
    focusExpanded_ = true;
  } else if (event->type() == QEvent::FocusOut && std::exchange(focusExpanded_, false) &&
             !underMouse()) {
    scheduleCollapse(0);
  }
  return CustomView::eventFilter(watched, event);
}

}  // namespace corvane
