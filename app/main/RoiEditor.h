#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "camera/Display.h"
#include "controlboard/EditMode.h"
#include "main/MouseState.h"

namespace corvane {

class AnalysisFacade;

// The gesture state of mouse editing on the preview and the selection steps of its context
// menu. It takes frame points (camera pixels, y downwards) and the state it reads at each
// event, sends the edits to the analysis facade and says which cursor and tool tip the
// preview shows. The facade keeps the rectangles; this keeps only the gesture. No Qt.
class RoiEditor {
 public:
  struct Point {
    double x = 0, y = 0;
    bool operator==(const Point&) const = default;
  };
  struct Rect {
    double x = 0, y = 0, width = 0, height = 0;
    double maxX() const { return x + width; }
    double maxY() const { return y + height; }
    bool contains(Point p) const { return p.x >= x && p.x < maxX() && p.y >= y && p.y < maxY(); }
    bool operator==(const Rect&) const = default;
  };

  // What the editor reads of the camera, the board and the settings; the window fills it
  // before each event.
  struct Context {
    bool connected = false;
    Display displayMode = Display::compose;
    EditMode editMode = EditMode::none;
    bool mirror = false;
    bool isAutoDetect = false;
    bool drawNormalRect = true, drawTrackingRect = true;
    bool is360Camera = true;
    int frameWidth = 0, frameHeight = 0;
    double focusRectAspectRatio = 0.5625;
    double bannerAspectRatio = 6.0;
    int64_t editOffsetDatumPoint = 0;
    int minRectSideLength = 0;
    // Frame pixels per view point.
    double widthMultiple = 1.0, heightMultiple = 1.0;
  };

  // What the facade says lies under a point; idx -1 when nothing does.
  struct Hit {
    bool found = false, isTrack = false, isDetect = false;
    int idx = -1;
    bool operator==(const Hit&) const = default;
  };

  // The items of the context menu, in the order they are made.
  enum class MenuItem {
    track,
    pin,
    deleteRect,
    detectBody,
    removeAllFirst,
    detectOnce,
    autoTrack,
    removeAllSecond,
    protectArea
  };
  // What the menu's item choice depends on.
  struct MenuChoice {
    Hit hit;
    EditMode editMode = EditMode::none;
    Display displayMode = Display::compose;
    bool drawNormalRect = true, drawTrackingRect = true;
    bool isAutoTracking = false;
    bool enableNewDetectLayout = false;
  };
  // The items put into the menu, in order.
  static std::vector<MenuItem> menuItems(const MenuChoice& choice);

  // ---- the window's side ----
  Context context;
  // The facade (made when there is none); none: no edit is sent.
  std::function<std::shared_ptr<AnalysisFacade>()> facade;
  // The overlay's selected and hovered rectangle ids.
  std::function<void(int64_t)> setSelectedRectId, setHoveringRectId;
  // The cursor of a state (see MouseState), and the preview's tool tip ("" removes it).
  std::function<void(MouseState)> setCursor;
  std::function<void(const std::string& key)> setToolTip;
  // Reads the focus rectangle back into `focusOriRect`; reads the banner's icon back into
  // `bannerIconArea` and `bannerPositionY`.
  std::function<void()> updateFocusRect, updateBannerIconArea;
  // Keeps an edited focus rectangle in the settings.
  std::function<void(const Rect&)> saveFocusRect;
  // A drawn box (or ignore area) the facade refused: the panorama has no room for one more. The
  // key of the note that says so and what makes room where the drawing was.
  std::function<void(const std::string& noteKey)> addRefused;
  // Stores the banner's new top in the camera's state.
  std::function<void(double)> storeBannerPositionY;

  // ---- gesture state ----
  std::optional<Point> startLocation;
  MouseState dragDirection = MouseState::none;
  int selectRectIdx = -1;
  bool isRectTrack = false;
  bool isStartTransform = false;
  // A tracked rectangle chosen by a click: selected (the keys delete it) but never transformed.
  bool isTrackedSelected = false;
  bool isStartFocusTransform = false;
  bool isDragBanner = false;
  Rect selectOriRect, focusOriRect;
  std::optional<Rect> bannerIconArea;
  double bannerPositionY = 0;
  int64_t tempEditOffset = 0;
  // The centre of the ROI drawn last, until it is selected or another press comes.
  std::optional<Point> freshRect;

  // ---- the handlers (each does nothing unless the camera is connected) ----
  // A left press inside the preview at frame point p.
  void mouseDown(Point p);
  // A left press in the window outside the preview.
  void mouseDownOutside();
  // A drag inside the preview.
  void mouseDragged(Point c);
  // A release inside the preview.
  void mouseUp(Point c);
  // The pointer left the preview (or a drag left it): the release steps without the inside
  // test.
  void mouseExited(Point c);
  // A move without a button inside the preview of the main window.
  void mouseMoved(Point p);

  // ---- operations the handlers and the menu share ----
  Hit findRect(Point p);
  bool isInFocusRect(Point p) const;
  MouseState hitTest(const Rect& rect, Point p) const;
  void selectRect(bool keep, int index);
  // Selects the ROI drawn last and opens its transform, once the facade has taken it in; true
  // when a transform is open then.
  bool selectFreshRect();
  void updateSelectOriRect();

  // ---- the context menu ----
  // The selection steps of a right click inside the preview; what lies under the point and
  // whether it is pinned. None when no menu opens (disconnected, focus or top-down mode).
  struct MenuTarget {
    Hit hit;
    bool pinned = false;
  };
  std::optional<MenuTarget> rightMouseDown(Point p);
  void menuTrack();
  void menuPin();
  // Removes the selected rectangle; in ignore-area editing first returns the area removed.
  std::optional<Rect> menuDelete();
  void menuTransform();
  // Adds the selected rectangle's display rectangle, grown by 5 % a side, as a kept ignore
  // area (the caller then refreshes the edit mode and deletes the rectangle).
  void addProtectArea();

  // A frame coordinate as the facade takes it: truncated toward zero to 32 bits.
  static int32_t toFrameInt(double v);

 private:
  void release(Point c);
  // The edge or corner of the selected box with an open transform under p (its handles reach
  // past the outline); none elsewhere, inside included.
  MouseState onSelectedOutline(Point p) const;
  std::optional<Rect> editedRoi(const Rect& r, double dx, double dy) const;
  std::optional<Rect> editedFocus(const Rect& r, double dx, double dy) const;
  void cursor(MouseState state);
  void toolTip(const std::string& key);
  bool modeWithoutRects() const {
    return context.displayMode == Display::focus || context.displayMode == Display::topDown;
  }
};

}  // namespace corvane
