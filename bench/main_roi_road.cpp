// The main window's per-frame ROI road: the borders from 20 control pairs, one overlay paint of
// 20 ROIs with tags, icons and handles into a 1280 x 360 picture beside painting the same 20
// bare outlines, and the whole road (merge, both compositions, borders, hand-offs) with 20 pairs
// per list beside the two compositions alone.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cstdlib>
#include <filesystem>

#include "Bundle.h"
#include "camera/CameraManager.h"
#include "config/ConfigManager.h"
#include "controlboard/ControlBoardViewModel.h"
#include "log/LogManager.h"
#include "main/MainController.h"
#include "qt/UserDefaults.h"
#include "render/BorderView.h"
#include "render/LayoutView.h"
#include "render/MetalManager.h"
#include "render/compute/Texture.h"

using namespace corvane;

namespace {

constexpr int kPairs = 20;

// Control pairs across the 1280-unit panorama, one crossing the seam, with every decoration.
MainController::RoiPairs controlPairs() {
  MainController::RoiPairs pairs;
  for (int i = 0; i < kPairs; ++i) {
    auto p = std::make_shared<orlith::SelvoRoiPair>();
    p->roi_id = i + 1;
    p->type = i % 3 == 0 ? 2 : (i % 3 == 1 ? 1 : 0);
    p->has_border = true;
    p->has_nametag = true;
    p->has_pin_icon = i % 2 == 0;
    p->has_anchor_point = i % 4 == 0;
    p->name = "Person " + std::to_string(i + 1);
    p->src_rect.rect = {i * 190.0, 100, 380, 600};
    p->dst_rect.rect = {i * 63.0 + 5, 60 + (i % 3) * 30.0, 60, 120};
    p->dst_rect.rect_id = i + 1;
    pairs.push_back(p);
  }
  return pairs;
}

// Output pairs: a grid of tiles over 1280 x 720.
MainController::RoiPairs outputPairs() {
  MainController::RoiPairs pairs;
  for (int i = 0; i < kPairs; ++i) {
    auto p = std::make_shared<orlith::SelvoRoiPair>();
    p->roi_id = i + 1;
    p->src_rect.rect = {i * 190.0, 100, 380, 600};
    p->dst_rect.rect = {(i % 5) * 256.0, (i / 5) * 180.0, 256, 180};
    p->edge_config = {0, 0, 0, 0};
    pairs.push_back(p);
  }
  return pairs;
}

compute::TextureRef panoramaTexture() {
  auto texture = compute::Texture::create(3840, 1080, compute::TextureFormat::BGRA8Unorm);
  std::vector<uint8_t> bytes(size_t(3840) * 1080 * 4);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 7 / 5);
  texture->replace(bytes.data(), 3840 * 4);
  return texture;
}

ConfigManager& config() {
  static ConfigManager c{ConfigManager::Environment{}};
  return c;
}

QImage canvas() {
  QImage image(1280, 360, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  return image;
}

}  // namespace

static void BM_MakeBorders(benchmark::State& state) {
  auto pairs = controlPairs();
  for (auto _ : state) benchmark::DoNotOptimize(MainController::makeBorders(pairs, 1280, true));
}
BENCHMARK(BM_MakeBorders)->Unit(benchmark::kMicrosecond);

static void BM_OverlayBareOutlines(benchmark::State& state) {
  BorderView view(config(), nullptr);
  view.setBorders(MainController::makeBorders(controlPairs(), 1280, true));
  QImage image = canvas();
  for (auto _ : state) {
    QPainter painter(&image);
    view.drawOutlines(painter, QSizeF(1280, 360));
  }
}
BENCHMARK(BM_OverlayBareOutlines)->Unit(benchmark::kMicrosecond);

static void BM_OverlayFull(benchmark::State& state) {
  BorderView view(config(), nullptr);
  view.setBorders(MainController::makeBorders(controlPairs(), 1280, true));
  view.setSelectedRectId(3);
  QImage image = canvas();
  for (auto _ : state) {
    QPainter painter(&image);
    view.draw(painter, QSizeF(1280, 360));
  }
}
BENCHMARK(BM_OverlayFull)->Unit(benchmark::kMicrosecond);

namespace {

struct Road {
  MetalManager metal;
  ControlBoardViewModel model;
  LogManager logger{LogManager::Environment{}};
  platform::UserDefaults defaults{"/tmp/bench-main-roi-road.conf"};
  std::unique_ptr<CameraManager> camera;
  std::unique_ptr<MainController> controller;
  int handOffs = 0;

  Road() {
    CameraManager::Environment env;
    env.cachesFolder = [] { return std::optional<std::string>("/tmp"); };
    env.executableName = [] { return std::optional<std::string>("bench"); };
    camera = std::make_unique<CameraManager>(env);
    MainController::Environment main;
    main.camera = camera.get();
    main.viewModel = &model;
    main.config = &config();
    main.metal = &metal;
    main.logger = &logger;
    main.defaults = &defaults;
    main.sendPixelBuffer = [this](const platform::PixelBufferRef&) { ++handOffs; };
    main.enqueueFrame = [this](const platform::PixelBufferRef&) { ++handOffs; };
    controller = std::make_unique<MainController>(main);
    controller->resize(1280, 800);
    controller->setupMetalViews();
    metal.exchangeEffectTexture(panoramaTexture());
  }
};

}  // namespace

static void BM_UpdateRoiPairList(benchmark::State& state) {
  Road road;
  auto output = outputPairs();
  auto control = controlPairs();
  road.controller->updateRoiPairList(output, control);
  for (auto _ : state) road.controller->updateRoiPairList(output, control);
  state.counters["handOffs"] = road.handOffs;
}
BENCHMARK(BM_UpdateRoiPairList)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

// The baseline: the two compositions of the same lists alone.
static void BM_TwoCompositionsAlone(benchmark::State& state) {
  Road road;
  std::vector<LayoutRoiPair> output, control;
  for (const auto& p : outputPairs()) output.push_back(LayoutRoiPair::from(*p));
  for (const auto& p : controlPairs()) control.push_back(LayoutRoiPair::from(*p));
  road.controller->metalView->roiPairList = output;
  road.controller->controlMetalView->roiPairList = control;
  for (auto _ : state) {
    road.controller->metalView->updateEffectFrame();
    road.controller->controlMetalView->updateEffectFrame();
  }
}
BENCHMARK(BM_TwoCompositionsAlone)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  std::string share =
      std::filesystem::path(platform::Bundle::executablePath()).parent_path().parent_path() /
      "share" / "corvane-studio";
  qputenv("CORVANE_RESOURCES_DIR", share.c_str());
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
