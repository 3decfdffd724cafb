#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "util/RoiOverlay.h"
#include "util/WebAddress.h"

namespace corvane {
namespace {

// A quad from x0 to x1 across, y0 to y1 down.
RectPoint box(double x0, double x1, double y0 = 0.2, double y1 = 0.8) {
  RectPoint q;
  q.x1 = x0, q.y1 = y0, q.x2 = x1, q.y2 = y0, q.x3 = x1, q.y3 = y1, q.x4 = x0, q.y4 = y1;
  return q;
}

// Left and right of each quad, rounded to a thousandth.
std::vector<std::pair<double, double>> spans(const std::vector<RectPoint>& quads) {
  std::vector<std::pair<double, double>> out;
  auto r = [](double v) { return std::round(v * 1000) / 1000; };
  for (const auto& q : quads) out.push_back({r(q.x1), r(q.x2)});
  return out;
}

using Spans = std::vector<std::pair<double, double>>;
constexpr double L = RoiOverlay::kFarLeft;
constexpr double R = RoiOverlay::kFarRight;

TEST(RoiOverlay, WrapsIntoTheTurnAndMirrors) {
  struct Case {
    double x, base;
    bool mirror, rightSide;
    double expected;
  };
  const Case cases[] = {
      {0.5, 0.25, false, false, 0.25},  {0.5, 0.25, true, false, 0.75},
      {0.1, 0.25, false, false, 0.85},  {0.1, 0.25, true, false, 0.15},
      {0.6, 0.5, false, false, 0.1},    {0.2, 0.5, false, false, 0.7},
      {0.25, 0.25, false, false, 0.0},  {0.25, 0.25, false, true, 1.0},
      {1.0, 0.0, false, true, 1.0},     {1.0, 0.0, false, false, 0.0},
      {0.3, -1.7, false, false, 0.0},   {2.4, 0.4, false, false, 0.0},
      {-1e-17, 0.0, false, false, 0.0},
  };
  for (const auto& c : cases)
    EXPECT_NEAR(RoiOverlay::wrappedX(c.x, c.base, c.mirror, c.rightSide), c.expected, 1e-12)
        << c.x << " base " << c.base << " mirror " << c.mirror << " right " << c.rightSide;
  EXPECT_TRUE(std::isnan(RoiOverlay::wrappedX(NAN, 0, false)));
}

TEST(RoiOverlay, BaseHalfShiftsSplitsAtTheEdgeAndMirrors) {
  const std::vector<RectPoint> rois = {box(0.6, 0.8), box(0.2, 0.4), box(0.4, 0.6)};
  EXPECT_EQ(spans(RoiOverlay::overlayQuads(rois, 0.5, false)),
            (Spans{{0.1, 0.3}, {0.7, 0.9}, {L, 0.1}, {0.9, R}}))
      << "the piece split off comes before its quad";
  // Mirrored quads run right to left: x1 is the right side.
  EXPECT_EQ(spans(RoiOverlay::overlayQuads(rois, 0.5, true)),
            (Spans{{0.9, 0.7}, {0.3, 0.1}, {R, 0.9}, {0.1, L}}));
}

TEST(RoiOverlay, OnlyQuadsAcrossTheEdgeAreSplit) {
  EXPECT_EQ(RoiOverlay::splitWrappedQuad(box(0.2, 0.4), false).size(), 1u);
  EXPECT_EQ(RoiOverlay::splitWrappedQuad(box(0.4, 0.2), true).size(), 1u);
  EXPECT_EQ(RoiOverlay::splitWrappedQuad(box(0.9, 0.1), false).size(), 2u);
  EXPECT_EQ(RoiOverlay::splitWrappedQuad(box(0.1, 0.9), true).size(), 2u);
  RectPoint skew = box(0.2, 0.4);
  skew.x3 = 0.1;  // only the bottom edge crosses
  auto pieces = RoiOverlay::splitWrappedQuad(skew, false);
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[1].x3, R);
  EXPECT_EQ(pieces[0].x4, L);
  EXPECT_EQ(pieces[0].y1, 0.2) << "y is never touched";
  // Quads ending exactly at the right edge, or starting at the base, stay whole.
  EXPECT_EQ(spans(RoiOverlay::overlayQuads({box(0.8, 1.0)}, 0.0, false)), (Spans{{0.8, 1.0}}));
  EXPECT_EQ(spans(RoiOverlay::overlayQuads({box(0.05, 0.25)}, 0.25, false)), (Spans{{0.8, 1.0}}));
  EXPECT_EQ(spans(RoiOverlay::overlayQuads({box(0.25, 0.5)}, 0.25, true)), (Spans{{1.0, 0.75}}));
}

TEST(RoiOverlay, LineWidthFollowsThePictureHeight) {
  EXPECT_EQ(RoiOverlay::lineWidth(40), 2.0);
  EXPECT_EQ(RoiOverlay::lineWidth(49.9), 2.0);
  EXPECT_EQ(RoiOverlay::lineWidth(50), 10.0);
  EXPECT_EQ(RoiOverlay::lineWidth(1080), 10.0);
}

TEST(RoiOverlay, PolygonMeasuresYDownFromTheTop) {
  const QPolygonF p = RoiOverlay::polygon(box(0.25, 0.5, 0.1, 0.9), QSizeF(200, 100));
  ASSERT_EQ(p.size(), 4);
  EXPECT_EQ(p[0], QPointF(50, 10));
  EXPECT_EQ(p[1], QPointF(100, 10));
  EXPECT_EQ(p[2], QPointF(100, 90));
  EXPECT_EQ(p[3], QPointF(50, 90));
}

TEST(RoiOverlay, DrawsTransparentWithStrokesOnlyWhereTheFramesLie) {
  const QColor tint(40, 150, 245);
  // Base 0.25: a frame from 0.5 to 0.7 is drawn from a quarter of the width.
  const QImage image = RoiOverlay::draw(RoiOverlay::overlayQuads({box(0.5, 0.7)}, 0.25, false),
                                        QSize(400, 100), tint);
  ASSERT_EQ(image.size(), QSize(400, 100));
  EXPECT_EQ(image.pixelColor(100, 50).rgb(), tint.rgb()) << "left side at a quarter";
  EXPECT_EQ(image.pixelColor(180, 50).rgb(), tint.rgb()) << "right side at 0.45";
  EXPECT_EQ(image.pixelColor(140, 50).alpha(), 0) << "inside stays clear";
  EXPECT_EQ(image.pixelColor(300, 50).alpha(), 0);
  EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0);
  EXPECT_EQ(image.pixelColor(96, 50).rgb(), tint.rgb()) << "ten pixels wide from 95 to 105";
  EXPECT_EQ(image.pixelColor(92, 50).alpha(), 0);

