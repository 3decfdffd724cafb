#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "main/MainController.h"

using corvane::BorderMode;
using corvane::BorderProperty;
using corvane::MainController;

namespace {

using Ref = std::shared_ptr<orlith::SelvoRoiPair>;

Ref pair(int64_t id, int64_t type, double x, double y, double w, double h, bool border = true) {
  auto p = std::make_shared<orlith::SelvoRoiPair>();
  p->roi_id = id;
  p->type = type;
  p->dst_rect.rect = {x, y, w, h};
  p->dst_rect.rect_id = id;
  p->has_border = border;
  return p;
}

std::vector<QPointF> box(double x, double y, double w, double h) {
  return {{x, y}, {x, y + h}, {x + w, y + h}, {x + w, y}, {x, y}};
}

}  // namespace

TEST(MakeBorders, OutlineScaledToTheOverlay) {
  auto p = pair(7, 0, 100, 20, 200, 100);
  p->name = "Ann";
  p->title = "Chair";
  p->company = "Kestova";
  p->has_nametag = true;
  p->has_pin_icon = true;
  p->has_anchor_point = true;
  p->is_dashed_line = true;
  auto borders = MainController::makeBorders({p}, 640, true);
  ASSERT_EQ(borders.size(), 1u);
  const BorderProperty& b = borders[0];
  EXPECT_EQ(b.points, box(50, 10, 100, 50));
  EXPECT_EQ(b.width, 100.0f);
  EXPECT_EQ(b.height, 50.0f);
  EXPECT_EQ(b.lineWidth, 1.5f);
  EXPECT_EQ(b.lineAlpha, 1.0f);
  EXPECT_EQ(b.mode, BorderMode::normal);
  EXPECT_EQ(b.name, "Ann");
  EXPECT_EQ(b.title, "Chair");
  EXPECT_EQ(b.company, "Kestova");
  EXPECT_TRUE(b.hasTag && b.hasPin && b.hasAnchor && b.isDashed);
  EXPECT_FALSE(b.hasIgnore);
  EXPECT_EQ(b.id, 7);
}

TEST(MakeBorders, ModesWrapsAndFilters) {
  struct Row {
    int64_t type;
    bool ignoreIcon;
    double x, w;
    bool border;
    BorderMode mode;
    size_t count;
  };
  const Row rows[] = {
      {0, false, 100, 200, true, BorderMode::normal, 1},
      {1, false, 100, 200, true, BorderMode::tracking, 1},
      {2, false, 100, 200, true, BorderMode::speak, 1},
      {2, true, 100, 200, true, BorderMode::ignore, 1},  // the icon wins over the type
      {11, false, 100, 200, true, BorderMode::focus, 1},
      {12, false, 100, 200, true, BorderMode::pip, 1},
      {42, false, 100, 200, true, BorderMode::normal, 1},
      // Crossing 1280: a second outline at x - 1280, except for focus and picture-in-picture.
      {0, false, 1200, 200, true, BorderMode::normal, 2},
      {1, false, 1200, 200, true, BorderMode::tracking, 2},
      {2, false, 1200, 200, true, BorderMode::speak, 2},
      {0, true, 1200, 200, true, BorderMode::ignore, 2},
      {11, false, 1200, 200, true, BorderMode::focus, 1},
      {12, false, 1200, 200, true, BorderMode::pip, 1},
      // Ending exactly at 1280: one.
      {0, false, 1080, 200, true, BorderMode::normal, 1},
      // No border: nothing, whatever else it carries.
      {0, false, 100, 200, false, BorderMode::normal, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.type << " " << row.ignoreIcon << " " << row.x);
    auto p = pair(3, row.type, row.x, 0, row.w, 100, row.border);
    p->has_ignore_icon = row.ignoreIcon;
    p->has_pin_icon = true;
    p->has_nametag = true;
    p->name = "N";
    auto borders = MainController::makeBorders({p}, 1280, true);
    ASSERT_EQ(borders.size(), row.count);
    for (const auto& b : borders) EXPECT_EQ(b.mode, row.mode);
    if (row.count == 2) {
      EXPECT_EQ(borders[1].points, box(row.x - 1280, 0, row.w, 100));
      EXPECT_EQ(borders[1].id, borders[0].id);
      EXPECT_EQ(borders[1].hasPin, borders[0].hasPin);
    }
  }
}

TEST(MakeBorders, OrderOfThePairsAndTheIgnoreMarkOutsideEditing) {
  auto a = pair(1, 0, 0, 0, 10, 10);
  auto b = pair(2, 0, 1275, 0, 10, 10);
  auto c = pair(3, 0, 20, 0, 10, 10);
  c->has_ignore_icon = true;
  auto borders = MainController::makeBorders({a, b, c}, 1280, true);
  ASSERT_EQ(borders.size(), 4u);
  EXPECT_EQ(borders[0].id, 1);
  EXPECT_EQ(borders[1].id, 2);
  EXPECT_EQ(borders[2].id, 2);
  EXPECT_EQ(borders[3].id, 3);
  EXPECT_TRUE(borders[3].hasIgnore);
  // In an edit mode the mark keeps its default; the mode still says ignore.
  auto editing = MainController::makeBorders({c}, 1280, false);
  EXPECT_FALSE(editing[0].hasIgnore);
  EXPECT_EQ(editing[0].mode, BorderMode::ignore);
  EXPECT_TRUE(MainController::makeBorders({}, 1280, true).empty());
}

TEST(MergeTypes, ByIdLastMatchWinsSeenByEveryHolder) {
  MainController::RoiPairs output = {pair(1, 0, 0, 0, 1, 1), pair(2, 5, 0, 0, 1, 1),
                                     pair(3, 0, 0, 0, 1, 1)};
  MainController::RoiPairs control = {pair(1, 2, 0, 0, 1, 1), pair(3, 1, 0, 0, 1, 1),
                                      pair(3, 11, 0, 0, 1, 1)};
  MainController::RoiPairs otherHolder = output;
  MainController::mergeTypes(output, control);
  EXPECT_EQ(output[0]->type, 2);
  EXPECT_EQ(output[1]->type, 5);   // no counterpart: its own type
  EXPECT_EQ(output[2]->type, 11);  // the later control pair of that id
  EXPECT_EQ(otherHolder[2]->type, 11);
  EXPECT_EQ(output.size(), 3u);
  EXPECT_EQ(control[1]->type, 1);  // the control list is left as it was
}
