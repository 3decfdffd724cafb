#include "render/LayoutRoiPair.h"

#include "SelvoRoiPair.h"

namespace corvane {

namespace {

LayoutRect rectOf(const orlith::SelvoRect& r) {
  return LayoutRect{r.rect.x, r.rect.y, r.rect.width, r.rect.height, r.rect_id};
}

}  // namespace

LayoutRoiPair LayoutRoiPair::from(const orlith::SelvoRoiPair& pair) {
  LayoutRoiPair p;
  p.src_rect = rectOf(pair.src_rect);
  p.dst_rect = rectOf(pair.dst_rect);
  p.scale = pair.scale;
  p.type = pair.type;
  p.roi_id = pair.roi_id;
  p.edge_config = pair.edge_config;
  p.has_border = pair.has_border;
  p.isThumbnail = pair.isThumbnail;
  p.has_nametag = pair.has_nametag;
  return p;
}

}  // namespace corvane
