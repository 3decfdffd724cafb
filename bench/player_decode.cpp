// The file player's decode of a 3840 x 1080 H.264 panorama to NV12 full-range frames, beside
// FFmpeg's own decode of the same file to its native format with the same threading. The ratio
// is what the NV12 output costs.
#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
}

#include <filesystem>
#include <memory>
#include <string>

#include "camera/VideoDecoder.h"

namespace {

std::string clipPath() { return std::string(CORVANE_ASSETS_DIR) + "/demo/demo_360.mp4"; }

bool haveClip(benchmark::State& state) {
  if (std::filesystem::exists(clipPath())) return true;
  state.SkipWithError("assets/demo/demo_360.mp4 is missing (scripts/setup makes it)");
  return false;
}

// FFmpeg's own decode loop: frames in the decoder's native format, no conversion.
struct NativeDecoder {
  AVFormatContext* format = nullptr;
  AVCodecContext* codec = nullptr;
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  int stream = -1;
  bool flushing = false;

  bool open(const std::string& path) {
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return false;
    if (avformat_find_stream_info(format, nullptr) < 0) return false;
    const AVCodec* decoder = nullptr;
    stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (stream < 0) return false;
    codec = avcodec_alloc_context3(decoder);
    avcodec_parameters_to_context(codec, format->streams[stream]->codecpar);
    codec->thread_count = 0;
    codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    return avcodec_open2(codec, decoder, nullptr) >= 0;
  }
  ~NativeDecoder() {
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
  }
  bool next() {
    for (;;) {
      int r = avcodec_receive_frame(codec, frame);
      if (r == 0) return true;
      if (r == AVERROR_EOF) {
        // Start over, as the player loops.
        av_seek_frame(format, stream, 0, AVSEEK_FLAG_BACKWARD);
        avcodec_flush_buffers(codec);
        flushing = false;
        continue;
      }
      if (r != AVERROR(EAGAIN)) return false;
      if (flushing) return false;
      if (av_read_frame(format, packet) < 0) {
        flushing = true;
        avcodec_send_packet(codec, nullptr);
        continue;
      }
      if (packet->stream_index == stream) avcodec_send_packet(codec, packet);
      av_packet_unref(packet);
    }
  }
};

void BM_PlayerDecodeToNV12(benchmark::State& state) {
  if (!haveClip(state)) return;
  std::string error;
  auto decoder = corvane::VideoDecoder::open(clipPath(), error);
  if (!decoder) {
    state.SkipWithError(error.c_str());
    return;
  }
  for (auto _ : state) {
    if (!decoder->advance()) {
      decoder->rewind();
      decoder->advance();
    }
    platform::PixelBufferRef frame = decoder->currentBuffer();
    benchmark::DoNotOptimize(frame);
  }
  state.counters["fps"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  state.SetLabel(std::to_string(decoder->width()) + "x" + std::to_string(decoder->height()) +
                 " NV12 full range");
}

void BM_FFmpegNativeDecode(benchmark::State& state) {
  if (!haveClip(state)) return;
  NativeDecoder decoder;
  if (!decoder.open(clipPath())) {
    state.SkipWithError("cannot open the clip");
    return;
  }
  for (auto _ : state) {
    if (!decoder.next()) {
      state.SkipWithError("decode failed");
      return;
    }
    benchmark::DoNotOptimize(decoder.frame->data[0]);
  }
  state.counters["fps"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  state.SetLabel(std::string(av_get_pix_fmt_name(AVPixelFormat(decoder.frame->format))));
}

}  // namespace

BENCHMARK(BM_PlayerDecodeToNV12)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3.0)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(BM_FFmpegNativeDecode)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3.0)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK_MAIN();
