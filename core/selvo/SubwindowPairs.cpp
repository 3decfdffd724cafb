#include "SubwindowPairs.h"

#include <algorithm>
#include <cmath>

#include "Framing.h"
#include "PairEmitter.h"

namespace selvo {

namespace {

void setRect(rect& r, double x, double y, double w, double h, int id) {
  r.x = static_cast<float>(x);
  r.y = static_cast<float>(y);
  r.width = static_cast<float>(w);
  r.height = static_cast<float>(h);
  r.id = id;
}

}  // namespace

void SubwindowPairs::clear() {
  tiles_.clear();
  borders_.clear();
}

void SubwindowPairs::build(const LayoutGeometry& geometry, int subWidth, int subHeight,
                           const std::vector<BorderItem>& borders) {
  clear();
  const double w = geometry.videoWidth;
  const double h = geometry.videoHeight;
  if (w <= 0 || h <= 0 || subWidth <= 0 || subHeight <= 0) return;
  const double kx = subWidth / w;
  const double ky = subHeight / h;
  const PairEmitter emitter(geometry);

  // The panorama, display column 0 first.
  const double start = emitter.toSource(0);
  roi_pair tile;
  tile.subwindow_type = kTileList;
  if (start < 0.5 || w - start < 0.5) {
    setRect(tile.src, 0, 0, w, h, -1);
    setRect(tile.dst, 0, 0, subWidth, subHeight, -1);
    tiles_.push_back(tile);
  } else {
    const double split = std::round((w - start) * kx);
    setRect(tile.src, start, 0, w - start, h, -1);
    setRect(tile.dst, 0, 0, split, subHeight, -1);
    tiles_.push_back(tile);
    setRect(tile.src, 0, 0, start, h, -1);
    setRect(tile.dst, split, 0, subWidth - split, subHeight, -1);
    tiles_.push_back(tile);
  }

  const size_t room = kMaxPairs - tiles_.size();
  for (const BorderItem& item : borders) {
    if (borders_.size() >= room) break;
    if (!(item.box.width > 0 && item.box.height > 0)) continue;
    roi_pair pair;
    pair.subwindow_type = item.type;
    pair.edge_flags = PairEmitter::kAllEdges;
    pair.icon_flags = item.icons;
    pair.is_dashed_line = item.dashed;
    const double bw = std::min<double>(item.box.width, w);
    const double bh = std::min<double>(item.box.height, h);
    double x =
        geometry.is360 ? Framing::wrap(item.box.x, w) : std::clamp<double>(item.box.x, 0, w - bw);
    const double y = std::clamp<double>(item.box.y, 0, h - bh);
    // The source: the part of the rectangle before the source's edge.
    const double sx = emitter.toSource(x);
    setRect(pair.src, sx, y, std::min(bw, w - sx), bh, item.id);
    setRect(pair.dst, x * kx, y * ky, bw * kx, bh * ky, item.id);
    borders_.push_back(pair);
  }
}

}  // namespace selvo
