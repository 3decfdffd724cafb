#include "TestMedia.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}
#include <libyuv/convert_from_argb.h>

#include <QPainter>
#include <cstring>
#include <fstream>

namespace testmedia {

QImage photo(const std::string& name) {
  return QImage(QString::fromStdString(std::string(CORVANE_ASSETS_DIR) + "/photos/" + name));
}

QImage markedFrame(const QImage& source, int width, int height, int index) {
  QImage frame(width, height, QImage::Format_ARGB32);
  frame.fill(Qt::gray);
  QPainter painter(&frame);
  if (!source.isNull()) painter.drawImage(QRect(0, 0, width, height), source);
  painter.fillRect(0, 0, width, 24, Qt::black);
  painter.fillRect(16 * index + 2, 4, 12, 16, Qt::white);
  painter.fillRect(0, height - 24, width / 2, 24, Qt::white);
  painter.fillRect(width / 2, height - 24, width - width / 2, 24, Qt::black);
  return frame;
}

int markerIndex(const uint8_t* luma, size_t bytesPerRow, int width) {
  int best = -1, bestValue = 0;
  for (int i = 0; 16 * i + 16 <= width; ++i) {
    int sum = 0;
    for (int y = 8; y < 16; ++y)
      for (int x = 16 * i + 5; x < 16 * i + 11; ++x)
        sum += luma[size_t(y) * bytesPerRow + size_t(x)];
    int mean = sum / 48;
    if (mean > bestValue) {
      bestValue = mean;
      best = i;
    }
  }
  return bestValue > 128 ? best : -1;
}

namespace {

struct Writer {
  AVFormatContext* oc = nullptr;
  AVCodecContext* video = nullptr;
  AVCodecContext* audio = nullptr;
  AVStream* videoStream = nullptr;
  AVStream* audioStream = nullptr;
  AVPacket* packet = av_packet_alloc();
  ~Writer() {
    avcodec_free_context(&video);
    avcodec_free_context(&audio);
    av_packet_free(&packet);
    if (oc) {
      if (oc->pb) avio_closep(&oc->pb);
      avformat_free_context(oc);
    }
  }
  bool drain(AVCodecContext* ctx, AVStream* stream) {
    for (;;) {
      int r = avcodec_receive_packet(ctx, packet);
      if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
      if (r < 0) return false;
      // The encoder leaves a frame's duration unset; without it the last frame gets none and
      // the muxer's edit list leaves it out.
      if (packet->duration == 0 && ctx->codec_type == AVMEDIA_TYPE_VIDEO) packet->duration = 1;
      av_packet_rescale_ts(packet, ctx->time_base, stream->time_base);
      packet->stream_index = stream->index;
      if (av_interleaved_write_frame(oc, packet) < 0) return false;
    }
  }
};

bool openAudio(Writer& w, std::string& error) {
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
  w.audioStream = avformat_new_stream(w.oc, nullptr);
  w.audio = avcodec_alloc_context3(codec);
  w.audio->sample_fmt = AV_SAMPLE_FMT_FLTP;
  w.audio->sample_rate = 48000;
  av_channel_layout_default(&w.audio->ch_layout, 2);
  w.audio->bit_rate = 64000;
  w.audio->time_base = {1, 48000};
  if (w.oc->oformat->flags & AVFMT_GLOBALHEADER) w.audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (avcodec_open2(w.audio, codec, nullptr) < 0) {
    error = "cannot open the AAC encoder";
    return false;
  }
  avcodec_parameters_from_context(w.audioStream->codecpar, w.audio);
  w.audioStream->time_base = w.audio->time_base;
  return true;
}

bool writeAudio(Writer& w, double seconds) {
  AVFrame* frame = av_frame_alloc();
  frame->nb_samples = w.audio->frame_size;
  frame->format = w.audio->sample_fmt;
  av_channel_layout_copy(&frame->ch_layout, &w.audio->ch_layout);
  av_frame_get_buffer(frame, 0);
  int64_t total = int64_t(seconds * 48000);
  bool ok = true;
  for (int64_t pts = 0; pts < total && ok; pts += frame->nb_samples) {
    av_frame_make_writable(frame);
    for (int c = 0; c < 2; ++c) std::memset(frame->data[c], 0, size_t(frame->nb_samples) * 4);
    frame->pts = pts;
    ok = avcodec_send_frame(w.audio, frame) >= 0 && w.drain(w.audio, w.audioStream);
  }
  av_frame_free(&frame);
  return ok && avcodec_send_frame(w.audio, nullptr) >= 0 && w.drain(w.audio, w.audioStream);
}

}  // namespace

bool writeVideo(const VideoSpec& spec, const std::function<QImage(int)>& makeFrame,
                std::string& error) {
  Writer w;
  if (avformat_alloc_output_context2(&w.oc, nullptr, nullptr, spec.path.c_str()) < 0 || !w.oc) {
    error = "no muxer for " + spec.path;
    return false;
  }
  if ((spec.audioFirst || spec.audioOnly) && !openAudio(w, error)) return false;
  const bool mjpeg = spec.encoder == "mjpeg";
  if (!spec.audioOnly) {
    const AVCodec* codec = avcodec_find_encoder_by_name(spec.encoder.c_str());
    if (!codec) {
      error = "no encoder " + spec.encoder;
      return false;
    }
    w.videoStream = avformat_new_stream(w.oc, nullptr);
    w.video = avcodec_alloc_context3(codec);
    w.video->width = spec.width;
    w.video->height = spec.height;
    w.video->time_base = {1, spec.fps};
    w.video->framerate = {spec.fps, 1};
    w.video->gop_size = spec.gop;
    w.video->max_b_frames = spec.bframes;
    w.video->pix_fmt = mjpeg ? AV_PIX_FMT_YUVJ420P : AV_PIX_FMT_YUV420P;
    w.video->color_range = mjpeg ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    if (!mjpeg) {
      av_opt_set(w.video->priv_data, "preset", "veryfast", 0);
      av_opt_set(w.video->priv_data, "crf", "18", 0);
    } else {
      w.video->flags |= AV_CODEC_FLAG_QSCALE;
      w.video->global_quality = FF_QP2LAMBDA * 3;
    }
    if (w.oc->oformat->flags & AVFMT_GLOBALHEADER) w.video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(w.video, codec, nullptr) < 0) {
      error = "cannot open encoder " + spec.encoder;
      return false;
    }
    avcodec_parameters_from_context(w.videoStream->codecpar, w.video);
    w.videoStream->time_base = w.video->time_base;
  }
  if (avio_open(&w.oc->pb, spec.path.c_str(), AVIO_FLAG_WRITE) < 0) {
    error = "cannot write " + spec.path;
    return false;
  }
  w.oc->output_ts_offset = int64_t(spec.stampOffset * AV_TIME_BASE);
  AVDictionary* options = nullptr;
  if (spec.faststart) av_dict_set(&options, "movflags", "faststart", 0);
  int r = avformat_write_header(w.oc, &options);
  av_dict_free(&options);
  if (r < 0) {
    error = "cannot write the header";
    return false;
  }
  const double seconds = double(spec.frames) / spec.fps;
  if (w.audio && !writeAudio(w, seconds)) {
    error = "cannot encode audio";
    return false;
  }
  if (w.video) {
    AVFrame* frame = av_frame_alloc();
    frame->format = w.video->pix_fmt;
    frame->width = spec.width;
    frame->height = spec.height;
    av_frame_get_buffer(frame, 0);
    bool ok = true;
    for (int i = 0; i < spec.frames && ok; ++i) {
      QImage image = makeFrame(i).convertToFormat(QImage::Format_ARGB32);
      av_frame_make_writable(frame);
      auto convert = mjpeg ? libyuv::ARGBToJ420 : libyuv::ARGBToI420;
      convert(image.constBits(), int(image.bytesPerLine()), frame->data[0], frame->linesize[0],
              frame->data[1], frame->linesize[1], frame->data[2], frame->linesize[2], spec.width,
              spec.height);
      frame->pts = i;
      ok = avcodec_send_frame(w.video, frame) >= 0 && w.drain(w.video, w.videoStream);
    }
    av_frame_free(&frame);
    if (!ok || avcodec_send_frame(w.video, nullptr) < 0 || !w.drain(w.video, w.videoStream)) {
      error = "cannot encode video";
      return false;
    }
  }
  if (av_write_trailer(w.oc) < 0) {
    error = "cannot write the trailer";
    return false;
  }
  return true;
}

bool concatenate(const std::vector<std::string>& parts, const std::string& path) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (const std::string& part : parts) {
    std::ifstream in(part, std::ios::binary);
    if (!in) return false;
    out << in.rdbuf();
  }
  return bool(out.flush());
}

}  // namespace testmedia
