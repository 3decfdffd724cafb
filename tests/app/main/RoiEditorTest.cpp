#include "main/RoiEditor.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "RecordingAnalysisFacade.h"

using corvane::Display;
using corvane::EditMode;
using corvane::MouseState;
using corvane::RoiEditor;
using Hit = testsupport::RecordingAnalysisFacade::Hit;
using Rect = RoiEditor::Rect;
using Point = RoiEditor::Point;

namespace {

// The editor on a recording facade over a connected 360-degree 3840 x 1080 camera, one view
// point to two frame pixels; what it asks of the window is recorded too.
class RoiEditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    facade = std::make_shared<testsupport::RecordingAnalysisFacade>();
    editor.facade = [this] { return facade; };
    editor.context.connected = true;
    editor.context.frameWidth = 3840;
    editor.context.frameHeight = 1080;
    editor.context.widthMultiple = 2;
    editor.context.heightMultiple = 2;
    editor.context.minRectSideLength = 100;
    editor.setCursor = [this](MouseState s) { cursors.push_back(s); };
    editor.setToolTip = [this](const std::string& key) { tips.push_back(key); };
    editor.setSelectedRectId = [this](int64_t id) { selected.push_back(id); };
    editor.setHoveringRectId = [this](int64_t id) { hovering.push_back(id); };
    editor.updateFocusRect = [this] { ++focusReads; };
    editor.updateBannerIconArea = [this] { ++bannerReads; };
    editor.saveFocusRect = [this](const Rect& r) { savedFocus.push_back(r); };
    editor.storeBannerPositionY = [this](double y) { storedBanner.push_back(y); };
  }

  // Rectangles the facade knows: (id, rect, tracked, detected); the last added wins a hit.
  struct Known {
    int id;
    Rect rect;
    bool track = false, detect = false;
  };
  void know(std::vector<Known> rects) {
    facade->findRect = [rects](int x, int y) {
      for (auto it = rects.rbegin(); it != rects.rend(); ++it)
        if (it->rect.x <= x && x <= it->rect.maxX() && it->rect.y <= y && y <= it->rect.maxY())
          return Hit{true, it->track, it->detect, it->id};
      return Hit{};
    };
  }

  std::vector<std::string> calls(const std::string& prefix) {
    return facade->callsStartingWith(prefix);
  }

  std::shared_ptr<testsupport::RecordingAnalysisFacade> facade;
  RoiEditor editor;
  std::vector<MouseState> cursors;
  std::vector<std::string> tips;
  std::vector<int64_t> selected, hovering;
  int focusReads = 0, bannerReads = 0;
  std::vector<Rect> savedFocus;
  std::vector<double> storedBanner;
};

using S = MouseState;

}  // namespace

TEST_F(RoiEditorTest, HitTestBandsOrderAndTheWrappedRightEdge) {
  // Bands of 5 view points = 10 frame pixels around the edges of (1000, 200, 400, 300).
  Rect r{1000, 200, 400, 300};
  struct Row {
    Point p;
    MouseState state;
  } rows[] = {
      {{990, 190}, S::dragLeftTop},      {{1010, 510}, S::dragLeftBottom},
      {{1005, 300}, S::dragLeft},        {{1410, 190}, S::dragRightTop},
      {{1390, 500}, S::dragRightBottom}, {{1400, 350}, S::dragRight},
      {{1200, 195}, S::dragTop},         {{1200, 505}, S::dragBottom},
      {{1200, 350}, S::anyDrag},         {{989, 350}, S::none},
      {{1200, 511}, S::none},
  };
  for (const auto& row : rows)
    EXPECT_EQ(editor.hitTest(r, row.p), row.state) << row.p.x << "," << row.p.y;
  // On a small rectangle the bands overlap: left before right, bottom before top.
  EXPECT_EQ(editor.hitTest({0, 0, 15, 15}, {5, 5}), S::dragLeftBottom);

  // Past the panorama's right end: the wrapped right edge lies at 3700 + 400 - 3840 = 260.
  Rect wrapping{3700, 200, 400, 300};
  EXPECT_EQ(editor.hitTest(wrapping, {265, 350}), S::dragRight);
  EXPECT_EQ(editor.hitTest(wrapping, {255, 205}), S::dragRightTop);
  EXPECT_EQ(editor.hitTest(wrapping, {100, 350}), S::anyDrag);
  EXPECT_EQ(editor.hitTest(wrapping, {271, 350}), S::none);
  // Not wrapping: nothing near -100 or the would-be wrapped edge matches.
  EXPECT_EQ(editor.hitTest(r, {-100, 350}), S::none);
  // Without a frame width nothing wraps.
  editor.context.frameWidth = 0;
  EXPECT_EQ(editor.hitTest(wrapping, {100, 350}), S::none);
}

