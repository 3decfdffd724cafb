#include "ipc/SharedFrameRing.h"

#include <libyuv.h>

namespace platform {

SharedFrameRing::SharedFrameRing(size_t slots) : slotCount_(slots ? slots : 1) {}

PixelBufferRef SharedFrameRing::copy(const PixelBuffer& frame) {
  if (slots_.empty()) {
    PixelBuffer::Options shared;
    shared.shared = true;
    std::vector<PixelBufferRef> slots;
    for (size_t i = 0; i < slotCount_; ++i) {
      auto slot = PixelBuffer::create(frame.width(), frame.height(), frame.format(), shared);
      if (!slot) return nullptr;
      slots.push_back(std::move(slot));
    }
    slots_ = std::move(slots);
    width_ = frame.width();
    height_ = frame.height();
    format_ = frame.format();
  }
  PixelBufferRef slot = slots_[next_];
  if (!convert(frame, *slot)) return nullptr;
  next_ = (next_ + 1) % slots_.size();
  return slot;
}

bool SharedFrameRing::convert(const PixelBuffer& frame, PixelBuffer& slot) {
  if (frame.width() == slot.width() && frame.height() == slot.height() &&
      frame.format() == slot.format())
    return slot.copyFrom(frame);

  // Another format first becomes the ring's format at its own size (full-range BT.601, the
  // camera's range), then is scaled.
  const PixelBuffer* source = &frame;
  if (frame.format() != slot.format()) {
    if (!converted_ || converted_->width() != frame.width() ||
        converted_->height() != frame.height() || converted_->format() != slot.format())
      converted_ = PixelBuffer::create(frame.width(), frame.height(), slot.format());
    if (!converted_) return false;
    int w = frame.width(), h = frame.height();
    if (frame.format() == PixelFormat::NV12FullRange) {
      libyuv::NV12ToARGBMatrix(frame.baseAddress(0), int(frame.bytesPerRow(0)),
                               frame.baseAddress(1), int(frame.bytesPerRow(1)),
                               converted_->baseAddress(0), int(converted_->bytesPerRow(0)),
                               &libyuv::kYuvJPEGConstants, w, h);
    } else {
      if (w % 2 || h % 2) return false;
      u_.resize(size_t(w / 2) * (h / 2));
      v_.resize(u_.size());
      libyuv::ARGBToJ420(frame.baseAddress(0), int(frame.bytesPerRow(0)),
                         converted_->baseAddress(0), int(converted_->bytesPerRow(0)), u_.data(),
                         w / 2, v_.data(), w / 2, w, h);
      libyuv::MergeUVPlane(u_.data(), w / 2, v_.data(), w / 2, converted_->baseAddress(1),
                           int(converted_->bytesPerRow(1)), w / 2, h / 2);
    }
    source = converted_.get();
  }
  if (source->width() == slot.width() && source->height() == slot.height())
    return slot.copyFrom(*source);
  if (slot.format() == PixelFormat::BGRA) {
    return libyuv::ARGBScale(source->baseAddress(0), int(source->bytesPerRow(0)), source->width(),
                             source->height(), slot.baseAddress(0), int(slot.bytesPerRow(0)),
                             slot.width(), slot.height(), libyuv::kFilterBilinear) == 0;
  }
  return libyuv::NV12Scale(source->baseAddress(0), int(source->bytesPerRow(0)),
                           source->baseAddress(1), int(source->bytesPerRow(1)), source->width(),
                           source->height(), slot.baseAddress(0), int(slot.bytesPerRow(0)),
                           slot.baseAddress(1), int(slot.bytesPerRow(1)), slot.width(),
                           slot.height(), libyuv::kFilterBilinear) == 0;
}

}  // namespace platform
