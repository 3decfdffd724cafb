#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <set>

#include "config/ConfigManager.h"
#include "render/BorderView.h"

using corvane::BorderMode;
using corvane::BorderProperty;
using corvane::BorderView;

namespace {

BorderProperty record(double x, double y, double w, double h,
                      BorderMode mode = BorderMode::normal) {
  BorderProperty b;
  b.points = {{x, y}, {x, y + h}, {x + w, y + h}, {x + w, y}, {x, y}};
  b.width = float(w);
  b.height = float(h);
  b.mode = mode;
  b.lineWidth = 4;  // whole pixels under the edges, for sampling
  b.id = 1;
  return b;
}

class BorderViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    config.rectColor = QColor(200, 0, 0, 90);  // the setting's alpha is dropped
    config.trackColor = QColor(0, 200, 0);
    config.speakColor = QColor(0, 0, 200);
    config.ignoreColor = QColor(200, 200, 0);
    config.focusColor = QColor(0, 200, 200);
  }
  QImage render(double width = 997, double height = 400) {
    QImage image(int(width), int(height), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    view.draw(painter, QSizeF(width, height));
    return image;
  }
  corvane::ConfigManager config{corvane::ConfigManager::Environment{}};
  BorderView view{config, nullptr};
};

}  // namespace

TEST_F(BorderViewTest, OutlinesInTheColourOfTheirMode) {
  const std::pair<BorderMode, QColor> rows[] = {
      {BorderMode::normal, QColor(200, 0, 0)},   {BorderMode::editing, QColor(200, 0, 0)},
      {BorderMode::tracking, QColor(0, 200, 0)}, {BorderMode::speak, QColor(0, 0, 200)},
      {BorderMode::ignore, QColor(200, 200, 0)}, {BorderMode::focus, QColor(0, 200, 200)},
      {BorderMode::pip, QColor(0, 200, 200)}};
  for (const auto& [mode, colour] : rows) {
    SCOPED_TRACE(int(mode));
    view.setBorders({record(100, 100, 200, 100, mode)});
    QImage image = render();
    QColor edge = image.pixelColor(200, 100);
    EXPECT_EQ(edge, colour);
    EXPECT_EQ(image.pixelColor(200, 150).alpha(), 0);  // inside stays clear
  }
}

TEST_F(BorderViewTest, DashedOutlinesAreWhiteAndBroken) {
  auto runs = [](const QImage& image, int y) {
    int changes = 0;
    bool last = image.pixelColor(110, y).alpha() > 0;
    for (int x = 111; x < 290; ++x) {
      bool on = image.pixelColor(x, y).alpha() > 0;
      changes += on != last;
      last = on;
    }
    return changes;
  };
  BorderProperty solid = record(100, 100, 200, 100);
  view.setBorders({solid});
  EXPECT_EQ(runs(render(), 100), 0);
  BorderProperty dashed = solid;
  dashed.isDashed = true;
  view.setBorders({dashed});
  QImage image = render();
  EXPECT_GT(runs(image, 100), 20);  // 5 on, 5 off along 180 pixels
  std::set<QRgb> colours;
  for (int x = 110; x < 290; ++x)
    if (image.pixelColor(x, 100).alpha() == 255) colours.insert(image.pixel(x, 100));
  EXPECT_EQ(colours, std::set<QRgb>{qRgb(255, 255, 255)});
}

TEST_F(BorderViewTest, EditModeDrawsSevenDashedGridLinesOnly) {
  view.setBorders({record(100, 100, 200, 100)});
  view.setInEditMode(true);
  QImage image = render(800, 200);
  std::vector<int> columns;
  for (int x = 0; x < 800; ++x) {
    bool any = false;
    for (int y = 0; y < 200 && !any; ++y) any = image.pixelColor(x, y).alpha() > 0;
    if (any && (columns.empty() || columns.back() + 1 < x)) columns.push_back(x);
  }
  EXPECT_EQ(columns.size(), 7u);
  EXPECT_EQ(image.pixelColor(150, 100).alpha(), 0);  // no outline
  // Half-transparent white, broken along the line.
  int on = 0;
  for (int y = 0; y < 200; ++y) on += image.pixelColor(100, y).alpha() > 0;
  EXPECT_GT(on, 60);
  EXPECT_LT(on, 140);
}

