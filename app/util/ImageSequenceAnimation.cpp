#include "ImageSequenceAnimation.h"

#include <QLabel>
#include <cmath>

namespace corvane {

ImageSequenceAnimation::ImageSequenceAnimation(QList<QPixmap> images,
                                               std::optional<float> frameTimeFactor, QLabel* target)
    : QObject(target), images_(std::move(images)), target_(target) {
  float f = frameTimeFactor.value_or(1.0f);
  duration_ = static_cast<float>(images_.size()) * f / 10.0f;
  timer_.setTimerType(Qt::PreciseTimer);
  timer_.setInterval(std::max(1, static_cast<int>(std::lround(f * 100.0f))));
  connect(&timer_, &QTimer::timeout, this, &ImageSequenceAnimation::advance);
}

QLabel* ImageSequenceAnimation::addImageSequenceAnimation(const QList<QPixmap>& images,
                                                          std::optional<float> frameTimeFactor,
                                                          std::optional<QRect> frame,
                                                          QWidget* parent) {
  auto* label = new QLabel(parent);
  if (frame) label->setGeometry(*frame);
  // The images fill the label, and the label grows and shrinks with its place in the layout.
  label->setScaledContents(true);
  label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  auto* animation = new ImageSequenceAnimation(images, frameTimeFactor, label);
  animation->setObjectName(QStringLiteral("contents"));
  animation->start();
  return label;
}

void ImageSequenceAnimation::start() {
  if (images_.isEmpty()) return;
  index_ = 0;
  show();
  timer_.start();
}

void ImageSequenceAnimation::stop() { timer_.stop(); }

void ImageSequenceAnimation::advance() {
  if (images_.isEmpty()) return;
  index_ = (index_ + 1) % static_cast<int>(images_.size());
  show();
}

void ImageSequenceAnimation::show() {
  if (target_) target_->setPixmap(images_[index_]);
}

}  // namespace corvane
