#include <gtest/gtest.h>

#include "SelvoFaceInfo.h"
#include "SelvoPersonInfo.h"
#include "SelvoRoiPair.h"

using namespace orlith;

namespace {

SelvoRoiPair fullPair() {
  SelvoRoiPair p;
  p.name = "Ada";
  p.company = "Analytical";
  p.title = "Engineer";
  p.src_rect.rect = {10.25, 20.5, 300.125, 400.0625};
  p.src_rect.rect_id = 77;
  p.dst_rect.rect = {0, 0, 640, 360};
  p.dst_rect.rect_id = -1;
  p.scale = 0.3333333f;
  p.type = 2;
  p.is_dashed_line = true;
  p.edge_config = {1, 0, 1, 0};
  p.has_border = true;
  p.isThumbnail = true;
  p.has_pin_icon = true;
  p.has_voice_indicator_icon = true;
  p.has_anchor_point = true;
  p.has_banner_drag_icon = true;
  p.has_ignore_icon = true;
  p.roi_id = 1234567890123LL;
  p.has_nametag = true;
  p.has_nametag_inside = true;
  p.has_nametag_outside = true;
  return p;
}

}  // namespace

TEST(SelvoRecords, DefaultsMatchTheEmptyDictionary) {
  SelvoRoiPair fromEmpty{SelvoDictionary{}};
  SelvoRoiPair plain;
  EXPECT_EQ(fromEmpty, plain);
  EXPECT_FLOAT_EQ(plain.scale, 1.0f);
  EXPECT_EQ(plain.type, -1);
  EXPECT_EQ(plain.edge_config, (std::vector<int64_t>{1, 1, 1, 1}));
  EXPECT_EQ(plain.src_rect, SelvoRect{});
  EXPECT_EQ(plain.src_rect.rect_id, 0);

  SelvoRect r{SelvoDictionary{}};
  EXPECT_EQ(r.rect, (DoubleRect{0, 0, 0, 0}));
  EXPECT_EQ(r.rect_id, 0);

  SelvoPersonInfo person;
  EXPECT_EQ(person.person_id, 0);
  EXPECT_TRUE(person.name.empty());
  SelvoFaceInfo face;
  EXPECT_EQ(face.face_id, 0);
  EXPECT_FLOAT_EQ(face.similarity, 0.0f);
}

TEST(SelvoRecords, RoiPairRoundTripKeepsEveryFieldButThumbnail) {
  SelvoRoiPair original = fullPair();
  SelvoDictionary d = original.dictionary();
  EXPECT_EQ(d.size(), 19u);
  EXPECT_EQ(d.count("isThumbnail"), 0u);
  SelvoRoiPair back{d};
  EXPECT_FALSE(back.isThumbnail);
  back.isThumbnail = true;
  EXPECT_EQ(back, original);
  EXPECT_EQ(back.dictionary(), d);
}

TEST(SelvoRecords, RectRoundTrip) {
  SelvoRect r;
  r.rect = {1e-9, -5.5, 1e9, 3.0};
  r.rect_id = INT64_MIN;
  SelvoRect back{r.dictionary()};
  EXPECT_EQ(back, r);
}

TEST(SelvoRecords, IllTypedValuesLeaveDefaults) {
  SelvoDictionary d{{"scale", SelvoValue("big")},
                    {"roi_id", SelvoValue("seven")},
                    {"src_rect", SelvoValue(int64_t(5))},
                    {"has_border", SelvoValue(int64_t(1))},
                    {"edge_config", SelvoValue(SelvoArray{SelvoValue(1), SelvoValue("x")})},
                    {"name", SelvoValue(3.5)}};
  SelvoRoiPair p{d};
  EXPECT_EQ(p, SelvoRoiPair{});
}

TEST(SelvoRecords, NestedRectWithOnlyAnId) {
  SelvoDictionary d{{"dst_rect", SelvoValue(SelvoDictionary{{"rect_id", SelvoValue(42)}})}};
  SelvoRoiPair p{d};
  EXPECT_EQ(p.dst_rect.rect_id, 42);
  EXPECT_EQ(p.dst_rect.rect, (DoubleRect{}));
  EXPECT_EQ(p.src_rect, SelvoRect{});
}

TEST(SelvoRecords, PairsOwnTheirRectangles) {
  SelvoRoiPair a, b;
  a.src_rect.rect.x = 99;
  EXPECT_EQ(b.src_rect.rect.x, 0);
  SelvoRoiPair c = a;
  c.src_rect.rect.x = 1;
  EXPECT_EQ(a.src_rect.rect.x, 99);
}

TEST(SelvoValue, KeepsIntegersAndRealsApartAndCopiesDeeply) {
  SelvoValue whole(2.0);
  EXPECT_EQ(whole.type(), SelvoValue::Type::Real);
  EXPECT_EQ(whole.toInt(), 2);
  EXPECT_FALSE(SelvoValue(2.5).toInt());
  EXPECT_FALSE(SelvoValue(true).toInt());
  EXPECT_FALSE(SelvoValue(int64_t(1)).toBool());
  EXPECT_NE(SelvoValue(1), SelvoValue(1.0));

  SelvoValue nested(SelvoDictionary{{"a", SelvoValue(SelvoArray{SelvoValue(1), SelvoValue("t")})}});
  SelvoValue copy = nested;
  EXPECT_EQ(copy, nested);
  SelvoValue moved = std::move(copy);
  EXPECT_EQ(moved, nested);
  EXPECT_TRUE(copy.isNull());  // NOLINT(bugprone-use-after-move): a moved-from value is null
  EXPECT_NE(moved.toDictionary(), nested.toDictionary());
}