TEST_F(RoiEditorTest, PressSteps) {
  know({{7, {1000, 200, 400, 300}}, {8, {2000, 200, 400, 300}, true},
        {9, {3000, 200, 400, 300}, false, true}});
  facade->transformingRect = {1000, 200, 400, 300};

  // Empty space: arrow, nothing selected, the drag will draw.
  editor.mouseDown({500, 500});
  EXPECT_EQ(editor.startLocation, (Point{500, 500}));
  EXPECT_EQ(editor.dragDirection, S::none);
  EXPECT_EQ(cursors, std::vector<S>{S::none});
  EXPECT_EQ(calls("EndTransformRect").size(), 1u);
  editor.mouseUp({505, 505});

  // First click on an editable ROI selects it with the grab hand and opens its transform.
  cursors.clear();
  facade->clearCalls();
  editor.mouseDown({1200, 350});
  EXPECT_EQ(cursors, std::vector<S>{S::anyDrag});
  EXPECT_EQ(editor.selectRectIdx, 7);
  EXPECT_EQ(selected, (std::vector<int64_t>{-1, -1, 7}));
  EXPECT_EQ(calls("StartTransformRect"), std::vector<std::string>{"StartTransformRect 0 7"});
  EXPECT_TRUE(editor.isStartTransform);
  EXPECT_EQ(editor.selectOriRect, (Rect{1000, 200, 400, 300}));
  EXPECT_EQ(editor.dragDirection, S::anyDrag);
  editor.mouseUp({1200, 350});

  // Second press on it edits: the state's cursor.
  cursors.clear();
  facade->clearCalls();
  editor.mouseDown({1400, 350});
  EXPECT_EQ(editor.dragDirection, S::dragRight);
  EXPECT_EQ(cursors, std::vector<S>{S::dragRight});
  EXPECT_TRUE(calls("StartTransformRect").empty());
  editor.mouseUp({1400, 350});

  // A tracked rectangle: not dragged, but selected for the keys' Delete (no transform); a
  // detected one while auto-detection is on: blocked.
  selected.clear();
  editor.mouseDown({2100, 300});
  EXPECT_EQ(editor.dragDirection, S::noDraw);
  EXPECT_EQ(editor.selectRectIdx, 8);
  EXPECT_TRUE(editor.isRectTrack);
  EXPECT_TRUE(editor.isTrackedSelected);
  EXPECT_EQ(selected, (std::vector<int64_t>{-1, 8}));
  EXPECT_FALSE(editor.isStartTransform);
  editor.mouseUp({2300, 300});
  EXPECT_TRUE(calls("AddNewRect").empty());
  EXPECT_TRUE(calls("SetTransformingRect").empty());
  editor.context.isAutoDetect = true;
  editor.mouseDown({3100, 300});
  EXPECT_EQ(editor.dragDirection, S::noDraw);
  EXPECT_EQ(editor.selectRectIdx, -1);
  EXPECT_FALSE(editor.isTrackedSelected);
  editor.mouseUp({3100, 300});
  // Detected without auto-detection: editable.
  editor.context.isAutoDetect = false;
  editor.mouseDown({3100, 300});
  EXPECT_EQ(editor.selectRectIdx, 9);
  editor.mouseUp({3100, 300});

  // A press outside the preview deselects.
  editor.mouseDownOutside();
  EXPECT_EQ(editor.selectRectIdx, -1);
  EXPECT_FALSE(editor.isStartFocusTransform);

  // The banner of a 180-degree camera.
  editor.context.is360Camera = false;
  editor.bannerIconArea = Rect{10, 400, 32, 40};
  editor.mouseDown({20, 410});
  EXPECT_TRUE(editor.isDragBanner);

  // Disconnected: nothing.
  RoiEditor idle;
  idle.facade = [this] { return facade; };
  facade->clearCalls();
  idle.mouseDown({1200, 350});
  EXPECT_FALSE(idle.startLocation);
  EXPECT_TRUE(facade->calls().empty());
}