TEST(BorderViewGeometry, TagPlacement) {
  QSizeF text(40, 12);  // measured; the box is 18 high at least
  QSizeF view(997, 400);
  // Room above: above the box.
  EXPECT_EQ(BorderView::tagRect({100, 100}, 50, text, 1, view, 1.5), QRectF(99, 78, 65, 22));
  // Top edge at 0: below the box.
  EXPECT_EQ(BorderView::tagRect({100, 0}, 50, text, 1, view, 1.5), QRectF(99, 50, 65, 22));
  // Full height: inside the top-left corner.
  EXPECT_EQ(BorderView::tagRect({100, 0}, 400, text, 1, view, 1.5), QRectF(100.5, 1.5, 65, 22));
  // Near the right edge: pushed left to end at the edge.
  EXPECT_EQ(BorderView::tagRect({980, 100}, 50, text, 1, view, 1.5), QRectF(932, 78, 65, 22));
  // Scaled, and a two-line text taller than 18.
  EXPECT_EQ(BorderView::tagRect({100, 100}, 50, QSizeF(40, 26), 0.5, view, 1.5),
            QRectF(99, 85, 32.5, 15));
}

TEST(BorderViewGeometry, HandlesAndWhenTheyShow) {
  auto points = BorderView::handlePoints({10, 20}, 100, 50);
  const std::array<QPointF, 8> expected = {QPointF(10, 20), QPointF(60, 20),  QPointF(110, 20),
                                           QPointF(10, 45), QPointF(110, 45), QPointF(10, 70),
                                           QPointF(60, 70), QPointF(110, 70)};
  EXPECT_EQ(points, expected);
  struct Row {
    bool anchor, dashed;
    BorderMode mode;
    int64_t selected;
    bool shows;
  };
  const Row rows[] = {
      {true, false, BorderMode::normal, -1, true},     // anchored
      {true, false, BorderMode::tracking, 1, false},   // tracking never
      {false, false, BorderMode::normal, 1, true},     // selected
      {false, true, BorderMode::normal, 1, false},     // selected but dashed
      {false, false, BorderMode::normal, 2, false},    // another one selected
      {false, false, BorderMode::normal, -1, false},   // nothing selected
      {false, false, BorderMode::tracking, 1, false},  // selected tracking
  };
  for (const Row& row : rows) {
    BorderProperty b;
    b.id = 1;
    b.hasAnchor = row.anchor;
    b.isDashed = row.dashed;
    b.mode = row.mode;
    EXPECT_EQ(BorderView::showsHandles(b, row.selected), row.shows)
        << row.anchor << row.dashed << int(row.mode) << row.selected;
  }
}

TEST(BorderViewGeometry, TagTextAndIconSizes) {
  BorderProperty b;
  b.id = 4;
  b.name = "Ann";
  EXPECT_EQ(BorderView::tagText(b, -1), "Ann");
  EXPECT_EQ(BorderView::tagText(b, 4), "Company\nTitle");
  b.company = "Kestova";
  b.title = "Chair";
  EXPECT_EQ(BorderView::tagText(b, 4), "Kestova\nChair");
  EXPECT_GT(BorderView::measureTagText("Company\nTitle").height(),
            BorderView::measureTagText("Ann").height());
  // At 997 points wide the icons have their nominal sizes.
  b.points = {{100, 50}};
  b.width = 200;
  b.height = 100;
  auto at = BorderView::decorationRects(b, 997.0 / BorderView::kReferenceWidth);
  EXPECT_EQ(at.pin, QRectF(282, 50, 18, 18));
  EXPECT_EQ(at.microphone, QRectF(88, 38, 24, 24));
  EXPECT_EQ(at.move, QRectF(268, 117, 32, 33));
}

TEST_F(BorderViewTest, TagsHandlesAndIconsAreDrawn) {
  BorderProperty b = record(100, 100, 200, 100, BorderMode::speak);
  b.hasTag = true;
  b.name = "Ann";
  b.hasPin = true;
  b.hasAnchor = true;
  view.setBorders({b});
  QImage image = render();
  auto painted = [&](QRectF r) {
    int n = 0;
    for (int y = int(r.top()); y < int(r.bottom()); ++y)
      for (int x = int(r.left()); x < int(r.right()); ++x) n += image.pixelColor(x, y).alpha() > 0;
    return n;
  };
  QRectF tag = BorderView::tagRect({100, 100}, 100, BorderView::measureTagText("Ann"), 1,
                                   QSizeF(997, 400), 4);
  EXPECT_GT(painted(tag.adjusted(2, 2, -2, -2)), tag.width() * tag.height() / 2);
  EXPECT_GT(painted(QRectF(282, 104, 18, 14)), 0);  // pin
  EXPECT_GT(painted(QRectF(194, 194, 12, 12)), 0);  // bottom-middle handle
  // A tag on a ROI at x = 0 is left out.
  b.points = {{0, 100}, {0, 200}, {200, 200}, {200, 100}, {0, 100}};
  b.hasPin = b.hasAnchor = false;
  b.mode = BorderMode::normal;
  view.setBorders({b});
  image = render();
  EXPECT_EQ(painted(QRectF(0, 60, 80, 36)), 0);
}

