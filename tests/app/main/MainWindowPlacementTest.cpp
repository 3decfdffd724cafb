#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "main/MainWindowPlacement.h"

namespace {

using corvane::MainWindowPlacement;
using Stored = MainWindowPlacement::Stored;
using Zoomed = MainWindowPlacement::Zoomed;

// What openbox draws around a resizable window: 1 px borders, a 20 px title bar, a 5 px handle.
const QMargins openbox(1, 20, 1, 5);

TEST(MainWindowPlacement, StoredFrameOrTheCentredDefault) {
  const std::vector<QRect> screens{QRect(0, 0, 1920, 1080), QRect(1920, 0, 2560, 1440)};
  struct Row {
    const char* what;
    Stored stored;
    QSize size;
    QPoint origin;
    bool centred;
  };
  const Row rows[] = {
      {"nothing stored", {}, {1280, 720}, {320, 180}, true},
      {"all stored", {1000, 600, 40, 30}, {1000, 600}, {40, 30}, false},
      {"only x", {1000, 600, 40, std::nullopt}, {1000, 600}, {460, 240}, true},
      {"only a width", {1000, std::nullopt, 40, 30}, {1280, 720}, {40, 30}, false},
      {"too small", {100, 50, 0, 0}, {640, 360}, {0, 0}, false},
      // Most of it lies on the larger screen, which it then fills.
      {"larger than any screen", {5000, 3000, 0, 0}, {2560, 1440}, {1920, 0}, false},
      {"off every screen", {800, 600, -5000, 0}, {800, 600}, {560, 240}, true},
      {"second screen", {800, 600, 2000, 100}, {800, 600}, {2000, 100}, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    auto p = MainWindowPlacement::place(row.stored, screens, QMargins());
    EXPECT_EQ(p.size, row.size);
    EXPECT_EQ(p.origin, row.origin);
    EXPECT_EQ(p.centred, row.centred);
    EXPECT_EQ(p.minimum, QSize(640, 360));
    EXPECT_EQ(p.maximum, QSize(2560, 1440));
  }
}

TEST(MainWindowPlacement, TheWholeFrameFitsTheAvailableAreaAtStart) {
  const QRect full(0, 0, 1920, 1080), second(1920, 0, 2560, 1440);
  struct Row {
    const char* what;
    std::vector<QRect> screens;
    Stored stored;
    QMargins margins;
    QSize size;     // the content's
    QPoint origin;  // the frame's
    bool centred;
  };
  const Row rows[] = {
      {"first start", {full}, {}, openbox, {1280, 720}, {319, 167}, true},
      {"first start on a 1280 x 720 screen",
       {QRect(0, 0, 1280, 720)},
       {},
       openbox,
       {1278, 695},
       {0, 0},
       true},
      {"first start at twice the scale",
       {QRect(0, 0, 960, 540)},
       {},
       QMargins(1, 10, 1, 3),
       {958, 527},
       {0, 0},
       true},
      {"first start before the frame is known",
       {QRect(0, 0, 1280, 720)},
       {},
       MainWindowPlacement::estimatedMargins,
       {1272, 680},
       {0, 0},
       true},
      {"stored for a larger screen",
       {QRect(0, 0, 1366, 768)},
       {1900, 1040, 0, 0},
       openbox,
       {1364, 743},
       {0, 0},
       false},
      {"stored for a larger screen, away from its corner",
       {QRect(0, 0, 1366, 768)},
       {1900, 1040, 200, 100},
       openbox,
       {1364, 743},
       {0, 0},
       false},
      {"the title bar above the screen",
       {full},
       {1920, 1080, -1, -20},
       openbox,
       {1918, 1055},
       {0, 0},
       false},
      {"the title bar under a top panel",
       {QRect(0, 32, 1920, 1048)},
       {1280, 720, 100, 10},
       openbox,
       {1280, 720},
       {100, 32},
       false},
      {"past the right and bottom edges",
       {full},
       {1280, 720, 1000, 600},
       openbox,
       {1280, 720},
       {638, 335},
       false},
      {"mostly on the second screen",
       {full, second},
       {1280, 720, 1500, -50},
       openbox,
       {1280, 720},
       {1920, 0},
       false},
      {"on no screen", {full}, {800, 600, -5000, 0}, openbox, {800, 600}, {559, 227}, true},
      // The minimum wins over a tiny screen; the title bar stays on it.
      {"a screen below the minimum",
       {QRect(0, 0, 640, 360)},
       {},
       openbox,
       {640, 360},
       {0, 0},
       true},
      {"a stored place on a screen below the minimum",
       {QRect(0, 0, 640, 360)},
       {700, 400, 30, -40},
       openbox,
       {640, 360},
       {0, 0},
       false},
      {"no screen known", {}, {1000, 600, -1, -20}, openbox, {1000, 600}, {-1, -20}, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    auto p = MainWindowPlacement::place(row.stored, row.screens, row.margins);
    EXPECT_EQ(p.size, row.size);
    EXPECT_EQ(p.origin, row.origin);
    EXPECT_EQ(p.centred, row.centred);
    EXPECT_EQ(p.minimum, QSize(640, 360));
    // The frame lies in the available area whenever the area holds the minimum.
    QRect frame(p.origin, p.size.grownBy(row.margins));
    if (!row.screens.empty() && row.screens.front().width() >= 642) {
      EXPECT_TRUE(std::any_of(row.screens.begin(), row.screens.end(),
                              [&frame](const QRect& s) { return s.contains(frame); }));
    }
  }
}

// Whether the frame takes its screen's whole width or height: where the compositor says nothing
// of its panels, such a window is left to the compositor to size.
TEST(MainWindowPlacement, AFrameAsLargeAsItsScreenIsToldSo) {
  struct Row {
    const char* what;
    std::vector<QRect> screens;
    Stored stored;
    bool fills;
  };
  const Row rows[] = {
      {"the default on a large screen", {QRect(0, 0, 1920, 1080)}, {}, false},
      {"the default on a 1280 x 720 screen: its title bar takes room", {QRect(0, 0, 1280, 720)},
       {}, true},
      {"the default on a small screen", {QRect(0, 0, 1000, 560)}, {}, true},
      {"a stored size that fits", {QRect(0, 0, 1000, 560)}, {800, 480, std::nullopt, std::nullopt},
       false},
      {"the size stored by a window that filled the screen", {QRect(0, 0, 1000, 560)},
       {998, 535, std::nullopt, std::nullopt}, true},
      {"a stored size too tall only", {QRect(0, 0, 1000, 560)}, {800, 600, 0, 0}, true},
      {"a stored size below the minimum", {QRect(0, 0, 1920, 1080)}, {100, 50, 0, 0}, false},
      {"a screen below the minimum", {QRect(0, 0, 600, 300)}, {}, true},
      {"on the second screen, which it fits", {QRect(0, 0, 1000, 560), QRect(1000, 0, 2560, 1440)},
       {1280, 720, 1100, 100}, false},
      {"no screen known", {}, {5000, 3000, 0, 0}, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(MainWindowPlacement::place(row.stored, row.screens, openbox).fillsScreen, row.fills);
  }
}

TEST(MainWindowPlacement, AFrameIsFittedOntoItsScreen) {
  const std::vector<QRect> screens{QRect(0, 0, 1920, 1080)};
  // The frame the simple layout leaves, restored at its place.
  EXPECT_EQ(MainWindowPlacement::fitted(QRect(0, 0, 1282, 745), openbox, screens),
            QRect(0, 0, 1282, 745));
  EXPECT_EQ(MainWindowPlacement::fitted(QRect(-1, -20, 1922, 1105), openbox, screens),
            QRect(0, 0, 1920, 1080));
  // Below the minimum content the frame grows to it.
  EXPECT_EQ(MainWindowPlacement::fitted(QRect(10, 10, 300, 200), openbox, screens),
            QRect(10, 10, 642, 385));
  EXPECT_EQ(MainWindowPlacement::fitted(QRect(-1, -20, 300, 200), openbox, {}),
            QRect(-1, -20, 642, 385));
}

TEST(MainWindowPlacement, TheZoomFillsTheAreaTitleBarIncludedAndTogglesBack) {
  const QRect full(0, 0, 1920, 1080), second(1920, 0, 2560, 1440);
  const QRect before(319, 167, 1282, 745);
  using Zoom = MainWindowPlacement::Zoom;
  struct Row {
    const char* what;
    std::vector<QRect> screens;
    QRect frame;
    std::optional<QRect> previous;
    std::optional<Zoomed> zoomed;
    Zoom zoom;
  };
  const Row rows[] = {
      {"zoom", {full}, before, std::nullopt, std::nullopt, {full, full, Zoomed{full, before}}},
      {"the second zoom comes back",
       {full},
       full,
       before,
       Zoomed{full, before},
       {before, full, std::nullopt}},
      {"a frame a few pixels off still counts as zoomed",
       {full},
       QRect(0, 0, 1920, 1076),
       before,
       Zoomed{full, before},
       {before, full, std::nullopt}},
      {"the window manager maximised before it said so",
       {full},
       QRect(0, 0, 1920, 1080),
       before,
       std::nullopt,
       {full, full, Zoomed{full, before}}},
      {"filling the area with nothing to come back to",
       {full},
       full,
       std::nullopt,
       std::nullopt,
       {before, full, std::nullopt}},
      {"moved after the zoom: zooms again from there",
       {full},
       QRect(200, 100, 1282, 745),
       full,
       Zoomed{full, QRect(10, 10, 800, 500)},
       {full, full, Zoomed{full, QRect(200, 100, 1282, 745)}}},
      {"the screen holding the centre",
       {full, second},
       QRect(2500, 300, 1282, 745),
       std::nullopt,
       std::nullopt,
       {second, second, Zoomed{second, QRect(2500, 300, 1282, 745)}}},
      {"a centre on no screen: the main one",
       {full, second},
       QRect(-3000, 0, 1282, 745),
       std::nullopt,
       std::nullopt,
       {full, full, Zoomed{full, QRect(-3000, 0, 1282, 745)}}},
      {"below a top panel",
       {QRect(0, 32, 1920, 1048)},
       before,
       std::nullopt,
       std::nullopt,
       {QRect(0, 32, 1920, 1048), QRect(0, 32, 1920, 1048),
        Zoomed{QRect(0, 32, 1920, 1048), before}}},
      {"coming back onto a screen smaller since",
       {QRect(0, 0, 1280, 720)},
       QRect(0, 0, 1280, 720),
       std::nullopt,
       Zoomed{QRect(0, 0, 1280, 720), QRect(300, 200, 1600, 900)},
       {QRect(0, 0, 1280, 720), QRect(0, 0, 1280, 720), std::nullopt}},
      {"a screen below the minimum",
       {QRect(0, 0, 640, 360)},
       QRect(10, 10, 642, 385),
       std::nullopt,
       std::nullopt,
       {QRect(0, 0, 642, 385), QRect(0, 0, 640, 360),
        Zoomed{QRect(0, 0, 642, 385), QRect(10, 10, 642, 385)}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    auto zoom =
        MainWindowPlacement::zoom(row.frame, row.previous, openbox, row.screens, row.zoomed);
    ASSERT_TRUE(zoom);
    EXPECT_EQ(zoom->frame, row.zoom.frame);
    EXPECT_EQ(zoom->screen, row.zoom.screen);
    EXPECT_EQ(zoom->zoomed, row.zoom.zoomed);
  }
  EXPECT_FALSE(MainWindowPlacement::zoom(before, std::nullopt, openbox, {}, std::nullopt));

  // Twice from the start: the frame comes back where it was, and so would its stored keys.
  auto in = MainWindowPlacement::zoom(before, std::nullopt, openbox, {full}, std::nullopt);
  ASSERT_TRUE(in);
  EXPECT_EQ(in->frame.marginsRemoved(openbox), QRect(1, 20, 1918, 1055));
  auto out = MainWindowPlacement::zoom(in->frame, before, openbox, {full}, in->zoomed);
  ASSERT_TRUE(out);
  EXPECT_EQ(out->frame, before);
}

TEST(MainWindowPlacement, OnlyFiniteNumbersCount) {
  EXPECT_EQ(MainWindowPlacement::number(QVariant(1280)), 1280.0);
  EXPECT_EQ(MainWindowPlacement::number(QVariant("720.5")), 720.5);
  EXPECT_EQ(MainWindowPlacement::number(QVariant("wide")), std::nullopt);
  EXPECT_EQ(MainWindowPlacement::number(QVariant()), std::nullopt);
  EXPECT_EQ(MainWindowPlacement::number(QVariant(std::nan(""))), std::nullopt);
}

}  // namespace

namespace {

// The diagnostics and player windows go on the main window's screen, whichever is the primary.
TEST(MainWindowPlacement, AWindowOpenedFromTheMainWindowGoesOnItsScreen) {
  const std::vector<QRect> screens{QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
  const QRect onSecond(2100, 100, 900, 600);
  const QRect onFirst(200, 100, 900, 600);
  struct Row {
    const char* what;
    QRect frame;
    bool shownBefore;
    QRect main;
    std::optional<QPoint> origin;
  };
  const Row rows[] = {
      {"first opening, main on the second", QRect(0, 0, 420, 300), false, onSecond,
       QPoint(1920 + 430, 362)},
      {"first opening, main on the first", QRect(0, 0, 420, 300), false, onFirst, QPoint(750, 390)},
      {"left by the user on the main's screen", QRect(2000, 50, 420, 300), true, onSecond,
       std::nullopt},
      {"left on the other screen", QRect(100, 50, 420, 300), true, onSecond,
       QPoint(1920 + 430, 362)},
      {"larger than the screen: its corner in it", QRect(0, 0, 1500, 1200), false, onSecond,
       QPoint(1920, 0)},
      {"main on no screen", QRect(0, 0, 420, 300), false, QRect(-5000, 0, 10, 10), std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(MainWindowPlacement::onMainScreen(row.frame, row.shownBefore, row.main, screens),
              row.origin);
  }
  EXPECT_EQ(MainWindowPlacement::onMainScreen(QRect(0, 0, 10, 10), false, onFirst, {}),
            std::nullopt);
}

}  // namespace