// A selected box's handles are drawn centred on its outline, so a press on one lands outside
// the box as often as inside, and at a corner mostly outside, where the facade finds no box:
// every handle still resizes the box, from the press on, and draws nothing new.
TEST_F(RoiEditorTest, EveryHandleOfTheSelectedBoxResizesItFromOutsideItsOutline) {
  know({{7, {1000, 200, 400, 300}}});
  facade->transformingRect = {1000, 200, 400, 300};
  editor.mouseDown({1200, 350});  // selects it and opens its transform
  editor.mouseUp({1200, 350});
  ASSERT_TRUE(editor.isStartTransform);
  // Each handle pressed 4 frame pixels (2 view points) outside the outline, dragged 20 out.
  struct Row {
    Point press;
    MouseState state;
    Point to;
    std::string sent;
  } rows[] = {
      {{996, 196}, S::dragLeftTop, {976, 176}, "SetTransformingRect 980 180 420 320"},
      {{1404, 196}, S::dragRightTop, {1424, 176}, "SetTransformingRect 1000 180 420 320"},
      {{996, 504}, S::dragLeftBottom, {976, 524}, "SetTransformingRect 980 200 420 320"},
      {{1404, 504}, S::dragRightBottom, {1424, 524}, "SetTransformingRect 1000 200 420 320"},
      {{1200, 196}, S::dragTop, {1200, 176}, "SetTransformingRect 1000 180 400 320"},
      {{1200, 504}, S::dragBottom, {1200, 524}, "SetTransformingRect 1000 200 400 320"},
      {{996, 350}, S::dragLeft, {976, 350}, "SetTransformingRect 980 200 420 300"},
      {{1404, 350}, S::dragRight, {1424, 350}, "SetTransformingRect 1000 200 420 300"},
  };
  auto reset = [this] {
    facade->transformingRect = {1000, 200, 400, 300};
    editor.selectOriRect = {1000, 200, 400, 300};
  };
  for (const auto& row : rows) {
    reset();
    facade->clearCalls();
    cursors.clear();
    editor.mouseDown(row.press);
    EXPECT_EQ(editor.dragDirection, row.state) << row.press.x << "," << row.press.y;
    EXPECT_EQ(cursors, std::vector<S>{row.state});
    EXPECT_EQ(editor.selectRectIdx, 7);
    editor.mouseDragged(row.to);
    EXPECT_EQ(calls("SetTransformingRect"), std::vector<std::string>{row.sent});
    editor.mouseUp(row.to);
    EXPECT_TRUE(calls("AddNewRect").empty());
    EXPECT_TRUE(calls("SetTempRect").empty());
    EXPECT_TRUE(calls("EndTransformRect").empty());
  }
  // Hovering there shows the handle's cursor, not the arrow.
  reset();
  cursors.clear();
  editor.mouseMoved({1404, 504});
  EXPECT_EQ(cursors, std::vector<S>{S::dragRightBottom});
  // Beyond the handles' reach a press is on empty space again: a new drawing.
  editor.mouseDown({1420, 520});
  EXPECT_EQ(editor.dragDirection, S::none);
  EXPECT_EQ(editor.selectRectIdx, -1);
  editor.mouseUp({1420, 520});
  // With no transform open (nothing selected) the same place draws.
  editor.mouseDown({1404, 504});
  EXPECT_EQ(editor.dragDirection, S::none);
}

TEST_F(RoiEditorTest, FocusRectanglePressAndFocusAndTopDownFindNothing) {
  know({{7, {1000, 200, 400, 300}}});
  editor.focusOriRect = {900, 100, 800, 450};
  editor.context.displayMode = Display::focus;
  facade->clearCalls();
  editor.mouseDown({1200, 300});
  // No hit test is asked in focus mode; the fixed rectangle is edited.
  EXPECT_TRUE(calls("FindRect").empty());
  EXPECT_TRUE(editor.isStartFocusTransform);
  EXPECT_EQ(editor.dragDirection, S::anyDrag);
  EXPECT_EQ(calls("EndTransformRect").size(), 1u);
  editor.mouseUp({1200, 300});
  EXPECT_TRUE(editor.isStartFocusTransform);  // left set in focus mode

  editor.context.displayMode = Display::topDown;
  EXPECT_EQ(editor.findRect({1200, 300}), RoiEditor::Hit{});
  // Top-down: nothing drawn either.
  editor.isStartFocusTransform = false;
  editor.mouseDown({100, 100});
  editor.mouseDragged({300, 300});
  editor.mouseUp({300, 300});
  EXPECT_TRUE(calls("SetTempRect").empty());
  EXPECT_TRUE(calls("AddNewRect").empty());
}

