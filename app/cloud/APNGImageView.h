#pragma once

#include <QLabel>
#include <memory>
#include <optional>

#include "cloud/APNGImage.h"

namespace corvane {

// Plays an APNGImage: each frame stays for its own duration, timed by platform::Clock and
// shown on the main queue; the play count of the file is kept (0 plays for ever).
class APNGImageView : public QLabel {
 public:
  explicit APNGImageView(QWidget* parent = nullptr);
  ~APNGImageView() override;

  // None clears the view.
  void setImage(std::optional<APNGImage> image);
  const std::optional<APNGImage>& image() const { return image_; }
  size_t currentFrameIndex() const { return index_; }
  bool isPlaying() const { return timer_ != 0; }
  // Frames shorter than this are shown this long, as browsers do.
  static constexpr std::chrono::milliseconds minimumFrameDuration{10};

 private:
  void showFrame(size_t index);
  void scheduleNext();
  void stop();

  std::optional<APNGImage> image_;
  size_t index_ = 0;
  uint32_t playsDone_ = 0;
  uint64_t timer_ = 0;
  std::shared_ptr<bool> alive_;
};

}  // namespace corvane
