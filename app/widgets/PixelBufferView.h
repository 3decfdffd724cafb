#pragma once

#include <QImage>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

#include "dispatch/SerialQueue.h"
#include "video/PixelBuffer.h"

namespace corvane {

// Shows the newest of a stream of frames handed in from any thread. Each frame becomes a picture
// on the view's own queue, at the size the view shows it, and is drawn on the main thread, fitted
// and centred on black. A frame that arrives while another is converted replaces the one waiting,
// so a slow conversion drops frames instead of falling behind. While hidden, frames are only kept:
// the newest is converted when the view is shown.
class PixelBufferView : public QWidget {
 public:
  using Receiver = std::function<void(platform::PixelBufferRef)>;

  explicit PixelBufferView(QWidget* parent = nullptr);
  ~PixelBufferView() override;

  // Takes frames on any thread; safe to call after the view is gone (the frame is dropped).
  Receiver receiver() const;
  // The picture drawn now; empty before the first frame.
  QImage image() const { return image_; }
  // Pictures shown so far.
  uint64_t shownCount() const { return shownCount_; }
  // The conversion queue (tests drain it, then the main queue).
  platform::SerialQueue& convertQueue() { return *queue_; }

  // No picture any more (black), and none of the frames handed in so far: their source closed.
  void clear();

  // The scale at which a frame is converted to fill a view of `target` device pixels: the frame
  // fitted inside, never enlarged; 1 for an empty target.
  static double fitScale(QSize frame, QSize target);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  struct State;
  void present(QImage image);
  void updateTarget();

  std::shared_ptr<State> state_;
  std::unique_ptr<platform::SerialQueue> queue_;
  QImage image_;
  uint64_t shownCount_ = 0;
};

}  // namespace corvane
