#include <gtest/gtest.h>
#include <libyuv.h>

#include <cmath>
#include <random>
#include <vector>

#include "scaler/NV12Scaler.h"

using orlith::NV12Scaler;

namespace {

struct Nv12 {
  int w, h;
  std::vector<uint8_t> y, uv;
  Nv12(int w_, int h_) : w(w_), h(h_), y(size_t(w_) * h_), uv(size_t(w_) * (h_ / 2)) {}
};

// Runs both planes through the scaler the way a caller would.
Nv12 scale(const NV12Scaler& s, const Nv12& src, int dw, int dh) {
  Nv12 dst(dw, dh);
  std::vector<int> xp(dw), yp(dh);
  std::vector<int16_t> xw(2 * dw), yw(2 * dh);
  EXPECT_TRUE(s.build_resize_table_y(src.w, src.h, 0, dw, dh, 0, xp.data(), xw.data(), yp.data(), yw.data()));
  std::vector<int16_t> inter(size_t(dw) * src.h);
  s.resize_horizontal_y(src.y.data(), 0, src.h, src.w, inter.data(), dw, dw, 0, 0, xp.data(), xw.data());
  s.resize_vertical_y(inter.data(), dw, 0, 0, 0, dst.y.data(), dw, dh, dw, yp.data(), yw.data());

  std::vector<int> cxp(dw / 2), cyp(dh / 2);
  std::vector<int16_t> cxw(4 * (dw / 2)), cyw(2 * (dh / 2));
  EXPECT_TRUE(s.build_resize_table_uv(src.w, src.h, 0, dw, dh, 0, cxp.data(), cxw.data(), cyp.data(), cyw.data()));
  std::vector<int16_t> cinter(size_t(dw) * (src.h / 2));
  s.resize_horizontal_uv(src.uv.data(), 0, src.h, src.w, cinter.data(), dw, dw, 0, 0, cxp.data(), cxw.data());
  s.resize_vertical_uv(cinter.data(), dw, 0, 0, 0, dst.uv.data(), dw, dh, dw, cyp.data(), cyw.data());
  return dst;
}

}  // namespace

TEST(NV12Scaler, TablesFollowTheCornerAlignedRule) {
  NV12Scaler s;
  std::vector<int> xp(960), yp(540);
  std::vector<int16_t> xw(1920), yw(1080);
  ASSERT_TRUE(s.build_resize_table_y(1920, 1080, 0, 960, 540, 0, xp.data(), xw.data(), yp.data(), yw.data()));
  EXPECT_EQ(xp[479], 958);
  EXPECT_EQ(xw[958], 16384);
  EXPECT_EQ(xw[959], 0);
  EXPECT_EQ(xp[959], 1918);

  // Upscaling 2 -> 2 reaches f = S - 1 at the last column: position S - 2, weight all right.
  std::vector<int> p2(2), q2(2);
  std::vector<int16_t> w2(4), v2(4);
  ASSERT_TRUE(s.build_resize_table_y(2, 2, 0, 2, 2, 0, p2.data(), w2.data(), q2.data(), v2.data()));
  EXPECT_EQ(p2[1], 0);
  EXPECT_EQ(w2[2], 0);
  EXPECT_EQ(w2[3], 16384);

  // 3 -> 2: f = 1.5 rounds to a weight of exactly half.
  std::vector<int> p3(2), q3(2);
  std::vector<int16_t> w3(4), v3(4);
  ASSERT_TRUE(s.build_resize_table_y(3, 4, 0, 2, 2, 0, p3.data(), w3.data(), q3.data(), v3.data()));
  EXPECT_EQ(p3[1], 1);
  EXPECT_EQ(w3[3], 8192);

  // Chroma: byte offsets into the interleaved row, the same weights for U and V.
  std::vector<int> cx(480), cy(270);
  std::vector<int16_t> cxw(1920), cyw(540);
  ASSERT_TRUE(s.build_resize_table_uv(1920, 1080, 0, 960, 540, 0, cx.data(), cxw.data(), cy.data(), cyw.data()));
  EXPECT_EQ(cx[100], 400);
  EXPECT_EQ(cxw[400], cxw[402]);
  EXPECT_EQ(cxw[401], cxw[403]);
}