TEST_F(RoiEditorTest, RoiEditTable) {
  // (1000, 200, 400, 300), minimum side 100; pressed at (1000, 200) and dragged by -(dx, dy).
  struct Row {
    MouseState state;
    double dx, dy;
    std::string sent;
  } rows[] = {
      {S::anyDrag, 50, -30, "SetTransformingRect 950 230 400 300"},
      {S::anyDrag, 2000, 0, "SetTransformingRect -1000 200 400 300"},  // no clamping of ROIs
      {S::dragTop, 0, 40, "SetTransformingRect 1000 160 400 340"},
      {S::dragTop, 0, -250, "SetTransformingRect 1000 400 400 100"},  // top stops at maxY - m
      {S::dragBottom, 0, -60, "SetTransformingRect 1000 200 400 360"},
      {S::dragBottom, 0, 250, "SetTransformingRect 1000 200 400 100"},
      {S::dragLeft, 30, 0, "SetTransformingRect 970 200 430 300"},
      {S::dragLeft, -350, 0, "SetTransformingRect 1300 200 100 300"},  // left stops at maxX - m
      {S::dragRight, -20, 0, "SetTransformingRect 1000 200 420 300"},
      {S::dragRight, 350, 0, "SetTransformingRect 1000 200 100 300"},
      {S::dragLeftTop, 10, 20, "SetTransformingRect 990 180 410 320"},
      {S::dragLeftBottom, 10, -20, "SetTransformingRect 990 200 410 320"},
      {S::dragRightTop, -10, 20, "SetTransformingRect 1000 180 410 320"},
      {S::dragRightBottom, -10, -20, "SetTransformingRect 1000 200 410 320"},
      {S::anyMove, 50, 50, "SetTransformingRect 1000 200 400 300"},
      {S::hMove, 50, 50, "SetTransformingRect 1000 200 400 300"},
  };
  for (const auto& row : rows) {
    double dx = row.dx, dy = row.dy;
    editor.isStartTransform = true;
    editor.selectOriRect = {1000, 200, 400, 300};
    editor.dragDirection = row.state;
    editor.startLocation = Point{1000, 200};
    facade->clearCalls();
    editor.mouseDragged({1000 - dx, 200 - dy});
    EXPECT_EQ(calls("SetTransformingRect"), std::vector<std::string>{row.sent})
        << int(row.state) << " " << dx << " " << dy;
  }
  // Width and height sent never drop below the minimum side.
  editor.dragDirection = S::dragLeftTop;
  facade->clearCalls();
  editor.mouseDragged({1000 + 390, 200 + 290});
  EXPECT_EQ(calls("SetTransformingRect"),
            std::vector<std::string>{"SetTransformingRect 1300 400 100 100"});
  // A blocked press does nothing.
  editor.dragDirection = S::noDraw;
  facade->clearCalls();
  editor.mouseDragged({0, 0});
  EXPECT_TRUE(facade->calls().empty());
}