  // Mirrored, the same corner lies at three quarters.
  const QImage mirrored = RoiOverlay::draw(RoiOverlay::overlayQuads({box(0.5, 0.7)}, 0.25, true),
                                           QSize(400, 100), tint);
  EXPECT_EQ(mirrored.pixelColor(300, 50).rgb(), tint.rgb());
  EXPECT_EQ(mirrored.pixelColor(100, 50).alpha(), 0);

  // A low picture gets thin lines; a split frame shows at both edges without closing sides.
  const QImage low =
      RoiOverlay::draw(RoiOverlay::overlayQuads({box(0.4, 0.6)}, 0.5, false), QSize(400, 40), tint);
  EXPECT_EQ(low.pixelColor(360, 20).rgb(), tint.rgb()) << "the piece at 0.9";
  EXPECT_EQ(low.pixelColor(40, 20).rgb(), tint.rgb()) << "the piece ending at 0.1";
  EXPECT_EQ(low.pixelColor(43, 20).alpha(), 0) << "two pixels wide";
  EXPECT_EQ(low.pixelColor(399, 20).alpha(), 0) << "no closing side at the right edge";
  EXPECT_EQ(low.pixelColor(0, 20).alpha(), 0) << "nor at the left";
  EXPECT_EQ(low.pixelColor(380, 8).rgb(), tint.rgb()) << "the top runs to the edge";

  EXPECT_TRUE(RoiOverlay::draw({box(0.1, 0.2)}, QSize(0, 10), tint).isNull());
}

TEST(WebAddress, OnlyWebPagesWithAHost) {
  for (const char* ok : {"https://kestova.example/about", "http://kestova.example"})
    EXPECT_TRUE(WebAddress::isWebAddress(QString(ok))) << ok;
  for (const char* bad : {"", "kestova.example", "file:///etc/passwd", "javascript:alert(1)",
                          "https://", "https://exa mple.com", "ftp://kestova.example", "/bin/sh"})
    EXPECT_FALSE(WebAddress::isWebAddress(QString(bad))) << bad;
}

}  // namespace
}  // namespace corvane
