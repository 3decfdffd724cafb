#include <gtest/gtest.h>

#include <cstdint>

#include "main/MainWindowGeometry.h"

using corvane::BasePositionAnchor;
using corvane::MainWindowGeometry;
using corvane::NavigatorSource;

TEST(MainWindowGeometry, NavigatorKeepsTheOutputRatioBelowItsTitle) {
  struct Row {
    QSizeF panel;
    std::optional<QSizeF> size;
  };
  const Row rows[] = {
      // Wider than 16:9 after the strip: the height stays, the width follows.
      {{1000, 530}, QSizeF(500.0 * 1280 / 720, 530)},
      // Narrower: the width stays, the height follows plus the strip.
      {{640, 600}, QSizeF(640, 390)},
      // Exactly 16:9 below the strip counts as narrower.
      {{640, 390}, QSizeF(640, 390)},
      // Nothing to size: the caller keeps what it had.
      {{0, 600}, std::nullopt},
      {{640, 30}, std::nullopt},
      {{640, 10}, std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.panel.width() << "x" << row.panel.height());
    auto size = MainWindowGeometry::navigatorSize(row.panel);
    ASSERT_EQ(size.has_value(), row.size.has_value());
    if (!size) continue;
    EXPECT_NEAR(size->width(), row.size->width(), 1e-9);
    EXPECT_NEAR(size->height(), row.size->height(), 1e-9);
  }
  EXPECT_NEAR(MainWindowGeometry::navigatorSize({1000, 530})->width(), 888.9, 0.05);
}

TEST(MainWindowGeometry, FocusRectangleMirroredAndKeptOnTheFrame) {
  struct Row {
    int x, w;
    bool mirror;
    double expectedX;
  };
  const Row rows[] = {
      {100, 200, true, 3540},    // mirrored on a 3840-pixel camera
      {100, 200, false, 100},    // as reported
      {3840, 200, false, 3640},  // at the width: moved to W - w
      {4000, 200, false, 3640},  // beyond it as well
      {-20, 200, false, 0},      // negative: 0
      {3700, 200, true, 0},      // mirrored past the left edge: 0
      {-300, 200, true, 3640},   // mirrored beyond the width: moved to W - w
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.x << " " << row.mirror);
    auto r = MainWindowGeometry::focusRect(row.x, 30, row.w, 400, 3840, row.mirror);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->x(), row.expectedX);
    EXPECT_EQ(r->y(), 30);
    EXPECT_EQ(r->width(), row.w);
    EXPECT_EQ(r->height(), 400);
  }
  EXPECT_FALSE(MainWindowGeometry::focusRect(-1, 0, 10, 10, 3840, false));
  EXPECT_FALSE(MainWindowGeometry::focusRect(0, 0, 10, -1, 3840, true));
}

TEST(MainWindowGeometry, BannerPositionFromTheMoveIcon) {
  // Banner height = width / ratio: 1920 / 6 = 320.
  EXPECT_EQ(*MainWindowGeometry::bannerPositionY(400, 40, 1920, 6.0), 120.0);
  EXPECT_EQ(*MainWindowGeometry::bannerPositionY(0, 0, 1920, 6.0), -320.0);
  // The facade's 32-bit sum wraps.
  EXPECT_EQ(*MainWindowGeometry::bannerPositionY(INT32_MAX, 1, 0, 6.0), double(INT32_MIN));
  EXPECT_FALSE(MainWindowGeometry::bannerPositionY(-1, 40, 1920, 6.0));
  EXPECT_FALSE(MainWindowGeometry::bannerPositionY(10, 40, 1920, 0.0));
}

TEST(MainWindowGeometry, PreviewAspectAndMultiplesNeedAFormat) {
  EXPECT_EQ(*MainWindowGeometry::controlViewAspect(3840, 1080), 3840.0 / 1080.0);
  EXPECT_FALSE(MainWindowGeometry::controlViewAspect(3840, 0));
  EXPECT_FALSE(MainWindowGeometry::controlViewAspect(0, 0));
  EXPECT_EQ(*MainWindowGeometry::controlViewMultiple(3840, 960), 4.0);
  EXPECT_FALSE(MainWindowGeometry::controlViewMultiple(3840, 0));
  EXPECT_FALSE(MainWindowGeometry::controlViewMultiple(0, 960));
}

TEST(MainWindowGeometry, BasePositionAnchoring) {
  using A = BasePositionAnchor;
  // After the navigator is shown or hidden: room below the preview decides first.
  EXPECT_EQ(MainWindowGeometry::basePositionAnchor(80, true), A::content);
  EXPECT_EQ(MainWindowGeometry::basePositionAnchor(200, false), A::content);
  EXPECT_EQ(MainWindowGeometry::basePositionAnchor(79.5, true), A::notify);
  EXPECT_FALSE(MainWindowGeometry::basePositionAnchor(79.5, false));
  // The control board's set-up: beside the notification only with the split window on.
  EXPECT_EQ(MainWindowGeometry::controlBoardAnchor(false, true), A::content);
  EXPECT_EQ(MainWindowGeometry::controlBoardAnchor(false, false), A::content);
  EXPECT_EQ(MainWindowGeometry::controlBoardAnchor(true, true), A::notify);
  EXPECT_EQ(MainWindowGeometry::controlBoardAnchor(true, false), A::content);
}