TEST_F(RoiEditorTest, FocusEditTableKeepsTheAspectRatioAndTheFrame) {
  editor.context.displayMode = Display::focus;
  editor.context.focusRectAspectRatio = 0.5;
  Rect r{1000, 200, 400, 200};
  struct Row {
    MouseState state;
    double dx, dy;
    std::string sent;
  } rows[] = {
      {S::anyDrag, 100, 50, "SetFocusModeManualRect 900 150 400 200"},
      {S::anyDrag, 1200, 500, "SetFocusModeManualRect 0 0 400 200"},  // clamped value by value
      {S::dragTop, 0, 50, "SetFocusModeManualRect 950 150 500 250"},
      {S::dragTop, 0, -150, "SetFocusModeManualRect 1100 300 200 100"},  // h stops at m
      {S::dragBottom, 0, -50, "SetFocusModeManualRect 950 200 500 250"},
      {S::dragLeft, 100, 0, "SetFocusModeManualRect 900 175 500 250"},
      {S::dragLeft, -350, 0, "SetFocusModeManualRect 1200 250 200 100"},  // h < m: w = m / a
      {S::dragRight, -100, 0, "SetFocusModeManualRect 1000 175 500 250"},
      {S::dragLeftTop, 100, 0, "SetFocusModeManualRect 900 150 500 250"},
      {S::dragLeftBottom, 100, 0, "SetFocusModeManualRect 900 200 500 250"},
      {S::dragRightTop, -100, 0, "SetFocusModeManualRect 1000 150 500 250"},
      {S::dragRightBottom, -100, 0, "SetFocusModeManualRect 1000 200 500 250"},
      {S::anyMove, 100, 100, "SetFocusModeManualRect 1000 200 400 200"},
  };
  for (const auto& row : rows) {
    editor.isStartTransform = false;
    editor.isStartFocusTransform = true;
    editor.focusOriRect = r;
    editor.dragDirection = row.state;
    editor.startLocation = Point{1000, 200};
    facade->clearCalls();
    savedFocus.clear();
    editor.mouseDragged({1000 - row.dx, 200 - row.dy});
    EXPECT_EQ(calls("SetFocusModeManualRect"), std::vector<std::string>{row.sent})
        << int(row.state);
    EXPECT_EQ(savedFocus.size(), 1u);
  }
  // An unusable ratio changes nothing on a resize.
  editor.context.focusRectAspectRatio = 0;
  editor.dragDirection = S::dragLeft;
  facade->clearCalls();
  editor.mouseDragged({900, 200});
  EXPECT_TRUE(facade->calls().empty());
}

TEST_F(RoiEditorTest, PanAndBanner) {
  editor.context.editMode = EditMode::fov;
  editor.context.editOffsetDatumPoint = 100;
  struct Row {
    double dx;
    int64_t temp;
    bool mirror;
    int offset;
  } rows[] = {
      {50, 0, false, 150},    {-150, 0, false, 3790}, {50, 0, true, 50},
      {200, 0, true, 3740},   {7680, 0, false, 100},  {10.9, 20, false, 130},
      {-3840 * 3, 0, false, 100},
  };
  for (const auto& row : rows) {
    editor.context.mirror = row.mirror;
    editor.tempEditOffset = row.temp;
    editor.startLocation = Point{2000, 500};
    facade->clearCalls();
    editor.mouseDragged({2000 - row.dx, 500});
    EXPECT_EQ(calls("setContentOffset"),
              std::vector<std::string>{"setContentOffset " + std::to_string(row.offset)})
        << row.dx;
  }
  // The release keeps the pan for the next drag.
  editor.tempEditOffset = 0;
  editor.startLocation = Point{2000, 500};
  editor.mouseUp({1949.5, 500});
  EXPECT_EQ(editor.tempEditOffset, 50);
  EXPECT_FALSE(editor.startLocation);
  // No frame width yet: no pan.
  editor.context.frameWidth = 0;
  editor.startLocation = Point{2000, 500};
  facade->clearCalls();
  editor.mouseDragged({1900, 500});
  EXPECT_TRUE(facade->calls().empty());

  // The banner of a 180-degree 1920 x 1080 camera: 320 rows high, top within [0, 760].
  editor.context.editMode = EditMode::none;
  editor.context.is360Camera = false;
  editor.context.frameWidth = 1920;
  editor.isDragBanner = true;
  editor.bannerPositionY = 300;
  // A pointer between rows puts the band on the row above it, and that row is what is kept.
  for (auto [dy, y] :
       std::vector<std::pair<double, double>>{{100, 200}, {400, 0}, {-500, 760}, {100.5, 199}}) {
    editor.startLocation = Point{10, 500};
    facade->clearCalls();
    storedBanner.clear();
    editor.mouseDragged({10, 500 - dy});
    EXPECT_EQ(calls("SetHeightOffsetFor180Video"),
              std::vector<std::string>{"SetHeightOffsetFor180Video " + std::to_string(int(y))});
    EXPECT_EQ(storedBanner, std::vector<double>{y});
  }
  editor.context.bannerAspectRatio = 0;
  facade->clearCalls();
  editor.mouseDragged({10, 400});
  EXPECT_TRUE(facade->calls().empty());
  editor.mouseUp({10, 400});
  EXPECT_FALSE(editor.isDragBanner);
  EXPECT_EQ(bannerReads, 1);
}

