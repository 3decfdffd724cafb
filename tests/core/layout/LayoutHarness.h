#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "selvo/LayoutEngine.h"
#include "selvo/LayoutSetting.h"
#include "selvo/LayoutTuning.h"

namespace layouttest {

using selvo::rect;
using selvo::roi_pair;

inline rect box(float x, float y, float w, float h, int id) {
  rect r;
  r.x = x;
  r.y = y;
  r.width = w;
  r.height = h;
  r.id = id;
  r.score = 1;
  return r;
}

struct Frame {
  std::vector<roi_pair> main[3];
  std::vector<roi_pair> tiles;
  std::vector<roi_pair> borders;
  std::vector<roi_pair> all() const {
    std::vector<roi_pair> out;
    for (const auto& list : main) out.insert(out.end(), list.begin(), list.end());
    return out;
  }
};

inline bool samePair(const roi_pair& a, const roi_pair& b) {
  const auto sameRect = [](const rect& x, const rect& y) {
    return x.x == y.x && x.y == y.y && x.width == y.width && x.height == y.height && x.id == y.id;
  };
  return sameRect(a.src, b.src) && sameRect(a.dst, b.dst) && a.edge_flags == b.edge_flags &&
         a.icon_flags == b.icon_flags && a.scale == b.scale &&
         a.subwindow_type == b.subwindow_type && a.is_dashed_line == b.is_dashed_line;
}

inline bool sameFrame(const Frame& a, const Frame& b) {
  const auto same = [](const std::vector<roi_pair>& x, const std::vector<roi_pair>& y) {
    if (x.size() != y.size()) return false;
    for (size_t i = 0; i < x.size(); ++i) {
      if (!samePair(x[i], y[i])) return false;
    }
    return true;
  };
  for (int t = 0; t < 3; ++t) {
    if (!same(a.main[t], b.main[t])) return false;
  }
  return same(a.tiles, b.tiles) && same(a.borders, b.borders);
}

// One engine with its own tuning, driven frame by frame at 30 fps on an injected clock.
class Harness {
 public:
  static constexpr int64_t kFrameUs = 33'333;

  explicit Harness(bool is360 = true, int w = 3840, int h = 1080, int ow = 1280, int oh = 720)
      : engine(tuning), setting(tuning) {
    video_w = w;
    video_h = h;
    sub_h = static_cast<int>(std::lround(1280.0 * h / w / 2.0)) * 2;
    engine.Init(is360, w, h, ow, oh, 1280, sub_h, 0);
  }

  Frame frame() {
    now += kFrameUs;
    engine.GetLayoutMode();
    if (has_focus) engine.SetManualRect(1, focus);
    if (has_board) engine.SetManualRect(7, board);
    engine.SetRects(tracked.data(), static_cast<int>(tracked.size()), untracked.data(),
                    static_cast<int>(untracked.size()));
    engine.SetIgnoreAreas(ignore.data(), static_cast<int>(ignore.size()));
    engine.SetPinnedIds(static_cast<int>(pins.size()), pins.data());
    engine.SetContentOffset(offset);
    for (const auto& [id, name] : names) engine.SetNameTag(id, name.c_str(), "", "");
    if (voice_angle) engine.AddVoiceDirection(true, *voice_angle);
    engine.SetFrameTime(now);
    engine.DoBufferLayout();
    Frame f;
    for (int t = 1; t <= 3; ++t) {
      int n = -11;
      if (engine.GetROIPairCount(t, &n) && n > 0) {
        f.main[t - 1].resize(n);
        engine.GetROIPairs(t, n, f.main[t - 1].data());
      }
    }
    engine.SetSrcToSubwindow(video_w, video_h, 1280, sub_h);
    int n = 0;
    if (engine.GetSubwindowROIPairCount(1, &n) && n > 0) {
      f.tiles.resize(n);
      engine.GetSubwindowROIPairs(1, n, f.tiles.data());
    }
    if (engine.GetSubwindowROIPairCount(3, &n) && n > 0) {
      f.borders.resize(n);
      engine.GetSubwindowROIPairs(3, n, f.borders.data());
    }
    return f;
  }

  Frame run(int frames) {
    Frame f;
    for (int i = 0; i < frames; ++i) f = frame();
    return f;
  }

  selvo::LayoutTuning tuning;
  selvo::LayoutEngine engine;
  selvo::LayoutSetting setting;
  std::vector<rect> tracked;
  std::vector<rect> untracked;
  std::vector<rect> ignore;
  std::vector<int> pins;
  std::vector<std::pair<int, std::string>> names;
  const int* voice_angle = nullptr;
  rect focus;
  rect board;
  bool has_focus = false;
  bool has_board = false;
  int offset = 0;
  int64_t now = 0;
  int video_w = 0;
  int video_h = 0;
  int sub_h = 0;
};

// A compact, stable text form of a frame for golden comparisons.
inline std::string describe(const std::vector<roi_pair>& pairs) {
  std::string out;
  char line[256];
  for (const roi_pair& p : pairs) {
    std::snprintf(
        line, sizeof line, "src %d,%d %dx%d #%d dst %d,%d %dx%d #%d e%u i%u t%d\n",
        static_cast<int>(std::lround(p.src.x)), static_cast<int>(std::lround(p.src.y)),
        static_cast<int>(std::lround(p.src.width)), static_cast<int>(std::lround(p.src.height)),
        p.src.id, static_cast<int>(std::lround(p.dst.x)), static_cast<int>(std::lround(p.dst.y)),
        static_cast<int>(std::lround(p.dst.width)), static_cast<int>(std::lround(p.dst.height)),
        p.dst.id, p.edge_flags, p.icon_flags, p.subwindow_type);
    out += line;
  }
  return out;
}

}  // namespace layouttest
