#include "PairEmitter.h"

#include <algorithm>
#include <cmath>

#include "Framing.h"

namespace selvo {

namespace {

// Pieces thinner than this are folded into the other piece rather than emitted.
constexpr double kSliver = 0.5;

void setRect(rect& r, double x, double y, double w, double h, int id) {
  r.x = static_cast<float>(x);
  r.y = static_cast<float>(y);
  r.width = static_cast<float>(w);
  r.height = static_cast<float>(h);
  r.id = id;
}

}  // namespace

double PairEmitter::toSource(double displayX) const {
  const double w = geometry_.videoWidth;
  if (!geometry_.is360) return displayX;
  const double shift = geometry_.mirror ? -geometry_.contentOffset : geometry_.contentOffset;
  return Framing::wrap(displayX + shift, w);
}

rect PairEmitter::toDisplay(const rect& stored, const LayoutGeometry& geometry) {
  rect r = stored;
  const double w = geometry.videoWidth;
  if (geometry.is360) {
    double u = Framing::wrap(stored.x - geometry.contentOffset, w);
    if (geometry.mirror) u = Framing::wrap(w - u - stored.width, w);
    r.x = static_cast<float>(u);
  } else if (geometry.mirror) {
    r.x = static_cast<float>(w - stored.x - stored.width);
  }
  return r;
}

unsigned PairEmitter::nameTagBit(bool inside, int style) {
  const unsigned base = inside ? ROI_ICON_NAMETAG_INSIDE_NORMAL : ROI_ICON_NAMETAG_OUTSIDE_NORMAL;
  return base << std::clamp(style, 0, 2);
}

int PairEmitter::emit(const rect& dst, const CropPose& pose, double aspect, const roi_pair& model,
                      std::vector<roi_pair>& out) const {
  const double vw = geometry_.videoWidth;
  const double sw = std::min(pose.h * aspect, vw);
  const double sh = pose.h;
  const double y = pose.cy - sh * 0.5;
  double x = toSource(pose.cx - sw * 0.5);
  if (!geometry_.is360) x = std::clamp(x, 0.0, std::max(0.0, vw - sw));
  const int id = model.src.id;
  roi_pair pair = model;
  setRect(pair.dst, dst.x, dst.y, dst.width, dst.height, model.dst.id);
  const double first = vw - x;
  if (x + sw <= vw + 1e-6 || first < kSliver || sw - first < kSliver) {
    if (x + sw > vw) x = first < kSliver ? 0.0 : vw - sw;
    setRect(pair.src, x, y, sw, sh, id);
    out.push_back(pair);
    return 1;
  }
  const double split = dst.width * first / sw;
  roi_pair left = pair;
  setRect(left.src, x, y, first, sh, id);
  setRect(left.dst, dst.x, dst.y, split, dst.height, model.dst.id);
  left.edge_flags &= ~static_cast<unsigned>(ROI_EDGE_RIGHT);
  roi_pair right = pair;
  setRect(right.src, 0, y, sw - first, sh, id);
  setRect(right.dst, dst.x + split, dst.y, dst.width - split, dst.height, model.dst.id);
  right.edge_flags &= ~static_cast<unsigned>(ROI_EDGE_LEFT);
  out.push_back(left);
  out.push_back(right);
  return 2;
}

}  // namespace selvo