TEST_F(RoiEditorTest, DrawingAndReleaseThresholds) {
  struct Row {
    EditMode mode;
    double distance;
    bool adds;
  } rows[] = {{EditMode::none, 9, false},    {EditMode::none, 10, false},
              {EditMode::none, 11, true},    {EditMode::ignore, 49, false},
              {EditMode::ignore, 50, false}, {EditMode::ignore, 51, true}};
  for (const auto& row : rows) {
    editor.context.editMode = row.mode;
    facade->clearCalls();
    editor.mouseDown({100.5, 200.2});
    editor.mouseDragged({100.5 + row.distance, 200.2});
    editor.mouseUp({100.5 + row.distance, 200.2});
    std::string end = std::to_string(int(100.5 + row.distance));
    EXPECT_EQ(calls("SetTempRect").front(), "SetTempRect 100 200 " + end + " 200");
    if (row.adds) {
      EXPECT_EQ(calls("AddNewRect"), std::vector<std::string>{"AddNewRect 100 200 " + end + " 200"});
    } else {
      EXPECT_TRUE(calls("AddNewRect").empty()) << row.distance;
      EXPECT_EQ(calls("SetTempRect").back(), "SetTempRect 0 0 0 0");
    }
  }
  // Diagonal: the straight distance counts.
  editor.context.editMode = EditMode::none;
  facade->clearCalls();
  editor.mouseDown({0, 0});
  editor.mouseUp({8, 8});
  EXPECT_EQ(calls("AddNewRect").size(), 1u);
}

TEST_F(RoiEditorTest, ReleaseOfATransformKeepsItOpenAndLeavingCompletes) {
  know({{7, {1000, 200, 400, 300}}});
  facade->transformingRect = {1000, 200, 400, 300};
  editor.mouseDown({1200, 300});
  editor.mouseDragged({1250, 300});
  facade->transformingRect = {1050, 200, 400, 300};
  facade->clearCalls();
  editor.mouseUp({1250, 300});
  EXPECT_TRUE(calls("EndTransformRect").empty());
  EXPECT_EQ(editor.selectOriRect, (Rect{1050, 200, 400, 300}));
  EXPECT_EQ(editor.dragDirection, S::none);
  EXPECT_EQ(focusReads, 1);
  EXPECT_TRUE(editor.isStartTransform);

  // A drawing that leaves the preview ends there as a release would.
  editor.mouseDownOutside();
  facade->clearCalls();
  editor.mouseDown({100, 100});
  editor.mouseDragged({300, 300});
  editor.mouseExited({-40, 300});
  EXPECT_EQ(calls("AddNewRect"), std::vector<std::string>{"AddNewRect 100 100 -40 300"});
  EXPECT_FALSE(editor.startLocation);
  // In presentation mode every release leaves the fixed rectangle's editing on.
  editor.context.displayMode = Display::presentation;
  editor.mouseExited({0, 0});
  EXPECT_TRUE(editor.isStartFocusTransform);
}

TEST_F(RoiEditorTest, HoverCursorsAndToolTips) {
  know({{7, {1000, 200, 400, 300}}, {8, {2000, 200, 400, 300}, true},
        {9, {3000, 200, 400, 300}, false, true}});
  struct Row {
    Point p;
    bool autoDetect, drawNormal, drawTracking;
    std::vector<S> cursor;
    std::string tip;
    int64_t hover;
  } rows[] = {
      {{500, 500}, false, true, true, {S::none}, "", -1},
      {{1200, 300}, false, true, true, {S::anyMove}, "", 7},
      {{1200, 300}, false, false, true, {S::none}, "", 7},
      {{2200, 300}, false, true, true, {}, "", 8},  // tracked: cursor left as it is
      {{2200, 300}, false, true, false, {S::none}, "", 8},
      {{3200, 300}, true, true, true, {S::none}, "tips_detected_rect", 9},
      {{3200, 300}, false, true, true, {S::anyMove}, "", 9},
  };
  for (const auto& row : rows) {
    editor.context.isAutoDetect = row.autoDetect;
    editor.context.drawNormalRect = row.drawNormal;
    editor.context.drawTrackingRect = row.drawTracking;
    cursors.clear();
    tips.clear();
    hovering.clear();
    editor.mouseMoved(row.p);
    EXPECT_EQ(cursors, row.cursor) << row.p.x;
    EXPECT_EQ(tips, std::vector<std::string>{row.tip}) << row.p.x;
    EXPECT_EQ(hovering, std::vector<int64_t>{row.hover});
  }
  // The selected one shows its edge, or the grab hand inside.
  editor.context.isAutoDetect = false;
  editor.context.drawNormalRect = true;
  editor.selectRectIdx = 7;
  editor.selectOriRect = {1000, 200, 400, 300};
  cursors.clear();
  editor.mouseMoved({1000, 300});
  editor.mouseMoved({1200, 300});
  EXPECT_EQ(cursors, (std::vector<S>{S::dragLeft, S::anyDrag}));
  // The focus rectangle, and the banner icon.
  editor.context.displayMode = Display::presentation;
  editor.focusOriRect = {100, 100, 400, 200};
  cursors.clear();
  tips.clear();
  editor.mouseMoved({300, 200});
  EXPECT_EQ(cursors, std::vector<S>{S::anyDrag});
  EXPECT_EQ(tips, std::vector<std::string>{"fixed_rect_hint"});
  editor.context.is360Camera = false;
  editor.bannerIconArea = Rect{10, 400, 32, 40};
  cursors.clear();
  editor.mouseMoved({20, 410});
  EXPECT_EQ(cursors, std::vector<S>{S::anyMove});
  // FOV editing: no hover.
  editor.context.editMode = EditMode::fov;
  cursors.clear();
  editor.mouseMoved({1200, 300});
  EXPECT_TRUE(cursors.empty());
}

