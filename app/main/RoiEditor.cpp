#include "main/RoiEditor.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "camera/AnalysisFacade.h"

namespace corvane {

namespace {

bool inBand(double v, double centre, double tolerance) {
  return centre - tolerance <= v && v <= centre + tolerance;
}

// The integer part, as a 64-bit value (a pan offset may pass 32 bits while it accumulates).
int64_t integerPart(double v) {
  if (!std::isfinite(v)) return 0;
  constexpr double limit = 9.0e18;
  return int64_t(std::clamp(v, -limit, limit));
}

}  // namespace

int32_t RoiEditor::toFrameInt(double v) {
  if (std::isnan(v)) return 0;
  constexpr double lo = std::numeric_limits<int32_t>::min();
  constexpr double hi = std::numeric_limits<int32_t>::max();
  return int32_t(std::clamp(std::trunc(v), lo, hi));
}

void RoiEditor::cursor(MouseState state) {
  if (setCursor) setCursor(state);
}

void RoiEditor::toolTip(const std::string& key) {
  if (setToolTip) setToolTip(key);
}

// ---- shared operations ----

RoiEditor::Hit RoiEditor::findRect(Point p) {
  Hit hit;
  if (modeWithoutRects() || !context.connected) return hit;
  std::shared_ptr<AnalysisFacade> manager = facade ? facade() : nullptr;
  if (!manager) return hit;
  hit.found = manager->FindRect(toFrameInt(p.x), toFrameInt(p.y), hit.isTrack, hit.isDetect,
                                hit.idx);
  if (!hit.found) hit = Hit{};
  return hit;
}

bool RoiEditor::isInFocusRect(Point p) const {
  bool fixedRectMode =
      context.displayMode == Display::focus || context.displayMode == Display::presentation;
  return fixedRectMode && focusOriRect.contains(p);
}

MouseState RoiEditor::hitTest(const Rect& r, Point p) const {
  double tx = 5 * context.widthMultiple, ty = 5 * context.heightMultiple;
  double frameWidth = context.frameWidth;
  bool left = inBand(p.x, r.x, tx);
  bool right = inBand(p.x, r.maxX(), tx);
  // A rectangle past the panorama's right end continues at its left end.
  bool wraps = frameWidth > 0 && r.x + r.width > frameWidth;
  if (wraps) right = right || inBand(p.x, r.width - (frameWidth - r.x), tx);
  bool top = inBand(p.y, r.y, ty);
  bool bottom = inBand(p.y, r.maxY(), ty);
  if (left) return bottom ? MouseState::dragLeftBottom : top ? MouseState::dragLeftTop
                                                             : MouseState::dragLeft;
  if (right) return bottom ? MouseState::dragRightBottom : top ? MouseState::dragRightTop
                                                               : MouseState::dragRight;
  if (bottom) return MouseState::dragBottom;
  if (top) return MouseState::dragTop;
  bool rows = r.y <= p.y && p.y <= r.maxY();
  bool inside = rows && r.x <= p.x && p.x <= r.maxX();
  bool inWrapped = wraps && rows && 0 <= p.x && p.x <= r.x + r.width - frameWidth;
  return inside || inWrapped ? MouseState::anyDrag : MouseState::none;
}

MouseState RoiEditor::onSelectedOutline(Point p) const {
  if (!isStartTransform || selectRectIdx < 0 || !context.drawNormalRect || modeWithoutRects())
    return MouseState::none;
  MouseState state = hitTest(selectOriRect, p);
  return state == MouseState::anyDrag ? MouseState::none : state;
}

void RoiEditor::selectRect(bool keep, int index) {
  selectRectIdx = index;
  isTrackedSelected = false;
  if (setSelectedRectId) setSelectedRectId(index);
  std::shared_ptr<AnalysisFacade> manager = facade ? facade() : nullptr;
  if (!keep) {
    isStartTransform = false;
    if (manager) manager->EndTransformRect();
  } else {
    isStartTransform = manager ? manager->StartTransformRect(isRectTrack, index) : false;
  }
}

void RoiEditor::updateSelectOriRect() {
  std::shared_ptr<AnalysisFacade> manager = facade ? facade() : nullptr;
  if (!manager) return;
  auto r = manager->GetTransformingRect();
  selectOriRect = {double(r.x), double(r.y), double(r.width), double(r.height)};
}

// ---- press ----

bool RoiEditor::selectFreshRect() {
  if (!freshRect || !context.connected) return false;
  // The facade takes a new rectangle in with its next frame: until then there is none to find.
  Hit hit = findRect(*freshRect);
  if (!hit.found || hit.isTrack || hit.isDetect) return false;
  freshRect.reset();
  isRectTrack = false;
  selectRect(false, -1);
  selectRect(true, hit.idx);
  updateSelectOriRect();
  return isStartTransform;
}

void RoiEditor::mouseDownOutside() {
  if (!context.connected) return;
  freshRect.reset();
  selectRect(false, -1);
  isStartFocusTransform = false;
}

void RoiEditor::mouseDown(Point p) {
  if (!context.connected) return;
  freshRect.reset();
  if (!startLocation) startLocation = p;
  if (!context.is360Camera && bannerIconArea && bannerIconArea->contains(p)) {
    isDragBanner = true;
    return;
  }
  if (MouseState handle = onSelectedOutline(p); handle != MouseState::none) {
    // Half of each handle lies outside the box, where the facade finds none: the press still
    // takes the selected box's edge or corner, not a new drawing.
    dragDirection = handle;
    cursor(handle);
    return;
  }
  Hit hit = findRect(p);
  bool inFocus = isInFocusRect(p);
  if (!hit.found && !inFocus) {
    cursor(MouseState::none);
    selectRect(false, -1);
    isStartFocusTransform = false;
    dragDirection = MouseState::none;
    return;
  }
  if (!hit.found) {
    isStartFocusTransform = true;
    dragDirection = hitTest(focusOriRect, p);
    cursor(dragDirection);
    if (dragDirection == MouseState::anyDrag) selectRect(false, -1);
    return;
  }
  if ((hit.isDetect && context.isAutoDetect) || hit.isTrack) {
    selectRect(false, -1);
    dragDirection = MouseState::noDraw;
    if (hit.isTrack) {
      // A tracked one follows its face and is not moved, but a click selects it for Delete.
      selectRectIdx = hit.idx;
      isRectTrack = true;
      isTrackedSelected = true;
      if (setSelectedRectId) setSelectedRectId(hit.idx);
    }
    return;
  }
  isRectTrack = false;
  if (hit.idx != selectRectIdx) {
    // The first click selects (and opens the transform, so the same press may drag it).
    cursor(MouseState::anyDrag);
    selectRect(false, -1);
    selectRect(true, hit.idx);
    updateSelectOriRect();
    dragDirection = hitTest(selectOriRect, p);
    return;
  }
  isStartTransform = true;
  dragDirection = hitTest(selectOriRect, p);
  cursor(dragDirection);
}

// ---- drag ----

std::optional<RoiEditor::Rect> RoiEditor::editedRoi(const Rect& r, double dx, double dy) const {
  double m = context.minRectSideLength;
  double x = r.x, y = r.y, w = r.width, h = r.height;
  auto moveTop = [&] {
    y = r.y - dy;
    if (y + m > r.maxY()) y = r.maxY() - m;
  };
  auto moveLeft = [&] {
    x = r.x - dx;
    if (x + m > r.maxX()) x = r.maxX() - m;
  };
  switch (dragDirection) {
    case MouseState::anyDrag:
      x = r.x - dx;
      y = r.y - dy;
      break;
    case MouseState::dragTop:
      moveTop();
      h = r.height + dy;
      break;
    case MouseState::dragBottom:
      h = std::max(m, r.height - dy);
      break;
    case MouseState::dragLeft:
      moveLeft();
      w = r.width + dx;
      break;
    case MouseState::dragRight:
      w = std::max(m, r.width - dx);
      break;
    case MouseState::dragLeftTop:
      moveLeft();
      moveTop();
      w = r.width + dx;
      h = r.height + dy;
      break;
    case MouseState::dragLeftBottom:
      moveLeft();
      w = r.width + dx;
      h = std::max(m, r.height - dy);
      break;
    case MouseState::dragRightTop:
      moveTop();
      w = std::max(m, r.width - dx);
      h = r.height + dy;
      break;
    case MouseState::dragRightBottom:
      w = std::max(m, r.width - dx);
      h = std::max(m, r.height - dy);
      break;
    default:
      break;
  }
  return Rect{x, y, std::max(m, w), std::max(m, h)};
}

std::optional<RoiEditor::Rect> RoiEditor::editedFocus(const Rect& r, double dx, double dy) const {
  double m = context.minRectSideLength;
  double a = context.focusRectAspectRatio;
  double x = r.x, y = r.y, w = r.width, h = r.height;
  // Height from width, never below the minimum side.
  auto fromWidth = [&](double width) {
    w = width;
    h = a * w;
    if (h < m) {
      w = m / a;
      h = m;
    }
  };
  auto fromHeight = [&](double height) {
    h = std::max(m, height);
    w = h / a;
    x = r.x - (w - r.width) / 2;
  };
  MouseState state = dragDirection;
  bool resizes = state != MouseState::anyDrag && state != MouseState::anyMove &&
                 state != MouseState::hMove;
  // A resize keeps the aspect ratio, which must be usable.
  if (resizes && !(a > 0)) return std::nullopt;
  switch (state) {
    case MouseState::anyDrag:
      x = r.x - dx;
      y = r.y - dy;
      break;
    case MouseState::dragTop:
      fromHeight(r.height + dy);
      y = r.maxY() - h;
      break;
    case MouseState::dragBottom:
      fromHeight(r.height - dy);
      y = r.y;
      break;
    case MouseState::dragLeft:
      fromWidth(r.width + dx);
      x = r.maxX() - w;
      y = r.y - (h - r.height) / 2;
      break;
    case MouseState::dragRight:
      fromWidth(r.width - dx);
      x = r.x;
      y = r.y - (h - r.height) / 2;
      break;
    case MouseState::dragLeftTop:
      fromWidth(r.width + dx);
      x = r.maxX() - w;
      y = r.maxY() - h;
      break;
    case MouseState::dragLeftBottom:
      fromWidth(r.width + dx);
      x = r.maxX() - w;
      y = r.y;
      break;
    case MouseState::dragRightTop:
      fromWidth(r.width - dx);
      x = r.x;
      y = r.maxY() - h;
      break;
    case MouseState::dragRightBottom:
      fromWidth(r.width - dx);
      x = r.x;
      y = r.y;
      break;
    default:
      break;
  }
  // Each value on its own into the frame.
  double fw = context.frameWidth, fh = context.frameHeight;
  return Rect{std::clamp(x, 0.0, fw), std::clamp(y, 0.0, fh), std::clamp(w, 0.0, fw),
              std::clamp(h, 0.0, fh)};
}

void RoiEditor::mouseDragged(Point c) {
  if (!context.connected) return;
  std::shared_ptr<AnalysisFacade> manager = facade ? facade() : nullptr;
  if (!manager) return;
  const std::optional<Point> s = startLocation;
  double dx = s ? s->x - c.x : 0, dy = s ? s->y - c.y : 0;
  int64_t width = context.frameWidth;

  if (context.editMode == EditMode::fov) {
    // A pan is meaningful only once the frame width is known.
    if (!s || !context.is360Camera || width <= 0) return;
    int64_t d = integerPart(dx + double(tempEditOffset));
    int64_t offset = context.mirror ? context.editOffsetDatumPoint - d
                                    : context.editOffsetDatumPoint + d;
    offset %= width;
    if (offset < 0) offset += width;
    manager->setContentOffset(int(offset));
    cursor(MouseState::hMove);
    return;
  }
  if (isDragBanner) {
    if (!s || context.is360Camera || width <= 0 || !(context.bannerAspectRatio > 0)) return;
    double bannerHeight = double(width) / context.bannerAspectRatio;
    double y = bannerPositionY - dy;
    if (y < 0)
      y = 0;
    else if (y + bannerHeight > context.frameHeight)
      y = context.frameHeight - bannerHeight;
    // The band lies on whole rows: what is kept is the row it was put on.
    const int32_t top = toFrameInt(y);
    manager->SetHeightOffsetFor180Video(top);
    if (storeBannerPositionY) storeBannerPositionY(top);
    return;
  }
  if (dragDirection == MouseState::none) {
    if (modeWithoutRects() || !s) return;
    manager->SetTempRect(toFrameInt(s->x), toFrameInt(s->y), toFrameInt(c.x), toFrameInt(c.y));
    return;
  }
  if (dragDirection == MouseState::noDraw || !s) return;
  // Every event starts again from the rectangle as it was at the press.
  if (isStartTransform) {
    if (auto r = editedRoi(selectOriRect, dx, dy))
      manager->SetTransformingRect(toFrameInt(r->x), toFrameInt(r->y), toFrameInt(r->width),
                                   toFrameInt(r->height));
  } else if (isStartFocusTransform) {
    if (auto r = editedFocus(focusOriRect, dx, dy)) {
      manager->SetFocusModeManualRect(toFrameInt(r->x), toFrameInt(r->y), toFrameInt(r->width),
                                      toFrameInt(r->height));
      if (saveFocusRect) saveFocusRect(*r);
    }
  }
}

// ---- release and exit ----

void RoiEditor::mouseUp(Point c) {
  if (!context.connected) return;
  release(c);
}

void RoiEditor::mouseExited(Point c) {
  if (!context.connected) return;
  release(c);
}

void RoiEditor::release(Point c) {
  const std::optional<Point> s = startLocation;
  if (context.editMode == EditMode::fov) {
    if (s) tempEditOffset += integerPart(s->x - c.x);
    cursor(MouseState::none);
  } else if (isDragBanner) {
    isDragBanner = false;
    if (updateBannerIconArea) updateBannerIconArea();
  } else if (!isStartTransform && !isStartFocusTransform && s) {
    std::shared_ptr<AnalysisFacade> manager = facade ? facade() : nullptr;
    if (manager && dragDirection != MouseState::noDraw && !modeWithoutRects()) {
      double limit = context.editMode == EditMode::ignore ? 50 : 10;
      double distance = std::hypot(s->x - c.x, s->y - c.y);
      if (distance <= limit)
        manager->SetTempRect(0, 0, 0, 0);
      else if (!manager->AddNewRect(toFrameInt(s->x), toFrameInt(s->y), toFrameInt(c.x),
                                    toFrameInt(c.y))) {
        // The panorama holds as many outlines as it can draw: the drag is told, not lost.
        manager->SetTempRect(0, 0, 0, 0);
        // The ignore-area editor deletes ignore areas only: its note says where a box goes.
        if (addRefused)
          addRefused(context.editMode == EditMode::ignore ? "tips_ignore_limit_reached"
                                                          : "tips_roi_limit_reached");
        distance = 0;
      }
      // The ROI just drawn is the one the arrow keys move (an ignore area is not moved).
      if (distance > limit && context.editMode == EditMode::none)
        freshRect = Point{(s->x + c.x) / 2, (s->y + c.y) / 2};
    }
  } else {
    // A transform keeps its result and stays open in the facade.
    dragDirection = MouseState::none;
    if (updateFocusRect) updateFocusRect();
    updateSelectOriRect();
  }
  startLocation.reset();
  if (context.displayMode == Display::focus || context.displayMode == Display::presentation)
    isStartFocusTransform = true;
}

// ---- hover ----

void RoiEditor::mouseMoved(Point p) {
  if (!context.connected || context.editMode == EditMode::fov) return;
  if (!context.is360Camera && bannerIconArea && bannerIconArea->contains(p)) {
    cursor(MouseState::anyMove);
    return;
  }
  if (MouseState handle = onSelectedOutline(p); handle != MouseState::none) {
    if (setHoveringRectId) setHoveringRectId(selectRectIdx);
    toolTip("");
    cursor(handle);
    return;
  }
  Hit hit = findRect(p);
  bool inFocus = isInFocusRect(p);
  if (setHoveringRectId) setHoveringRectId(hit.idx);
  if (!hit.found && !inFocus) {
    toolTip("");
    cursor(MouseState::none);
    return;
  }
  if (inFocus) {
    MouseState state = hitTest(focusOriRect, p);
    cursor(state == MouseState::none ? MouseState::anyDrag : state);
    if (context.displayMode == Display::presentation || context.displayMode == Display::focus)
      toolTip("fixed_rect_hint");
    return;
  }
  bool detectedUnderAuto = hit.isDetect && context.isAutoDetect;
  if (hit.isTrack) {
    if (!context.drawTrackingRect) cursor(MouseState::none);
  } else if (!context.drawNormalRect) {
    cursor(MouseState::none);
  } else if (hit.idx == selectRectIdx) {
    MouseState state = hitTest(selectOriRect, p);
    cursor(state == MouseState::none ? MouseState::anyDrag : state);
  } else {
    cursor(detectedUnderAuto ? MouseState::none : MouseState::anyMove);
  }
  toolTip(detectedUnderAuto ? "tips_detected_rect" : "");
}

// ---- context menu ----

std::vector<RoiEditor::MenuItem> RoiEditor::menuItems(const MenuChoice& c) {
  using I = MenuItem;
  bool fit = c.displayMode == Display::bodyFit || c.displayMode == Display::audioFit;
  bool ignoreEditing = c.editMode == EditMode::ignore;
  auto emptyPreview = [&]() -> std::vector<I> {
    if (c.enableNewDetectLayout) return {I::detectOnce, I::autoTrack, I::removeAllSecond};
    return {I::detectBody, I::removeAllFirst};
  };
  auto rectItems = [&]() -> std::vector<I> {
    if (fit) return {I::track, I::deleteRect, I::protectArea};
    return {I::track, I::pin, I::deleteRect, I::protectArea};
  };
  const Hit& h = c.hit;
  if (!h.found) return ignoreEditing ? std::vector<I>{I::removeAllSecond} : emptyPreview();
  if (!h.isDetect) {
    if (ignoreEditing) return {I::deleteRect};
    bool drawn = h.isTrack ? c.drawTrackingRect : c.drawNormalRect;
    return drawn ? rectItems() : emptyPreview();
  }
  if (h.isTrack && c.isAutoTracking) {
    if (fit) return {};
    return {I::pin, I::protectArea};
  }
  return rectItems();
}

std::optional<RoiEditor::MenuTarget> RoiEditor::rightMouseDown(Point p) {
  if (!context.connected || modeWithoutRects()) return std::nullopt;
  MenuTarget target;
  target.hit = findRect(p);
  const Hit& hit = target.hit;
  if (std::shared_ptr<AnalysisFacade> manager = facade ? facade() : nullptr)
    target.pinned = manager->IsRectPinned(hit.idx);
  bool blocked = hit.isTrack || (hit.isDetect && context.isAutoDetect);
  if (!hit.found || blocked) {
    selectRect(false, -1);
  } else if (hit.idx == selectRectIdx) {
    // Its transform is open again; one still open stays so (the facade opens one at a time).
    if (!isStartTransform) selectRect(true, hit.idx);
  } else {
    cursor(MouseState::anyDrag);
    selectRect(false, -1);
    selectRect(true, hit.idx);
    updateSelectOriRect();
  }
  // The actions address the clicked rectangle even when it cannot be edited.
  if (hit.found) {
    isRectTrack = hit.isTrack;
    selectRectIdx = hit.idx;
  }
  return target;
}

void RoiEditor::menuTrack() {
  if (auto manager = facade ? facade() : nullptr)
    manager->ChangeRectTracked(isRectTrack, selectRectIdx);
  selectRect(false, -1);
}

void RoiEditor::menuPin() {
  if (auto manager = facade ? facade() : nullptr) manager->PinRect(selectRectIdx);
}

std::optional<RoiEditor::Rect> RoiEditor::menuDelete() {
  auto manager = facade ? facade() : nullptr;
  if (!manager) return std::nullopt;
  std::optional<Rect> removedArea;
  if (context.editMode == EditMode::ignore) {
    auto r = manager->GetIgnoreRectById(selectRectIdx);
    removedArea = Rect{double(r.x), double(r.y), double(r.width), double(r.height)};
  }
  manager->RemoveRect(isRectTrack, selectRectIdx);
  return removedArea;
}

void RoiEditor::menuTransform() {
  auto manager = facade ? facade() : nullptr;
  isStartTransform = manager ? manager->StartTransformRect(isRectTrack, selectRectIdx) : false;
}

void RoiEditor::addProtectArea() {
  auto manager = facade ? facade() : nullptr;
  if (!manager) return;
  auto r = manager->GetDisplayRect(selectRectIdx);
  double x = r.x, y = r.y, w = r.width, h = r.height;
  manager->AddIgnoreNewRect(toFrameInt(x - 0.05 * w), toFrameInt(y - 0.05 * h),
                            toFrameInt((x + w) + 0.05 * w), toFrameInt((y + h) + 0.05 * h));
  manager->EndIgnoreAreaEditing(true);
}

}  // namespace corvane
