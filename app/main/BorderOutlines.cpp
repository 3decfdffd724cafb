#include "main/BorderOutlines.h"

namespace corvane {

std::vector<BorderProperty> BorderOutlines::make(const RoiPairs& control, double width,
                                                 double panoramaWidth, bool editModeNone) {
  std::vector<BorderProperty> result;
  double s = width / panoramaWidth;
  auto outline = [s](const orlith::SelvoRoiPair& pair, BorderMode mode, double left,
                     bool editModeNone) {
    const auto& r = pair.dst_rect.rect;
    double X = left * s, Y = r.y * s, W = r.width * s, H = r.height * s;
    BorderProperty b;
    b.points = {{X, Y}, {X, Y + H}, {X + W, Y + H}, {X + W, Y}, {X, Y}};
    b.width = float(W);
    b.height = float(H);
    b.mode = mode;
    b.name = pair.name;
    b.title = pair.title;
    b.company = pair.company;
    b.hasTag = pair.has_nametag;
    b.hasPin = pair.has_pin_icon;
    b.hasAnchor = pair.has_anchor_point;
    b.isDashed = pair.is_dashed_line;
    if (editModeNone) b.hasIgnore = pair.has_ignore_icon;
    b.id = pair.dst_rect.rect_id;
    return b;
  };
  for (const auto& ref : control) {
    if (!ref || !ref->has_border) continue;
    const orlith::SelvoRoiPair& pair = *ref;
    BorderMode mode = pair.type == 2    ? BorderMode::speak
                      : pair.type == 1  ? BorderMode::tracking
                      : pair.type == 11 ? BorderMode::focus
                      : pair.type == 12 ? BorderMode::pip
                                        : BorderMode::normal;
    if (pair.has_ignore_icon) mode = BorderMode::ignore;
    const auto& r = pair.dst_rect.rect;
    result.push_back(outline(pair, mode, r.x, editModeNone));
    // Past the panorama's right edge it continues at 0.
    bool fixed = mode == BorderMode::focus || mode == BorderMode::pip;
    if (!fixed && r.x + r.width > panoramaWidth)
      result.push_back(outline(pair, mode, r.x - panoramaWidth, editModeNone));
  }
  return result;
}

}  // namespace corvane
