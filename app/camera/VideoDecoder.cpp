#include "camera/VideoDecoder.h"

#include "BoundedFile.h"
#include "camera/ClipLength.h"
#include "camera/VideoRange.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}
#include <libyuv/convert_from.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <mutex>

#include "log/LogManager.h"
#include "render/FrameSizeLimits.h"

namespace corvane {

using platform::PixelBuffer;
using platform::PixelBufferRef;
using platform::PixelFormat;

namespace {

constexpr AVRational kNanoseconds{1, 1000000000};
constexpr int kMaxDecodeErrors = 64;  // corrupt packets in a row before the stream counts as ended
constexpr int kMaxPacketsPerFrame = 100000;  // bounds a read loop over a file that holds no frame
constexpr size_t kPoolSize = 4;
constexpr int kMaxScannedPackets = 500000;  // over four hours at 30 frames a second

std::string errorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {0};
  av_strerror(code, text, sizeof text);
  return text;
}

// The deprecated full-range ("J") formats, as their plain format and a full-range flag.
AVPixelFormat plainFormat(AVPixelFormat format, bool& fullRange) {
  switch (format) {
    case AV_PIX_FMT_YUVJ420P:
      fullRange = true;
      return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P:
      fullRange = true;
      return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P:
      fullRange = true;
      return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P:
      fullRange = true;
      return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P:
      fullRange = true;
      return AV_PIX_FMT_YUV411P;
    default:
      return format;
  }
}

int swsColorspace(AVColorSpace space) {
  switch (space) {
    case AVCOL_SPC_BT709:
      return SWS_CS_ITU709;
    case AVCOL_SPC_FCC:
      return SWS_CS_FCC;
    case AVCOL_SPC_SMPTE240M:
      return SWS_CS_SMPTE240M;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
      return SWS_CS_BT2020;
    default:
      return SWS_CS_ITU601;
  }
}

// Planar 4:2:0 of the buffer's size into NV12 full range in one pass.
void planar420ToNV12(const AVFrame* frame, bool fullRange, PixelBuffer& out) {
  const int w = out.width(), h = out.height();
  if (fullRange) {
    libyuv::I420ToNV12(frame->data[0], frame->linesize[0], frame->data[1], frame->linesize[1],
                       frame->data[2], frame->linesize[2], out.baseAddress(0),
                       int(out.bytesPerRow(0)), out.baseAddress(1), int(out.bytesPerRow(1)), w, h);
    return;
  }
  for (int y = 0; y < h; ++y)
    VideoRange::expandLuma(frame->data[0] + ptrdiff_t(y) * frame->linesize[0],
                           out.baseAddress(0) + size_t(y) * out.bytesPerRow(0), w);
  for (int y = 0; y < h / 2; ++y)
    VideoRange::interleaveExpanded(frame->data[1] + ptrdiff_t(y) * frame->linesize[1],
                                   frame->data[2] + ptrdiff_t(y) * frame->linesize[2],
                                   out.baseAddress(1) + size_t(y) * out.bytesPerRow(1), w / 2);
}

// Expands an NV12 buffer from video range to full range in place.
void expandRange(PixelBuffer& out) {
  for (int y = 0; y < out.height(); ++y) {
    uint8_t* row = out.baseAddress(0) + size_t(y) * out.bytesPerRow(0);
    VideoRange::expandLuma(row, row, out.width());
  }
  for (int y = 0; y < out.height() / 2; ++y) {
    uint8_t* row = out.baseAddress(1) + size_t(y) * out.bytesPerRow(1);
    VideoRange::expandChroma(row, row, out.width());
  }
}

// FFmpeg's own warnings (damaged pictures it concealed, and the like) go to the console log as
// verbose lines instead of straight to standard error.
void forwardFFmpegLog(void* context, int level, const char* format, va_list args) {
  if (level > AV_LOG_WARNING) return;
  thread_local int printPrefix = 1;
  char line[1024];
  av_log_format_line2(context, level, format, args, line, sizeof line, &printPrefix);
  std::string text(line);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  // A damaged stretch of a file has FFmpeg complain about every frame in it.
  static platform::LogRateLimiter lines(LogManager::kFrameLineBurst,
                                        LogManager::kFrameLineInterval);
  if (text.empty()) return;
  if (auto line = lines.admit("ffmpeg: " + text)) CV_LOG_VERBOSE(*line);
}

}  // namespace

VideoDecoder::VideoDecoder() = default;

VideoDecoder::~VideoDecoder() {
  sws_freeContext(sws_);
  av_frame_free(&current_);
  av_frame_free(&pending_);
  av_packet_free(&packet_);
  avcodec_free_context(&codec_);
  avformat_close_input(&format_);
}

