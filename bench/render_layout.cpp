// Composition of a 1280 x 720 output from the panorama with 4 and 20 tiles, beside OpenCV's
// remap (fixed-point maps, all threads) producing the same output from the same source.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPainter>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>

#include "render/EffectView.h"
#include "render/LayoutView.h"

using namespace corvane;

namespace {

cv::Mat panoramaBGRA() {
  static cv::Mat panorama = [] {
    cv::Mat out(1080, 3840, CV_8UC4, cv::Scalar(0, 0, 0, 255));
    int x = 0;
    for (int i = 1; x < out.cols; i = i % 6 + 1) {
      cv::Mat photo = cv::imread(std::string(CORVANE_ASSETS_DIR) + "/photos/sample" +
                                 std::to_string(i) + ".jpg");
      if (photo.empty()) break;
      cv::Mat scaled, bgra;
      cv::resize(photo, scaled, cv::Size(photo.cols * 1080 / photo.rows, 1080));
      cv::cvtColor(scaled, bgra, cv::COLOR_BGR2BGRA);
      int width = std::min(bgra.cols, out.cols - x);
      bgra(cv::Rect(0, 0, width, 1080)).copyTo(out(cv::Rect(x, 0, width, 1080)));
      x += width;
    }
    return out;
  }();
  return panorama;
}

compute::TextureRef panoramaTexture() {
  cv::Mat p = panoramaBGRA();
  auto texture = compute::Texture::create(p.cols, p.rows, compute::TextureFormat::BGRA8Unorm);
  texture->replace(p.data, p.step);
  return texture;
}

// Tiles in a grid over the output, each a different crop of the panorama.
std::vector<LayoutRoiPair> gridPairs(int count, int columns) {
  int rows = (count + columns - 1) / columns;
  double w = 1280.0 / columns, h = 720.0 / rows;
  std::vector<LayoutRoiPair> pairs;
  for (int i = 0; i < count; ++i) {
    LayoutRoiPair p;
    p.dst_rect = {(i % columns) * w, (i / columns) * h, w, h, 0};
    double sw = 640 + 40 * (i % 5), sh = sw * h / w;
    p.src_rect = {std::fmod(i * 733.0, 3840.0 - sw), std::fmod(i * 97.0, 1080.0 - sh), sw, sh, 0};
    p.type = 1;
    pairs.push_back(p);
  }
  return pairs;
}

// The same mapping as one remap: every output pixel reads its tile's crop.
void remapMaps(const std::vector<LayoutRoiPair>& pairs, cv::Mat& map1, cv::Mat& map2) {
  cv::Mat mx(720, 1280, CV_32FC1, cv::Scalar(0)), my(720, 1280, CV_32FC1, cv::Scalar(0));
  for (const auto& p : pairs) {
    int x0 = int(std::lround(p.dst_rect.x)), x1 = int(std::lround(p.dst_rect.x + p.dst_rect.width));
    int y0 = int(std::lround(p.dst_rect.y)),
        y1 = int(std::lround(p.dst_rect.y + p.dst_rect.height));
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) {
        mx.at<float>(y, x) = float(
            p.src_rect.x + (x + 0.5 - p.dst_rect.x) * p.src_rect.width / p.dst_rect.width - 0.5);
        my.at<float>(y, x) = float(
            p.src_rect.y + (y + 0.5 - p.dst_rect.y) * p.src_rect.height / p.dst_rect.height - 0.5);
      }
  }
  cv::convertMaps(mx, my, map1, map2, CV_16SC2);
}

int columnsFor(int tiles) { return tiles == 4 ? 2 : 5; }

}  // namespace

static void BM_LayoutCompose(benchmark::State& state) {
  MetalManager manager;
  manager.exchangeEffectTexture(panoramaTexture());
  LayoutView view(nullptr, manager, MetalContext::shared());
  int tiles = int(state.range(0));
  view.roiPairList = gridPairs(tiles, columnsFor(tiles));
  view.updateEffectFrame();
  for (auto _ : state) {
    view.updateEffectFrame();
    benchmark::DoNotOptimize(manager.vxdPixelBuffer());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * 1280 * 720);
}

// Tiles that move every frame: the maps are made again each time.
static void BM_LayoutComposeMoving(benchmark::State& state) {
  MetalManager manager;
  manager.exchangeEffectTexture(panoramaTexture());
  LayoutView view(nullptr, manager, MetalContext::shared());
  int tiles = int(state.range(0));
  view.roiPairList = gridPairs(tiles, columnsFor(tiles));
  int frame = 0;
  for (auto _ : state) {
    for (auto& p : view.roiPairList) p.src_rect.x = std::fmod(p.src_rect.x + 1, 3000.0);
    view.updateEffectFrame();
    benchmark::DoNotOptimize(manager.vxdPixelBuffer());
    ++frame;
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * 1280 * 720);
}

