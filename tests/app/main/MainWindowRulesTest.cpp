#include <gtest/gtest.h>

#include "main/MainWindowRules.h"

using corvane::EditMode;
using corvane::MainWindowRules;
using corvane::MouseState;
using corvane::VerticalFovMode;

namespace {

TEST(MainWindowRules, FovButtonsSelectByTagAndFallBackToMidOnce) {
  struct Row {
    std::vector<int> tags;
    VerticalFovMode value;
    std::vector<bool> selected;
    bool fallBack;
  };
  const Row rows[] = {
      {{0, 1, 2}, VerticalFovMode::top, {true, false, false}, false},
      {{0, 1, 2}, VerticalFovMode::down, {false, false, true}, false},
      // A button with a tag outside 0..2 is never selected.
      {{7, 1, 2}, VerticalFovMode::top, {false, false, false}, true},
      // No button for the value: mid, unless it is mid already (that would loop for ever).
      {{0, 2}, VerticalFovMode::mid, {false, false}, false},
      {{}, VerticalFovMode::mid, {}, false},
      {{}, VerticalFovMode::down, {}, true},
      {{1}, VerticalFovMode::top, {false}, true},
  };
  for (const Row& row : rows) {
    auto selection = MainWindowRules::fovButtons(row.tags, row.value);
    EXPECT_EQ(selection.selected, row.selected);
    EXPECT_EQ(selection.fallBackToMid, row.fallBack);
  }
}

TEST(MainWindowRules, StoredVerticalFovOutsideItsRangeGivesMid) {
  EXPECT_EQ(MainWindowRules::storedVerticalFov(QVariant(qint64(0))), VerticalFovMode::top);
  EXPECT_EQ(MainWindowRules::storedVerticalFov(QVariant(1)), VerticalFovMode::mid);
  EXPECT_EQ(MainWindowRules::storedVerticalFov(QVariant(qint64(2))), VerticalFovMode::down);
  EXPECT_EQ(MainWindowRules::storedVerticalFov(QVariant(2.0)), VerticalFovMode::down);
  // After a restart the settings file gives the number back as text.
  EXPECT_EQ(MainWindowRules::storedVerticalFov(QVariant(QString("2"))), VerticalFovMode::down);
  EXPECT_EQ(MainWindowRules::storedVerticalFov(QVariant(QString("0"))), VerticalFovMode::top);
  for (const QVariant& odd :
       {QVariant(), QVariant(qint64(3)), QVariant(qint64(-1)), QVariant(1.5), QVariant(true),
        QVariant(QString("3")), QVariant(QString("1.5")), QVariant(QString("down"))})
    EXPECT_EQ(MainWindowRules::storedVerticalFov(odd), VerticalFovMode::mid) << odd.toString().toStdString();
}

TEST(MainWindowRules, ControlBoardColumnPerEditModeAndLayout) {
  EXPECT_EQ(MainWindowRules::controlBoardWidth(EditMode::none, false), 285.0);
  EXPECT_EQ(MainWindowRules::controlBoardWidth(EditMode::none, true), 40.0);
  for (bool simple : {false, true}) {
    EXPECT_EQ(MainWindowRules::controlBoardWidth(EditMode::fov, simple), 0.0);
    EXPECT_EQ(MainWindowRules::controlBoardWidth(EditMode::ignore, simple), 0.0);
  }
}

TEST(MainWindowRules, RestoredWindowFrame) {
  auto frame = [](QVariant w, QVariant h, QVariant x, QVariant y) {
    return MainWindowRules::restoredWindowFrame(w, h, x, y);
  };
  EXPECT_EQ(frame({}, {}, {}, {}), QRect(0, 0, 1280, 720));
  EXPECT_EQ(frame(500.0, 800.0, 10.0, 20.0), QRect(10, 20, 640, 360));
  EXPECT_EQ(frame(1000.0, 300.0, {}, 20.0), QRect(0, 0, 640, 360));
  EXPECT_EQ(frame(1500.0, 900.0, 100.0, 50.0), QRect(100, 50, 1500, 900));
  EXPECT_EQ(frame(1500.0, {}, 100.0, 50.0), QRect(100, 50, 1280, 720));
  EXPECT_EQ(frame(QVariant(QString("wide")), 900.0, 1.0, 2.0), QRect(1, 2, 1280, 720));
}

TEST(MainWindowRules, LargestScreenAndSimpleFrame) {
  QRect primary(0, 0, 1920, 1080), other(1920, 0, 2560, 1440), small(0, 1080, 1280, 720);
  EXPECT_EQ(MainWindowRules::maximumContentSize(primary, small, {primary, small}), QSize(1920, 1080));
  EXPECT_EQ(MainWindowRules::maximumContentSize(primary, primary, {primary, other}),
            QSize(2560, 1440));
  EXPECT_EQ(MainWindowRules::maximumContentSize(std::nullopt, std::nullopt, {}), QSize());

  // A 3840 x 1080 panorama at 128 high is 455.1 wide, taken to 455.
  auto simple = MainWindowRules::simpleFrame(3840, 1080, primary);
  ASSERT_TRUE(simple);
  EXPECT_EQ(simple->content, QSize(495, 128));
  EXPECT_EQ(simple->frame, QRect(1920 - 495 - 100, 108, 495, 128));
  EXPECT_FALSE(MainWindowRules::simpleFrame(0, 1080, primary));
}

TEST(MainWindowRules, CursorPerGestureWithItsHotSpot) {
  struct Row {
    MouseState state;
    const char* image;
    QPoint hot;
  };
  const Row rows[] = {
      {MouseState::anyMove, "icon_any_move", {13, 13}},
      {MouseState::anyDrag, "icon_drag", {13, 0}},
      {MouseState::hMove, "icon_h_move", {13, 6}},
      {MouseState::dragTop, "icon_top", {6, 10}},
      {MouseState::dragBottom, "icon_down", {6, 10}},
      {MouseState::dragLeft, "icon_left", {10, 6}},
      {MouseState::dragRight, "icon_right", {10, 6}},
      {MouseState::dragLeftTop, "icon_top_left", {10, 10}},
      {MouseState::dragLeftBottom, "icon_bottom_left", {10, 10}},
      {MouseState::dragRightTop, "icon_top_right", {10, 10}},
      {MouseState::dragRightBottom, "icon_bottom_right", {10, 10}},
  };
  for (const Row& row : rows) {
    auto cursor = MainWindowRules::cursorFor(row.state);
    ASSERT_TRUE(cursor) << row.image;
    EXPECT_EQ(cursor->image, row.image);
    EXPECT_EQ(cursor->hotSpot, row.hot) << row.image;
  }
  EXPECT_FALSE(MainWindowRules::cursorFor(MouseState::none));
  EXPECT_FALSE(MainWindowRules::cursorFor(MouseState::noDraw));
}

TEST(MainWindowRules, AddressesTheWindowOpens) {
  for (const char* ok : {"https://k.example", "http://k.example/a?b=c", "HTTPS://K.EXAMPLE"})
    EXPECT_TRUE(MainWindowRules::mayOpen(ok)) << ok;
  for (const char* refused : {"file:///etc/passwd", "ftp://k.example", "javascript:alert(1)",
                              "k.example", "", "https://", "https://k.example/ a",
                              "smb://host/share", "x-scheme-handler:run"})
    EXPECT_FALSE(MainWindowRules::mayOpen(refused)) << refused;

  corvane::CompanyModel company;
  company.data.kestovaUrl = "https://k.example";
  company.data.downloadUrl = "https://k.example/download";
  EXPECT_EQ(MainWindowRules::websiteAddress(company, "https://maker.example"), "https://k.example");
  EXPECT_EQ(MainWindowRules::websiteAddress(std::nullopt, "https://maker.example"),
            "https://maker.example");
  EXPECT_FALSE(MainWindowRules::websiteAddress(std::nullopt, ""));
  company.data.kestovaUrl.clear();
  EXPECT_EQ(MainWindowRules::websiteAddress(company, "https://maker.example"),
            "https://maker.example");

  EXPECT_EQ(MainWindowRules::downloadAddress(company, "https://vendor.example"),
            "https://k.example/download");
  EXPECT_EQ(MainWindowRules::downloadAddress(std::nullopt, "https://vendor.example"),
            "https://vendor.example");
  company.data.downloadUrl.clear();
  EXPECT_FALSE(MainWindowRules::downloadAddress(company, "https://vendor.example"));
  EXPECT_FALSE(MainWindowRules::downloadAddress(std::nullopt, ""));
}

}  // namespace