TEST_F(BorderViewTest, TheMicrophoneIsMirroredWithThePreview) {
  ASSERT_FALSE(view.microphoneIcon.isNull());
  BorderProperty b = record(200, 100, 200, 100, BorderMode::speak);
  b.lineWidth = 0.01f;  // a hairline that leaves the icon's pixels to compare
  view.setBorders({b});
  QRect place = BorderView::decorationRects(b, 1).microphone.toRect();
  QImage plain = render().copy(place);
  view.setMirror(true);
  QImage flipped = render().copy(place);
  EXPECT_NE(plain, flipped);
  // The one is the other mirrored.
  QImage expected = plain.mirrored(true, false);
  int differing = 0;
  for (int y = 0; y < place.height(); ++y)
    for (int x = 0; x < place.width(); ++x)
      differing += qAbs(qAlpha(expected.pixel(x, y)) - qAlpha(flipped.pixel(x, y))) > 64;
  EXPECT_LT(differing, place.width() * place.height() / 10);
}

TEST_F(BorderViewTest, ARecordWithoutPointsDrawsNothingAndMissingTagPicturesStillShowTheTag) {
  BorderProperty empty;
  empty.hasTag = true;
  empty.name = "x";
  view.setBorders({empty});
  QImage image = render();
  for (int y = 0; y < image.height(); y += 7)
    for (int x = 0; x < image.width(); x += 7) ASSERT_EQ(image.pixelColor(x, y).alpha(), 0);
}

TEST_F(BorderViewTest, TheOverlayTakesNoMouseEventAndRepaintsOnChanges) {
  EXPECT_TRUE(view.testAttribute(Qt::WA_TransparentForMouseEvents));
  view.setSelectedRectId(3);
  view.setHoveringRectId(4);
  EXPECT_EQ(view.selectedRectId(), 3);
  EXPECT_EQ(view.hoveringRectId(), 4);
}

TEST_F(BorderViewTest, TheShownLayersFollowEveryChangeAndAreDrawnOncePerChange) {
  view.resize(400, 200);
  auto shown = [&] { return view.grab().toImage(); };
  // Dashes of the user's ROI on its left edge.
  auto dashes = [](const QImage& image) {
    int white = 0;
    for (int y = 20; y < 180; ++y) white += image.pixelColor(10, y) == QColor(Qt::white);
    return white;
  };
  // The user's dashed ROI round the picture and a tracking box that moves with its person.
  BorderProperty own = record(10, 10, 380, 180);
  own.isDashed = true;
  own.id = 2;
  BorderProperty box = record(50, 50, 100, 60, BorderMode::tracking);
  view.setBorders({own, box});
  QImage image = shown();
  EXPECT_EQ(image.pixelColor(100, 50), QColor(0, 200, 0));
  EXPECT_GT(dashes(image), 40);
  const int first = view.layerDraws();
  EXPECT_EQ(first, 2);

  // The same records again (each analysed frame hands them over) and repaints: no new drawing.
  view.setBorders({own, box});
  shown();
  shown();
  EXPECT_EQ(view.layerDraws(), first);

  // The tracking box moves: only its layer is drawn again; it shows where it is now, is gone
  // from where it was, and the user's ROI stays.
  box = record(200, 100, 100, 60, BorderMode::tracking);
  view.setBorders({own, box});
  image = shown();
  EXPECT_EQ(view.layerDraws(), first + 1);
  EXPECT_EQ(image.pixelColor(250, 100), QColor(0, 200, 0));
  EXPECT_NE(image.pixelColor(100, 50), QColor(0, 200, 0));
  EXPECT_GT(dashes(image), 40);

  // A colour changed in the settings shows at the next paint.
  config.trackColor = QColor(200, 0, 200);
  EXPECT_EQ(shown().pixelColor(250, 100), QColor(200, 0, 200));
  EXPECT_EQ(view.layerDraws(), first + 3);

  // The user's ROI gone: drawn again without it.
  view.setBorders({box});
  image = shown();
  EXPECT_EQ(view.layerDraws(), first + 4);
  EXPECT_EQ(dashes(image), 0);

  // Selection brings the handles (a user's box: tracking boxes have none); a new size draws the
  // layers for that size; replaced icons are drawn too.
  box.mode = BorderMode::normal;
  view.setBorders({box});
  view.setSelectedRectId(box.id);
  const int before = view.layerDraws();
  shown();
  EXPECT_EQ(view.layerDraws(), before + 2);
  view.resize(600, 300);
  EXPECT_EQ(shown().size(), QSize(600, 300));
  EXPECT_EQ(view.layerDraws(), before + 4);
  view.anchorIcon = QImage(12, 12, QImage::Format_ARGB32_Premultiplied);
  view.anchorIcon.fill(Qt::blue);
  image = shown();
  EXPECT_EQ(image.pixelColor(200, 100), QColor(Qt::blue));  // the top-left handle
}
