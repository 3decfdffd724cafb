#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "video/PixelBuffer.h"

struct AVFormatContext;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

namespace corvane {

// One video file decoded frame by frame with FFmpeg: the file's best video stream, decoded on
// several threads, each frame handed out as an NV12 full-range buffer. It keeps one decoded frame
// of look-ahead so the player can ask when the next frame is due. Not thread-safe: one queue
// owns it.
class VideoDecoder {
 public:
  // Opens the file and decodes its first frame. None, with `error` set, when the file cannot be
  // read, has no video stream, yields no frame, or its pictures are of a size that cannot be
  // drawn (FrameSizeLimits).
  static std::unique_ptr<VideoDecoder> open(const std::string& path, std::string& error);
  ~VideoDecoder();
  VideoDecoder(const VideoDecoder&) = delete;
  VideoDecoder& operator=(const VideoDecoder&) = delete;

  // Size of the frames handed out: the decoded frames' size, rounded down to even numbers.
  int width() const { return width_; }
  int height() const { return height_; }
  // Duration of the file in seconds as it plays (0 when the file does not tell): for a clip
  // whose stamps jump, the stretches between the jumps (ClipLength), not the container's span.
  double duration() const { return duration_; }
  // The period after which the stream's stamps wrap, in nanoseconds; 0 when they do not.
  int64_t wrapNs() const { return wrapNs_; }
  int64_t frameDurationNs() const { return frameDurationNs_; }

  // Presentation time of the next frame, in nanoseconds from the start of the stream; none at
  // the end of the file.
  std::optional<int64_t> nextPts();
  // Makes the next frame the current one; false at the end of the file.
  bool advance();
  // Makes the frame before the current one current, by seeking to the key frame before it and
  // decoding forward; false at the first frame.
  bool stepBack();
  // Goes back to the start; the next advance() gives the first frame.
  bool rewind();

  bool hasCurrent() const;
  int64_t currentPts() const { return currentPts_; }
  // The current frame as NV12 full range; none when there is no current frame or it could not be
  // converted. Buffers come from a small pool and are reused once no one else holds them.
  platform::PixelBufferRef currentBuffer();
  // How many frames were decoded since the file was opened.
  int64_t decodedCount() const { return decodedCount_; }

 private:
  VideoDecoder();
  bool decodeInto(AVFrame* frame);
  int64_t ptsOf(const AVFrame* frame) const;
  bool seekTo(int64_t ptsNs);
  // The video packets' stamps in file order, in nanoseconds: from the container's index where
  // it lists every frame, else read from the file (then back at its start); empty when unknown.
  std::vector<int64_t> packetStamps();
  platform::PixelBufferRef acquireBuffer();

  AVFormatContext* format_ = nullptr;
  AVCodecContext* codec_ = nullptr;
  AVPacket* packet_ = nullptr;
  AVFrame* current_ = nullptr;
  AVFrame* pending_ = nullptr;
  SwsContext* sws_ = nullptr;
  int swsFormat_ = -1, swsWidth_ = 0, swsHeight_ = 0, swsRange_ = -1, swsSpace_ = -1;
  int stream_ = -1;
  int width_ = 0, height_ = 0;
  double duration_ = 0;
  int64_t frameDurationNs_ = 33333333;
  int64_t wrapNs_ = 0;
  int64_t startPts_ = 0;  // the stream's start, in its own time base
  bool hasPending_ = false;
  bool hasCurrent_ = false;
  bool inputEnded_ = false;    // no more packets to read
  bool decoderEnded_ = false;  // the decoder gave its last frame
  int64_t currentPts_ = 0;
  int64_t firstPts_ = 0;
  int64_t decodedCount_ = 0;
  platform::PixelBufferRef converted_;  // currentBuffer() of the current frame
  std::vector<platform::PixelBufferRef> pool_;
};

}  // namespace corvane