TEST(MainWindowGeometry, NavigatorSourceFollowsTheSplitWindow) {
  EXPECT_EQ(MainWindowGeometry::navigatorSource(true), NavigatorSource::navigatorPanel);
  EXPECT_EQ(MainWindowGeometry::navigatorSource(false), NavigatorSource::controlBoard);
}

TEST(MainWindowGeometry, ContentCentresOrPinsThePreview) {
  double aspect = 3840.0 / 1080.0;
  auto centred = MainWindowGeometry::contentLayout({995, 800}, aspect, false, 41);
  EXPECT_NEAR(centred.controlView.width() / centred.controlView.height(), aspect, 1e-9);
  EXPECT_NEAR(centred.controlView.center().x(), 995 / 2.0, 1e-9);
  EXPECT_NEAR(centred.controlView.center().y(), 400, 1e-9);
  EXPECT_TRUE(centred.navigatorView.isEmpty());

  auto pinned = MainWindowGeometry::contentLayout({995, 800}, aspect, true, 41);
  EXPECT_EQ(pinned.controlView.top(), MainWindowGeometry::kTopStrip);
  EXPECT_NEAR(pinned.controlView.width() / pinned.controlView.height(), aspect, 1e-9);
  EXPECT_GT(pinned.navigatorView.top(), pinned.controlView.bottom());
  EXPECT_NEAR(pinned.navigatorView.bottom(), 800 - 41, 1e-9);

  // A tall preview in a wide window is limited by the height and keeps its aspect.
  auto tall = MainWindowGeometry::contentLayout({1600, 300}, 4.0 / 3.0, false, 0);
  EXPECT_LE(tall.controlView.height(), 300);
  EXPECT_NEAR(tall.controlView.width() / tall.controlView.height(), 4.0 / 3.0, 1e-9);
  // No usable aspect: 16:9.
  auto none = MainWindowGeometry::contentLayout({995, 800}, 0, false, 0);
  EXPECT_NEAR(none.controlView.width() / none.controlView.height(), 16.0 / 9.0, 1e-9);
  // An empty window gives empty frames, not negative ones.
  auto empty = MainWindowGeometry::contentLayout({0, 0}, aspect, true, 41);
  EXPECT_GE(empty.controlView.width(), 0);
  EXPECT_GE(empty.navigatorView.height(), 0);
}

TEST(MainWindowGeometry, ScreenFrameOfTheWindow) {
  std::vector<QRect> screens = {{0, 0, 1920, 1080}, {1920, 0, 2560, 1440}, {1920, 0, 1280, 720}};
  QRect primary = screens[0];
  QRect window(1800, 100, 400, 300);  // origin on the first, centre on the others
  EXPECT_EQ(*MainWindowGeometry::screenFrame(window, false, screens, primary, true), screens[0]);
  // The last screen holding the centre wins.
  EXPECT_EQ(*MainWindowGeometry::screenFrame(window, true, screens, primary, true), screens[2]);
  // Off every screen, or not the program's window: the primary screen.
  EXPECT_EQ(*MainWindowGeometry::screenFrame({-900, -900, 10, 10}, true, screens, primary, true),
            primary);
  EXPECT_EQ(*MainWindowGeometry::screenFrame(window, true, screens, primary, false), primary);
  EXPECT_FALSE(MainWindowGeometry::screenFrame(window, true, {}, std::nullopt, true));
}
TEST(MainWindowGeometry, TheSimpleLayoutsPreviewFillsTheContent) {
  const double aspect = 3840.0 / 1080.0;
  // 455 x 128: the panorama at 128 high fills it.
  auto filled = MainWindowGeometry::simpleContentLayout({455, 128}, aspect);
  EXPECT_NEAR(filled.controlView.left(), 0, 0.5);
  EXPECT_NEAR(filled.controlView.top(), 0, 0.5);
  EXPECT_NEAR(filled.controlView.width(), 455, 0.5);
  EXPECT_NEAR(filled.controlView.height(), 128, 0.5);
  EXPECT_TRUE(filled.navigatorView.isEmpty());
  // A wider content: the preview keeps its shape, centred.
  auto wide = MainWindowGeometry::simpleContentLayout({600, 128}, aspect);
  EXPECT_NEAR(wide.controlView.height(), 128, 1e-9);
  EXPECT_NEAR(wide.controlView.center().x(), 300, 1e-9);
  auto empty = MainWindowGeometry::simpleContentLayout({0, 0}, aspect);
  EXPECT_GE(empty.controlView.width(), 0);
}
