// The player window's video view: one 3840 x 1080 NV12 panorama frame made into the picture the
// view draws, at the size a 960-pixel-wide view shows it, beside libyuv's plain conversion of the
// whole frame to ARGB. The view keeps up with a clip while one conversion takes less than a frame
// time (33 ms at 30 frames a second).
#include <benchmark/benchmark.h>
#include <libyuv/convert_argb.h>

#include <QImage>
#include <vector>

#include "util/Converter.h"
#include "util/ImageExtension.h"
#include "video/PixelBuffer.h"
#include "widgets/PixelBufferView.h"

namespace {

constexpr int kWidth = 3840, kHeight = 1080;

platform::PixelBufferRef panorama() {
  static platform::PixelBufferRef frame = [] {
    auto f = platform::PixelBuffer::create(kWidth, kHeight, platform::PixelFormat::NV12FullRange);
    QImage picture(QString(CORVANE_ASSETS_DIR) + "/photos/sample1.jpg");
    if (picture.isNull()) {
      picture = QImage(kWidth, kHeight, QImage::Format_RGB32);
      picture.fill(Qt::darkGreen);
    }
    corvane::Converter::pixelBuffer(*f, picture.scaled(kWidth, kHeight));
    return f;
  }();
  return frame;
}

void BM_ViewPictureAtShownSize(benchmark::State& state) {
  platform::PixelBufferRef frame = panorama();
  const double scale = corvane::PixelBufferView::fitScale({kWidth, kHeight}, {960, 540});
  for (auto _ : state) {
    QImage image = corvane::ImageExtension::imageWithPixelBuffer(*frame, scale);
    benchmark::DoNotOptimize(image.constBits());
  }
}
BENCHMARK(BM_ViewPictureAtShownSize)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BaselineLibyuvWholeFrameToARGB(benchmark::State& state) {
  platform::PixelBufferRef frame = panorama();
  std::vector<uint8_t> argb(size_t(kWidth) * kHeight * 4);
  for (auto _ : state) {
    libyuv::NV12ToARGBMatrix(frame->baseAddress(0), int(frame->bytesPerRow(0)),
                             frame->baseAddress(1), int(frame->bytesPerRow(1)), argb.data(),
                             kWidth * 4, &libyuv::kYuvJPEGConstants, kWidth, kHeight);
    benchmark::DoNotOptimize(argb.data());
  }
}
BENCHMARK(BM_BaselineLibyuvWholeFrameToARGB)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
