#include "RoiPairConversion.h"

namespace orlith {

using namespace selvo;

namespace {

SelvoRect toSelvoRect(const rect& r) {
  SelvoRect s;
  s.rect = DoubleRect{r.x, r.y, r.width, r.height};
  s.rect_id = r.id;
  return s;
}

bool any(unsigned flags, unsigned bits) { return (flags & bits) != 0; }

}  // namespace

std::string RoiPairConversion::companyOf(const PersonInfo& person) {
  return person.company.empty() ? "Company" : person.company;
}

std::string RoiPairConversion::titleOf(const PersonInfo& person) {
  return person.title.empty() ? "Title" : person.title;
}

SelvoRoiPair RoiPairConversion::convert(const roi_pair& record, bool mainLayout,
                                        const TagPairs& tags) {
  SelvoRoiPair pair;
  pair.src_rect = toSelvoRect(record.src);
  pair.dst_rect = toSelvoRect(record.dst);
  unsigned icons = record.icon_flags;
  if (mainLayout) {
    if (any(icons, ROI_ICON_NAMETAG_OUTSIDE_NORMAL | ROI_ICON_NAMETAG_INSIDE_NORMAL)) {
      pair.type = 0;
    } else if (any(icons, ROI_ICON_NAMETAG_OUTSIDE_TRACK | ROI_ICON_NAMETAG_INSIDE_TRACK)) {
      pair.type = 1;
    } else if (any(icons, ROI_ICON_NAMETAG_OUTSIDE_SPEAK | ROI_ICON_NAMETAG_INSIDE_SPEAK)) {
      pair.type = 2;
    } else {
      pair.type = -1;
    }
  } else {
    pair.type = record.subwindow_type;
  }
  pair.scale = record.scale;
  pair.is_dashed_line = record.is_dashed_line;
  unsigned edges = record.edge_flags;
  pair.edge_config = {any(edges, ROI_EDGE_TOP) ? 1 : 0, any(edges, ROI_EDGE_BOTTOM) ? 1 : 0,
                      any(edges, ROI_EDGE_LEFT) ? 1 : 0, any(edges, ROI_EDGE_RIGHT) ? 1 : 0};
  pair.roi_id = record.src.id == -1 ? record.dst.id : record.src.id;
  for (const auto& [rectId, person] : tags) {
    if (rectId != pair.roi_id) continue;
    pair.name = person.name;
    pair.company = companyOf(person);
    pair.title = titleOf(person);
  }
  const unsigned outside = ROI_ICON_NAMETAG_OUTSIDE_NORMAL | ROI_ICON_NAMETAG_OUTSIDE_TRACK |
                           ROI_ICON_NAMETAG_OUTSIDE_SPEAK;
  const unsigned inside = ROI_ICON_NAMETAG_INSIDE_NORMAL | ROI_ICON_NAMETAG_INSIDE_TRACK |
                          ROI_ICON_NAMETAG_INSIDE_SPEAK;
  pair.has_border = any(edges, 0xFu);
  pair.has_pin_icon = any(icons, ROI_ICON_PIN);
  pair.has_voice_indicator_icon = any(icons, ROI_ICON_VOICE_INDICATOR);
  pair.has_anchor_point = any(icons, ROI_ICON_ANCHOR_POINT);
  pair.has_banner_drag_icon = any(icons, ROI_ICON_BANNER_DRAG_0 | ROI_ICON_BANNER_DRAG_1);
  pair.has_ignore_icon = any(icons, ROI_ICON_IGNORE);
  pair.has_nametag = any(icons, inside | outside);
  pair.has_nametag_inside = any(icons, inside);
  pair.has_nametag_outside = any(icons, outside);
  return pair;
}

}  // namespace orlith
