#pragma once

#include <QByteArray>
#include <QImage>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace corvane {

// An animated PNG decoded into full frames (each already composed over the ones before, as the
// format's dispose and blend rules say), or a plain PNG as one frame. Qt reads only the first
// picture of such a file, so the frame chunks (acTL, fcTL, fdAT) are taken apart here and each
// frame's data is handed to Qt's PNG reader as a PNG of its own.
class APNGImage {
 public:
  // Pictures come from the network: a small file may announce a huge canvas or many frames,
  // each kept as a full copy. Beyond these bounds the picture is refused.
  static constexpr int kMaxSide = 4096;
  static constexpr size_t kMaxFrames = 1024;
  static constexpr uint64_t kMaxDecodedBytes = uint64_t(256) << 20;

  struct Frame {
    QImage image;
    std::chrono::milliseconds duration{0};
  };

  // None, with the reason in `error`, when the data is not a PNG or a frame cannot be read.
  static std::optional<APNGImage> decode(const QByteArray& data, double scale = 1.0,
                                         std::string* error = nullptr);

  const std::vector<Frame>& frames() const { return frames_; }
  // How often the animation plays; 0 is for ever.
  uint32_t numberOfPlays() const { return plays_; }
  bool isAnimated() const { return frames_.size() > 1; }
  QSize size() const { return size_; }

 private:
  std::vector<Frame> frames_;
  uint32_t plays_ = 0;
  QSize size_;
};

}  // namespace corvane