TEST(NV12Scaler, EqualSizesReproduceThePictureExactly) {
  NV12Scaler s;
  Nv12 src(64, 38);
  std::mt19937 rng(7);
  for (auto& v : src.y) v = uint8_t(rng());
  for (auto& v : src.uv) v = uint8_t(rng());
  Nv12 out = scale(s, src, 64, 38);
  EXPECT_EQ(out.y, src.y);
  EXPECT_EQ(out.uv, src.uv);
}

TEST(NV12Scaler, SmoothPicturesAgreeWithLibyuvOnOddSizes) {
  NV12Scaler s;
  Nv12 src(1280, 720);
  for (int r = 0; r < src.h; ++r)
    for (int c = 0; c < src.w; ++c) src.y[size_t(r) * src.w + c] = uint8_t((c * 255) / src.w / 2 + (r * 255) / src.h / 2);
  for (int r = 0; r < src.h / 2; ++r)
    for (int c = 0; c < src.w / 2; ++c) {
      src.uv[size_t(r) * src.w + 2 * c] = uint8_t(64 + c * 128 / (src.w / 2));
      src.uv[size_t(r) * src.w + 2 * c + 1] = uint8_t(200 - r * 100 / (src.h / 2));
    }
  for (auto [dw, dh] : {std::pair{642, 362}, std::pair{1001, 500}, std::pair{1918, 1078}}) {
    Nv12 ours = scale(s, src, dw, dh);
    Nv12 ref(dw, dh);
    int rw = dw, rh = dh;
    ASSERT_EQ(libyuv::NV12Scale(src.y.data(), src.w, src.uv.data(), src.w, src.w, src.h, ref.y.data(), dw,
                                ref.uv.data(), dw, rw, rh, libyuv::kFilterBilinear), 0);
    int worst = 0;
    for (int r = 0; r < dh; ++r)
      for (int c = 0; c < dw; ++c) worst = std::max(worst, std::abs(ours.y[size_t(r) * dw + c] - ref.y[size_t(r) * dw + c]));
    EXPECT_LE(worst, 3) << dw << "x" << dh;
    int worstUV = 0;
    for (int r = 0; r < dh / 2; ++r)
      for (int c = 0; c < (dw / 2) * 2; ++c) worstUV = std::max(worstUV, std::abs(ours.uv[size_t(r) * dw + c] - ref.uv[size_t(r) * dw + c]));
    EXPECT_LE(worstUV, 3) << dw << "x" << dh;
  }
}

TEST(NV12Scaler, ChromaPassWithFewerThanTwoRowsLeavesTheBufferUntouched) {
  NV12Scaler s;
  std::vector<uint8_t> src(8, 100);
  std::vector<int> xp = {0, 2};
  std::vector<int16_t> xw = {16384, 0, 16384, 0, 16384, 0, 16384, 0};
  std::vector<int16_t> inter(4, -7);
  s.resize_horizontal_uv(src.data(), 0, 1, 8, inter.data(), 4, 4, 0, 0, xp.data(), xw.data());
  EXPECT_EQ(inter, std::vector<int16_t>(4, -7));
}

TEST(NV12Scaler, RefusesSizesItCannotInterpolate) {
  NV12Scaler s;
  std::vector<int> xp(4, -1), yp(4, -1);
  std::vector<int16_t> xw(8), yw(8);
  EXPECT_FALSE(s.build_resize_table_y(1, 10, 0, 4, 4, 0, xp.data(), xw.data(), yp.data(), yw.data()));
  EXPECT_FALSE(s.build_resize_table_uv(2, 2, 0, 4, 4, 0, xp.data(), xw.data(), yp.data(), yw.data()));
  EXPECT_FALSE(s.build_resize_table_y(10, 10, 0, 4, 4, 0, nullptr, xw.data(), yp.data(), yw.data()));
  EXPECT_EQ(xp[0], -1);
}
