// One frame of the layout engine with twelve people and the control view on, in the busiest
// modes, beside the cost of only handing the inputs in and fetching the pairs out.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "selvo/LayoutEngine.h"
#include "selvo/LayoutSetting.h"

namespace {

struct Room {
  selvo::LayoutTuning tuning;
  selvo::LayoutEngine engine{tuning};
  std::vector<selvo::rect> tracked;
  std::vector<selvo::rect> untracked;
  std::vector<selvo::rect> ignore;
  std::vector<int> pins{3, -1, -1};
  std::vector<selvo::roi_pair> out = std::vector<selvo::roi_pair>(20);
  int64_t now = 0;
  int frame = 0;

  explicit Room(int mode) {
    engine.Init(true, 3840, 1080, 1280, 720, 1280, 360, 0);
    engine.SetLayoutMode(mode);
    engine.SetMaxGridCount(9);
    engine.SetGridComposeModeMaxCount(8);
    engine.EnableBeamforming(true);
    for (int i = 0; i < 12; ++i) {
      selvo::rect r;
      r.x = static_cast<float>(i * 320 + 20);
      r.y = static_cast<float>(300 + (i % 3) * 40);
      r.width = 260;
      r.height = 300;
      r.id = i + 1;
      (i % 2 ? tracked : untracked).push_back(r);
    }
    ignore.push_back(selvo::rect{100, 50, 300, 200, 99, 1});
    for (int i = 0; i < 60; ++i) step(true);
  }

  void inputs() {
    engine.GetLayoutMode();
    // People breathe a little; every second someone moves further.
    for (auto* list : {&tracked, &untracked}) {
      for (selvo::rect& r : *list) r.x += (frame % 2) ? 3.0f : -3.0f;
    }
    if (frame % 30 == 0) untracked[frame / 30 % untracked.size()].x += 60;
    engine.SetRects(tracked.data(), static_cast<int>(tracked.size()), untracked.data(),
                    static_cast<int>(untracked.size()));
    engine.SetIgnoreAreas(ignore.data(), static_cast<int>(ignore.size()));
    engine.SetPinnedIds(static_cast<int>(pins.size()), pins.data());
    engine.SetContentOffset(700);
    engine.SetNameTag(1, "Ana", "Company", "Title");
    engine.AddVoiceDirection(true, (frame / 90) % 2 ? -100 : 60);
    engine.SetFrameTime(now += 33'333);
    ++frame;
  }

  void fetch() {
    int n = 0;
    for (int t = 1; t <= 3; ++t) {
      if (engine.GetROIPairCount(t, &n) && n > 0) engine.GetROIPairs(t, n, out.data());
    }
    engine.SetSrcToSubwindow(3840, 1080, 1280, 360);
    for (int t : {1, 3}) {
      if (engine.GetSubwindowROIPairCount(t, &n) && n > 0) {
        engine.GetSubwindowROIPairs(t, n, out.data());
      }
    }
  }

  void step(bool layout) {
    inputs();
    if (layout) engine.DoBufferLayout();
    fetch();
  }
};

void BM_LayoutFrame(benchmark::State& state) {
  Room room(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    room.step(true);
    benchmark::DoNotOptimize(room.out.data());
  }
}

void BM_InputsAndFetchBaseline(benchmark::State& state) {
  Room room(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    room.step(false);
    benchmark::DoNotOptimize(room.out.data());
  }
}

}  // namespace

// Modes: 0 compose, 2 top-down, 3 grid, 5 speaker, 6 two groups, 7 presentation.
BENCHMARK(BM_LayoutFrame)
    ->Arg(0)
    ->Arg(2)
    ->Arg(3)
    ->Arg(5)
    ->Arg(6)
    ->Arg(7)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_InputsAndFetchBaseline)->Arg(3)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