TEST_F(RoiEditorTest, MenuItemChoice) {
  using I = RoiEditor::MenuItem;
  using C = RoiEditor::MenuChoice;
  RoiEditor::Hit none, ordinary{true, false, false, 3}, tracked{true, true, false, 4},
      detected{true, false, true, 5}, trackedDetected{true, true, true, 6};
  auto choice = [](RoiEditor::Hit h) {
    C c;
    c.hit = h;
    return c;
  };
  EXPECT_EQ(RoiEditor::menuItems(choice(none)), (std::vector<I>{I::detectBody, I::removeAllFirst}));
  C c = choice(none);
  c.enableNewDetectLayout = true;
  EXPECT_EQ(RoiEditor::menuItems(c),
            (std::vector<I>{I::detectOnce, I::autoTrack, I::removeAllSecond}));
  c.editMode = EditMode::ignore;
  EXPECT_EQ(RoiEditor::menuItems(c), std::vector<I>{I::removeAllSecond});
  auto full = std::vector<I>{I::track, I::pin, I::deleteRect, I::protectArea};
  EXPECT_EQ(RoiEditor::menuItems(choice(ordinary)), full);
  EXPECT_EQ(RoiEditor::menuItems(choice(tracked)), full);
  EXPECT_EQ(RoiEditor::menuItems(choice(detected)), full);
  c = choice(ordinary);
  c.editMode = EditMode::ignore;
  EXPECT_EQ(RoiEditor::menuItems(c), std::vector<I>{I::deleteRect});
  c = choice(ordinary);
  c.drawNormalRect = false;
  EXPECT_EQ(RoiEditor::menuItems(c), (std::vector<I>{I::detectBody, I::removeAllFirst}));
  c = choice(tracked);
  c.drawTrackingRect = false;
  EXPECT_EQ(RoiEditor::menuItems(c), (std::vector<I>{I::detectBody, I::removeAllFirst}));
  for (Display fit : {Display::bodyFit, Display::audioFit}) {
    c = choice(ordinary);
    c.displayMode = fit;
    EXPECT_EQ(RoiEditor::menuItems(c), (std::vector<I>{I::track, I::deleteRect, I::protectArea}));
    c = choice(trackedDetected);
    c.isAutoTracking = true;
    c.displayMode = fit;
    EXPECT_TRUE(RoiEditor::menuItems(c).empty());
  }
  c = choice(trackedDetected);
  c.isAutoTracking = true;
  EXPECT_EQ(RoiEditor::menuItems(c), (std::vector<I>{I::pin, I::protectArea}));
  c.isAutoTracking = false;
  EXPECT_EQ(RoiEditor::menuItems(c), full);
}

