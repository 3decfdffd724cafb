#include "widgets/PixelBufferView.h"

#include <QPainter>
#include <algorithm>
#include <mutex>

#include "dispatch/MainQueue.h"
#include "util/ImageExtension.h"

namespace corvane {

using platform::PixelBufferRef;

struct PixelBufferView::State {
  std::mutex mutex;
  platform::SerialQueue* queue = nullptr;  // none once the view is going away
  PixelBufferRef pending;                  // the newest frame not yet converted
  bool converting = false;                 // a conversion task is queued or running
  bool visible = false;
  uint64_t generation = 0;  // raised by clear(): conversions of older frames are not shown
  QSize target;                     // device pixels the picture fills
  PixelBufferView* view = nullptr;  // main thread only

  // Under the lock: queues a conversion when a frame waits and none is under way.
  void kick(const std::shared_ptr<State>& self) {
    if (!queue || !visible || !pending || converting) return;
    converting = true;
    queue->async([self] { self->convert(self); });
  }

  // On the queue: converts the newest waiting frame until none is left.
  void convert(const std::shared_ptr<State>& self) {
    for (;;) {
      PixelBufferRef frame;
      QSize size;
      uint64_t made = 0;
      {
        std::lock_guard lock(mutex);
        if (!pending || !visible || !queue) {
          converting = false;
          return;
        }
        frame = std::move(pending);
        pending.reset();
        size = target;
        made = generation;
      }
      const double scale = fitScale(QSize(frame->width(), frame->height()), size);
      QImage image = ImageExtension::imageWithPixelBuffer(*frame, scale);
      if (image.isNull()) continue;
      std::weak_ptr<State> weak = self;
      platform::MainQueue::shared().async([weak, made, image = std::move(image)]() mutable {
        auto state = weak.lock();
        if (!state || !state->view) return;
        {
          std::lock_guard lock(state->mutex);
          if (made != state->generation) return;
        }
        state->view->present(std::move(image));
      });
    }
  }
};

PixelBufferView::PixelBufferView(QWidget* parent)
    : QWidget(parent),
      state_(std::make_shared<State>()),
      queue_(std::make_unique<platform::SerialQueue>("pixel.buffer.view")) {
  state_->queue = queue_.get();
  state_->view = this;
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(64, 36);
}

PixelBufferView::~PixelBufferView() {
  {
    std::lock_guard lock(state_->mutex);
    state_->queue = nullptr;
    state_->pending.reset();
  }
  state_->view = nullptr;
  queue_.reset();  // runs out the conversion under way; its picture is then dropped
}

PixelBufferView::Receiver PixelBufferView::receiver() const {
  std::weak_ptr<State> weak = state_;
  return [weak](PixelBufferRef frame) {
    auto state = weak.lock();
    if (!state || !frame) return;
    std::lock_guard lock(state->mutex);
    state->pending = std::move(frame);
    state->kick(state);
  };
}

double PixelBufferView::fitScale(QSize frame, QSize target) {
  if (frame.isEmpty() || target.isEmpty()) return 1.0;
  const double scale =
      std::min(double(target.width()) / frame.width(), double(target.height()) / frame.height());
  return std::min(1.0, scale);
}

void PixelBufferView::present(QImage image) {
  image_ = std::move(image);
  ++shownCount_;
  update();
}

void PixelBufferView::clear() {
  {
    std::lock_guard lock(state_->mutex);
    state_->pending.reset();
    ++state_->generation;
  }
  image_ = QImage();
  update();
}

void PixelBufferView::updateTarget() {
  const QSize pixels = (QSizeF(size()) * devicePixelRatioF()).toSize();
  std::lock_guard lock(state_->mutex);
  state_->target = pixels;
  state_->visible = isVisible();
  state_->kick(state_);
}

void PixelBufferView::resizeEvent(QResizeEvent*) { updateTarget(); }
void PixelBufferView::showEvent(QShowEvent*) { updateTarget(); }
void PixelBufferView::hideEvent(QHideEvent*) {
  std::lock_guard lock(state_->mutex);
  state_->visible = false;
}

void PixelBufferView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::black);
  if (image_.isNull()) return;
  QSizeF shown = QSizeF(image_.size());
  shown.scale(QSizeF(size()), Qt::KeepAspectRatio);
  const QRectF target(QPointF((width() - shown.width()) / 2, (height() - shown.height()) / 2),
                      shown);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  p.drawImage(target, image_);
}

}  // namespace corvane
