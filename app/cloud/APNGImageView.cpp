#include "cloud/APNGImageView.h"

#include <QPixmap>

#include "dispatch/Clock.h"
#include "dispatch/MainQueue.h"

namespace corvane {

APNGImageView::APNGImageView(QWidget* parent)
    : QLabel(parent), alive_(std::make_shared<bool>(true)) {
  setAlignment(Qt::AlignCenter);
  setScaledContents(true);
}

APNGImageView::~APNGImageView() {
  *alive_ = false;
  stop();
}

void APNGImageView::setImage(std::optional<APNGImage> image) {
  stop();
  image_ = std::move(image);
  index_ = 0;
  playsDone_ = 0;
  if (!image_ || image_->frames().empty()) {
    clear();
    return;
  }
  showFrame(0);
  scheduleNext();
}

void APNGImageView::showFrame(size_t index) {
  index_ = index;
  setPixmap(QPixmap::fromImage(image_->frames()[index].image));
}

void APNGImageView::stop() {
  if (timer_) platform::Clock::shared().cancel(timer_);
  timer_ = 0;
  // A new alive flag, so a frame already posted to the main queue does not land.
  *alive_ = false;
  alive_ = std::make_shared<bool>(true);
}

void APNGImageView::scheduleNext() {
  if (!image_ || !image_->isAnimated()) return;
  auto duration = std::max(image_->frames()[index_].duration, minimumFrameDuration);
  auto& clock = platform::Clock::shared();
  std::weak_ptr<bool> alive = alive_;
  timer_ = clock.callAt(clock.now() + duration, [this, alive] {
    platform::MainQueue::shared().async([this, alive] {
      auto flag = alive.lock();
      if (!flag || !*flag) return;
      timer_ = 0;
      size_t next = index_ + 1;
      if (next == image_->frames().size()) {
        ++playsDone_;
        uint32_t plays = image_->numberOfPlays();
        if (plays != 0 && playsDone_ >= plays) return;  // stays on the last frame
        next = 0;
      }
      showFrame(next);
      scheduleNext();
    });
  });
}

}  // namespace corvane