std::unique_ptr<VideoDecoder> VideoDecoder::open(const std::string& path, std::string& error) {
  static std::once_flag logOnce;
  std::call_once(logOnce, [] { av_log_set_callback(forwardFFmpegLog); });
  // The demuxer opens by name and would wait forever on a FIFO (or read a device endlessly):
  // only a regular file is handed to it.
  std::string refused;
  if (!platform::BoundedFile::isRegularFile(path, &refused)) {
    error = "cannot read the file (" + refused + ")";
    return nullptr;
  }
  std::unique_ptr<VideoDecoder> d(new VideoDecoder());
  int r = avformat_open_input(&d->format_, path.c_str(), nullptr, nullptr);
  if (r < 0) {
    error = "cannot read the file (" + errorText(r) + ")";
    return nullptr;
  }
  r = avformat_find_stream_info(d->format_, nullptr);
  if (r < 0) {
    error = "cannot read the streams (" + errorText(r) + ")";
    return nullptr;
  }
  const AVCodec* codec = nullptr;
  d->stream_ = av_find_best_stream(d->format_, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
  if (d->stream_ == AVERROR_STREAM_NOT_FOUND) {
    error = "the file has no video stream";
    return nullptr;
  }
  if (d->stream_ < 0 || !codec) {
    error = "no decoder for the video stream";
    return nullptr;
  }
  AVStream* stream = d->format_->streams[d->stream_];
  // A size the header gives that cannot be drawn is refused before its first picture is
  // decoded, which for the largest takes many seconds; the decoded size is checked again below.
  if (stream->codecpar->width > 0 && stream->codecpar->height > 0)
    if (auto refused =
            FrameSizeLimits::refusal(stream->codecpar->width, stream->codecpar->height)) {
      error = *refused;
      return nullptr;
    }
  for (unsigned i = 0; i < d->format_->nb_streams; ++i)
    if (int(i) != d->stream_) d->format_->streams[i]->discard = AVDISCARD_ALL;

  d->codec_ = avcodec_alloc_context3(codec);
  if (!d->codec_ || avcodec_parameters_to_context(d->codec_, stream->codecpar) < 0) {
    error = "cannot set up the video decoder";
    return nullptr;
  }
  d->codec_->thread_count = 0;  // one per core
  d->codec_->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
  d->codec_->pkt_timebase = stream->time_base;
  r = avcodec_open2(d->codec_, codec, nullptr);
  if (r == AVERROR(EAGAIN) || r == AVERROR(ENOMEM)) {
    // The system would not give the decoder its threads (a memory limit): it decodes on the
    // player's own thread instead.
    CV_LOG_WARNING("the video decoder's threads cannot be started (" + errorText(r) +
                   "): it decodes on one thread");
    avcodec_free_context(&d->codec_);
    d->codec_ = avcodec_alloc_context3(codec);
    if (!d->codec_ || avcodec_parameters_to_context(d->codec_, stream->codecpar) < 0) {
      error = "cannot set up the video decoder";
      return nullptr;
    }
    d->codec_->thread_count = 1;
    d->codec_->pkt_timebase = stream->time_base;
    r = avcodec_open2(d->codec_, codec, nullptr);
  }
  if (r < 0) {
    error = "cannot open the video decoder (" + errorText(r) + ")";
    return nullptr;
  }
  d->packet_ = av_packet_alloc();
  d->current_ = av_frame_alloc();
  d->pending_ = av_frame_alloc();
  if (!d->packet_ || !d->current_ || !d->pending_) {
    error = "out of memory";
    return nullptr;
  }

  d->startPts_ = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
  AVRational rate = av_guess_frame_rate(d->format_, stream, nullptr);
  if (rate.num > 0 && rate.den > 0)
    d->frameDurationNs_ = std::max<int64_t>(1, av_rescale(1000000000, rate.den, rate.num));
  if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
    d->duration_ = double(stream->duration) * av_q2d(stream->time_base);
  else if (d->format_->duration != AV_NOPTS_VALUE && d->format_->duration > 0)
    d->duration_ = double(d->format_->duration) / AV_TIME_BASE;

  if (stream->pts_wrap_bits > 0 && stream->pts_wrap_bits < 63)
    d->wrapNs_ = av_rescale_q(int64_t(1) << stream->pts_wrap_bits, stream->time_base, kNanoseconds);
  if (auto played = ClipLength::withJumps(d->packetStamps(), d->frameDurationNs_))
    d->duration_ = double(*played) / 1e9;

  // The size is the decoded pictures' own, not what a container header claims.
  if (!d->advance()) {
    error = "no picture could be decoded";
    return nullptr;
  }
  // Refused here, once, rather than failing in the render pass for every frame.
  if (auto refused = FrameSizeLimits::refusal(d->current_->width, d->current_->height)) {
    error = *refused;
    return nullptr;
  }
  d->width_ = FrameSizeLimits::carriedSide(d->current_->width);
  d->height_ = FrameSizeLimits::carriedSide(d->current_->height);
  d->firstPts_ = d->currentPts_;
  return d;
}

bool VideoDecoder::decodeInto(AVFrame* frame) {
  int errors = 0;
  for (int step = 0; step < kMaxPacketsPerFrame; ++step) {
    int r = avcodec_receive_frame(codec_, frame);
    if (r == 0) {
      ++decodedCount_;
      return true;
    }
    if (r == AVERROR_EOF) {
      decoderEnded_ = true;
      return false;
    }
    if (r != AVERROR(EAGAIN)) {
      if (++errors > kMaxDecodeErrors) return false;
      continue;
    }
    if (inputEnded_) return false;
    r = av_read_frame(format_, packet_);
    if (r < 0) {
      // End of file or a truncated one: drain what the decoder still holds.
      inputEnded_ = true;
      avcodec_send_packet(codec_, nullptr);
      continue;
    }
    if (packet_->stream_index != stream_) {
      av_packet_unref(packet_);
      continue;
    }
    r = avcodec_send_packet(codec_, packet_);
    av_packet_unref(packet_);
    if (r < 0 && r != AVERROR(EAGAIN) && ++errors > kMaxDecodeErrors) return false;
  }
  return false;
}

int64_t VideoDecoder::ptsOf(const AVFrame* frame) const {
  int64_t ts = frame->best_effort_timestamp;
  if (ts == AV_NOPTS_VALUE) ts = frame->pts;
  if (ts == AV_NOPTS_VALUE) return hasCurrent_ ? currentPts_ + frameDurationNs_ : 0;
  return av_rescale_q(ts - startPts_, format_->streams[stream_]->time_base, kNanoseconds);
}

std::optional<int64_t> VideoDecoder::nextPts() {
  if (!hasPending_) {
    if (!decodeInto(pending_)) return std::nullopt;
    hasPending_ = true;
  }
  return ptsOf(pending_);
}

bool VideoDecoder::advance() {
  if (!nextPts()) return false;
  currentPts_ = ptsOf(pending_);
  std::swap(current_, pending_);
  av_frame_unref(pending_);
  hasPending_ = false;
  hasCurrent_ = true;
  converted_.reset();
  return true;
}

bool VideoDecoder::seekTo(int64_t ptsNs) {
  AVStream* stream = format_->streams[stream_];
  int64_t ts =
      av_rescale_q(std::max<int64_t>(0, ptsNs), kNanoseconds, stream->time_base) + startPts_;
  int r = av_seek_frame(format_, stream_, ts, AVSEEK_FLAG_BACKWARD);
  if (r < 0) return false;
  avcodec_flush_buffers(codec_);
  inputEnded_ = false;
  decoderEnded_ = false;
  hasPending_ = false;
  av_frame_unref(pending_);
  return true;
}

std::vector<int64_t> VideoDecoder::packetStamps() {
  AVStream* stream = format_->streams[stream_];
  auto ns = [&](int64_t ts) {
    return av_rescale_q(ts - startPts_, stream->time_base, kNanoseconds);
  };
  std::vector<int64_t> stamps;
  const int entries = avformat_index_get_entries_count(stream);
  if (entries > 1 && stream->nb_frames == entries) {
    stamps.reserve(size_t(entries));
    for (int i = 0; i < entries; ++i)
      if (const AVIndexEntry* entry = avformat_index_get_entry(stream, i))
        stamps.push_back(ns(entry->timestamp));
    return stamps;
  }
  // No index of every frame: the packets are read (not decoded), as far as a long recording's.
  if (!format_->pb || !(format_->pb->seekable & AVIO_SEEKABLE_NORMAL)) return stamps;
  for (int i = 0; i < kMaxScannedPackets && av_read_frame(format_, packet_) >= 0; ++i) {
    if (packet_->stream_index == stream_) {
      int64_t ts = packet_->dts != AV_NOPTS_VALUE ? packet_->dts : packet_->pts;
      if (ts != AV_NOPTS_VALUE) stamps.push_back(ns(ts));
    }
    av_packet_unref(packet_);
  }
  if (!seekTo(0)) stamps.clear();
  return stamps;
}

bool VideoDecoder::rewind() { return seekTo(0); }

bool VideoDecoder::hasCurrent() const { return hasCurrent_; }

bool VideoDecoder::stepBack() {
  if (!hasCurrent_ || currentPts_ <= firstPts_) return false;
  const int64_t target = currentPts_;
  AVFrame* best = av_frame_alloc();
  AVFrame* frame = av_frame_alloc();
  bool found = false;
  // First from the key frame before the previous frame; if the seek lands past it, from the start.
  const int64_t starts[2] = {target - frameDurationNs_, 0};
  for (int64_t start : starts) {
    if (!seekTo(start)) continue;
    bool haveBest = false;
    while (decodeInto(frame)) {
      if (ptsOf(frame) >= target) {
        // The frame that was current: it is the next one again.
        std::swap(pending_, frame);
        hasPending_ = true;
        break;
      }
      av_frame_unref(best);
      av_frame_move_ref(best, frame);
      haveBest = true;
    }
    if (haveBest) {
      av_frame_unref(current_);
      av_frame_move_ref(current_, best);
      currentPts_ = ptsOf(current_);
      converted_.reset();
      found = true;
      break;
    }
  }
  av_frame_free(&best);
  av_frame_free(&frame);
  return found;
}

PixelBufferRef VideoDecoder::acquireBuffer() {
  for (auto& buffer : pool_)
    if (buffer.use_count() == 1) return buffer;
  PixelBufferRef buffer = PixelBuffer::create(width_, height_, PixelFormat::NV12FullRange);
  if (buffer && pool_.size() < kPoolSize) pool_.push_back(buffer);
  return buffer;
}

PixelBufferRef VideoDecoder::currentBuffer() {
  if (!hasCurrent_ || !current_->data[0]) return nullptr;
  if (converted_) return converted_;
  bool fullRange = current_->color_range == AVCOL_RANGE_JPEG;
  AVPixelFormat format = plainFormat(AVPixelFormat(current_->format), fullRange);
  // A frame of the first frame's size (odd sizes cropped by one) is converted as it is; a size
  // change in the stream is scaled to the size the player announced.
  bool same = (current_->width & ~1) == width_ && (current_->height & ~1) == height_;
  int srcW = same ? width_ : current_->width;
  int srcH = same ? height_ : current_->height;
  PixelBufferRef buffer = acquireBuffer();
  if (!buffer) return nullptr;
  buffer->lock();
  if (same && format == AV_PIX_FMT_YUV420P) {
    planar420ToNV12(current_, fullRange, *buffer);
    buffer->unlock();
    converted_ = buffer;
    return buffer;
  }
  // Other layouts through swscale, which leaves the range alone in its fast paths: the range is
  // expanded afterwards. RGB sources are written full range directly.
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
  const bool rgb = desc && (desc->flags & AV_PIX_FMT_FLAG_RGB);
  const int space = swsColorspace(current_->colorspace);
  if (!sws_ || swsFormat_ != format || swsWidth_ != srcW || swsHeight_ != srcH ||
      swsRange_ != int(fullRange) || swsSpace_ != space) {
    sws_freeContext(sws_);
    sws_ = sws_alloc_context();
    if (!sws_) {
      buffer->unlock();
      return nullptr;
    }
    av_opt_set_int(sws_, "srcw", srcW, 0);
    av_opt_set_int(sws_, "srch", srcH, 0);
    av_opt_set_int(sws_, "src_format", format, 0);
    av_opt_set_int(sws_, "dstw", width_, 0);
    av_opt_set_int(sws_, "dsth", height_, 0);
    av_opt_set_int(sws_, "dst_format", AV_PIX_FMT_NV12, 0);
    av_opt_set_int(sws_, "sws_flags", SWS_BILINEAR, 0);
    av_opt_set_int(sws_, "threads", 0, 0);
    if (sws_init_context(sws_, nullptr, nullptr) < 0) {
      sws_freeContext(sws_);
      sws_ = nullptr;
      buffer->unlock();
      return nullptr;
    }
    sws_setColorspaceDetails(sws_, sws_getCoefficients(space), int(fullRange),
                             sws_getCoefficients(SWS_CS_ITU601), rgb ? 1 : int(fullRange), 0,
                             1 << 16, 1 << 16);
    swsFormat_ = format;
    swsWidth_ = srcW;
    swsHeight_ = srcH;
    swsRange_ = int(fullRange);
    swsSpace_ = space;
  }
  uint8_t* dst[4] = {buffer->baseAddress(0), buffer->baseAddress(1), nullptr, nullptr};
  int dstStride[4] = {int(buffer->bytesPerRow(0)), int(buffer->bytesPerRow(1)), 0, 0};
  int rows = sws_scale(sws_, current_->data, current_->linesize, 0, srcH, dst, dstStride);
  // Whatever the source range, the output is full range: the renderer reads every frame so.
  if (rows > 0 && !fullRange && !rgb) expandRange(*buffer);
  buffer->unlock();
  if (rows <= 0) return nullptr;
  converted_ = buffer;
  return buffer;
}

}  // namespace corvane