// Perspective tiles (focus kind) over an equirectangular panorama.
static void BM_LayoutComposePerspective(benchmark::State& state) {
  MetalManager manager;
  manager.exchangeEffectTexture(panoramaTexture());
  LayoutView view(nullptr, manager, MetalContext::shared());
  LayoutView::Environment environment;
  environment.enablePerspectiveProjection = true;
  environment.camera.projection = {ProjectionType::eqt, 360, 180, 360, 100, 3840, 1080};
  view.setEnvironment(environment);
  int tiles = int(state.range(0));
  view.roiPairList = gridPairs(tiles, columnsFor(tiles));
  for (auto& p : view.roiPairList) p.type = 11;
  view.updateEffectFrame();
  for (auto _ : state) {
    view.updateEffectFrame();
    benchmark::DoNotOptimize(manager.vxdPixelBuffer());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * 1280 * 720);
}

// range(1): OpenCV threads, 0 for all.
static void BM_CvRemapBaseline(benchmark::State& state) {
  int threads = cv::getNumThreads();
  cv::setNumThreads(state.range(1) == 0 ? -1 : int(state.range(1)));
  cv::Mat source = panoramaBGRA(), map1, map2, out(720, 1280, CV_8UC4);
  int tiles = int(state.range(0));
  remapMaps(gridPairs(tiles, columnsFor(tiles)), map1, map2);
  for (auto _ : state) {
    cv::remap(source, out, map1, map2, cv::INTER_LINEAR, cv::BORDER_WRAP);
    benchmark::DoNotOptimize(out.data);
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * 1280 * 720);
  cv::setNumThreads(threads);
}

// One frame of both views: the navigator output (4 tiles) and the control panorama preview.
static void BM_BothViews(benchmark::State& state) {
  MetalManager manager;
  manager.exchangeEffectTexture(panoramaTexture());
  LayoutView navigator(nullptr, manager, MetalContext::shared());
  LayoutView control(nullptr, manager, MetalContext::shared());
  control.mode = LayoutMode::control;
  navigator.roiPairList = gridPairs(4, 2);
  LayoutRoiPair whole;
  whole.src_rect = {0, 0, 3840, 1080, 0};
  whole.dst_rect = {0, 0, 1280, 360, 0};
  control.roiPairList = {whole};
  for (auto _ : state) {
    navigator.updateEffectFrame();
    control.updateEffectFrame();
    benchmark::DoNotOptimize(manager.controlPixelBuffer());
  }
}

// Painting the panorama preview: the 1280-wide picture into the widget at the size the main
// window shows it on a 1920 x 1080 screen (964 x 241), into the window's premultiplied backing
// store. The view paints its opaque picture as RGB32; the baseline draws the same bytes as
// ARGB32, which makes the painter premultiply and blend every pixel, in Qt's worker threads.
static void BM_PreviewPaint(benchmark::State& state) {
  MetalManager manager;
  manager.exchangeEffectTexture(panoramaTexture());
  LayoutView control(nullptr, manager, MetalContext::shared());
  control.mode = LayoutMode::control;
  LayoutRoiPair whole;
  whole.src_rect = {0, 0, 3840, 1080, 0};
  whole.dst_rect = {0, 0, 1280, 360, 0};
  control.roiPairList = {whole};
  control.updateEffectFrame();
  auto picture = control.composedPixelBuffer();
  if (!picture) {
    state.SkipWithError("no composed picture");
    return;
  }
  control.resize(964, 241);
  QImage store(964, 241, QImage::Format_ARGB32_Premultiplied);
  QImage asArgb(picture->baseAddress(0), picture->width(), picture->height(),
                qsizetype(picture->bytesPerRow(0)), QImage::Format_ARGB32);
  for (auto _ : state) {
    if (state.range(0)) {
      control.render(&store);
    } else {
      QPainter painter(&store);
      painter.drawImage(store.rect(), asArgb);
    }
    benchmark::DoNotOptimize(store.constBits());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * 964 * 241);
}

BENCHMARK(BM_LayoutCompose)
    ->Arg(4)
    ->Arg(20)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(BM_CvRemapBaseline)
    ->Args({4, 0})
    ->Args({4, 1})
    ->Args({20, 0})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(BM_LayoutComposeMoving)
    ->Arg(4)
    ->Arg(20)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(BM_LayoutComposePerspective)
    ->Arg(4)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(BM_BothViews)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
// 1: the view's own paint; 0: the same picture drawn as ARGB32 (the baseline).
BENCHMARK(BM_PreviewPaint)
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMicrosecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