// The facade opens one transform at a time: a right click on the box selected already leaves
// its open transform open (asking again would be refused and leave the keys nothing to act on).
TEST_F(RoiEditorTest, ARightClickOnTheSelectedBoxKeepsItsTransform) {
  know({{7, {1000, 200, 400, 300}}});
  editor.mouseDown({1200, 300});
  editor.mouseUp({1200, 300});
  ASSERT_TRUE(editor.isStartTransform);
  facade->startTransformAnswer = false;
  facade->clearCalls();
  ASSERT_TRUE(editor.rightMouseDown({1200, 300}));
  EXPECT_TRUE(editor.isStartTransform);
  EXPECT_EQ(editor.selectRectIdx, 7);
  EXPECT_TRUE(calls("EndTransformRect").empty());
}

TEST_F(RoiEditorTest, RightClickSelectionAndActions) {
  know({{7, {1000, 200, 400, 300}}, {8, {2000, 200, 400, 300}, true}});
  facade->pinnedIds = {8};
  // Another editable rectangle: the selection moves to it before the menu shows.
  auto target = editor.rightMouseDown({1200, 300});
  ASSERT_TRUE(target);
  EXPECT_EQ(target->hit.idx, 7);
  EXPECT_FALSE(target->pinned);
  EXPECT_EQ(editor.selectRectIdx, 7);
  EXPECT_EQ(calls("StartTransformRect"), std::vector<std::string>{"StartTransformRect 0 7"});
  EXPECT_EQ(cursors, std::vector<S>{S::anyDrag});
  // A tracked one: deselected, its index still recorded for the actions.
  facade->clearCalls();
  target = editor.rightMouseDown({2200, 300});
  EXPECT_TRUE(target->pinned);
  EXPECT_EQ(calls("EndTransformRect").size(), 1u);
  EXPECT_FALSE(editor.isStartTransform);
  EXPECT_EQ(editor.selectRectIdx, 8);
  EXPECT_TRUE(editor.isRectTrack);
  facade->clearCalls();
  editor.menuTrack();
  editor.menuPin();
  EXPECT_EQ(facade->calls(), (std::vector<std::string>{"ChangeRectTracked 1 8", "EndTransformRect",
                                                       "PinRect -1"}));
  // Protected area from (200, 100, 100, 50): the corners (195, 97) and (305, 152).
  editor.selectRectIdx = 11;
  editor.isRectTrack = false;
  facade->displayRects = {{11, {200, 100, 100, 50}}};
  facade->clearCalls();
  editor.addProtectArea();
  EXPECT_EQ(facade->calls(),
            (std::vector<std::string>{"GetDisplayRect 11", "AddIgnoreNewRect 195 97 305 152",
                                      "EndIgnoreAreaEditing 1"}));
  // Deleting in ignore editing hands back the area for a later cancel.
  editor.context.editMode = EditMode::ignore;
  facade->ignoreRectsById = {{11, {1, 2, 3, 4}}};
  auto removed = editor.menuDelete();
  EXPECT_EQ(removed, (Rect{1, 2, 3, 4}));
  EXPECT_EQ(calls("RemoveRect"), std::vector<std::string>{"RemoveRect 0 11"});
  // No menu in focus mode or while disconnected.
  editor.context.displayMode = Display::focus;
  EXPECT_FALSE(editor.rightMouseDown({1200, 300}));
  editor.context.displayMode = Display::compose;
  editor.context.connected = false;
  EXPECT_FALSE(editor.rightMouseDown({1200, 300}));
}

// A box drawn when the picture holds all it can draw is refused by the facade: the drag says so,
// its rubber band goes, and it is not taken for the box just drawn.
TEST_F(RoiEditorTest, ADrawnBoxThePictureHasNoRoomForIsTold) {
  std::vector<std::string> refused;
  editor.addRefused = [&refused](const std::string& note) { refused.push_back(note); };
  facade->setAddRoom(1);
  for (EditMode mode : {EditMode::none, EditMode::none, EditMode::ignore}) {
    editor.context.editMode = mode;
    editor.freshRect.reset();
    facade->clearCalls();
    editor.mouseDown({100, 200});
    editor.mouseDragged({400, 500});
    editor.mouseUp({400, 500});
    EXPECT_EQ(calls("AddNewRect").size(), 1u);
  }
  // In the ignore-area editor no box can be deleted: its note says so.
  EXPECT_EQ(refused,
            (std::vector<std::string>{"tips_roi_limit_reached", "tips_ignore_limit_reached"}));
  EXPECT_EQ(calls("SetTempRect").back(), "SetTempRect 0 0 0 0");
  EXPECT_FALSE(editor.freshRect.has_value());
}
