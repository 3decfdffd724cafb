// Perspective parameters of a tile against cases computed independently (in double precision
// from the same definitions), plus identity and degenerate cases.
#include <gtest/gtest.h>

#include <cmath>

#include "render/PerspectiveProjection.h"

using namespace corvane;

namespace {

struct ProjectionCase {
  int W, Hs, Ho;
  struct {
    int type, max_hfov, max_vfov, hfov, vfov, width, height;
  } projection;
  int api;
  bool is360;
  int verticalFov;
  float dst[4], src[4];
  // angle, projection_hfov_max, max_height_range, offset_height, camera_hfov, camera_vfov,
  // roi_hfov, roi_vfov, roi_r, upper_y, bottom_y, unused
  double expected[12];
  double matrix[9];  // columns
};

const ProjectionCase kCases[] = {
    // eqt 360, mid, tile left of centre
    {3840,
     1080,
     720,
     {0, 360, 180, 360, 101, 3840, 1080},
     7,
     true,
     1,
     {0, 0, 1280, 720},
     {1000, 200, 960, 540},
     {0.00163624609, 2.0943952, 1920, 420, 6.283185, 1.76714578, 1.57079625, 1.02477885, 640.000049,
      0, 720, 0},
     {0.746913606, 0.659345789, -0.0859255282, -0.655025606, 0.751839831, 0.0753546605, 0.114287013,
      0, 0.993447774}},
    // eqt 360, top, tile low
    {3840,
     1080,
     720,
     {0, 360, 180, 360, 101, 3840, 1080},
     7,
     true,
     0,
     {640, 0, 640, 720},
     {2400, 600, 480, 400},
     {0.00163624609, 2.0943952, 1920, 0, 6.283185, 1.76714578, 0.785398125, 0.872143099, 772.548382,
      0, 720, 0},
     {0.369643858, -0.92387951, -0.0990457894, 0.89239907, 0.382683486, -0.239117649, 0.258819085,
      0, 0.965925816}},
    // eqt 360, down, tile high
    {3840,
     1080,
     720,
     {0, 360, 180, 360, 101, 3840, 1080},
     7,
     true,
     2,
     {0, 0, 640, 360},
     {300, 0, 500, 300},
     {0.00163624609, 2.0943952, 1920, 840, 6.283185, 1.76714578, 0.818123047, 0.478369295,
      738.150549, 0, 720, 0},
     {-0.620911672, 0.783286817, -0.0305033996, -0.782343316, -0.621660488, -0.0384340187,
      -0.0490676184, 0, 0.998795459}},
    // cylinder 360, mid
    {3840,
     1080,
     720,
     {1, 360, 120, 360, 90, 3840, 1080},
     7,
     true,
     1,
     {0, 0, 1280, 720},
     {2000, 100, 800, 450},
     {0.00163624609, 2.0943952, 2117, 518, 6.283185, 1.44732935, 1.30899687, 0.81493128, 834.064294,
      0, 720, 0},
     {0.671950335, -0.707106754, -0.22018807, 0.671950283, 0.707106808, -0.220188053, 0.311392942,
      0, 0.95028124}},
    // cylinder old api, top
    {3840,
     1080,
     720,
     {1, 360, 120, 360, 90, 3840, 1080},
     5,
     true,
     0,
     {0, 0, 960, 720},
     {100, 50, 700, 500},
     {0.00163624609, 2.0943952, 1584, 0, 6.283185, 1.35395122, 1.14537227, 0.900840693, 744.457511,
      0, 720, 0},
     {-0.66288966, 0.671559042, 0.331037387, -0.600808309, -0.740951046, 0.300034869, 0.446773627,
      0, 0.89464704}},
    // panini 180, mid
    {3840,
     1080,
     720,
     {2, 180, 90, 180, 70, 3840, 1080},
     7,
     false,
     1,
     {0, 0, 1280, 720},
     {600, 200, 900, 500},
     {0, 2.10446222, 1920, 420, 3.1415925, 1.22173042, 0.773859293, 0.45062077, 1570.66667, 0, 720,
      0},
     {0.65737826, 0.751873607, -0.0503974391, -0.749673764, 0.659307272, 0.0574732086, 0.0764399868,
      0, 0.997074184}},
    // panini 180, top, right
    {3840,
     1080,
     720,
     {2, 180, 90, 180, 70, 3840, 1080},
     7,
     false,
     0,
     {0, 0, 640, 720},
     {2800, 100, 600, 700},
     {0, 1.92020644, 1920, 0, 3.1415925, 1.22173042, 0.453878766, 0.508327537, 1385.77778, 0, 720,
      0},
     {0.432577912, -0.892179255, -0.129971255, 0.854445089, 0.4516815, -0.256724391, 0.287749787, 0,
      0.957705623}},
    // eqt 180 not 360, mid, left edge
    {3840,
     1080,
     720,
     {0, 180, 90, 180, 60, 3840, 1080},
     7,
     false,
     1,
     {0, 0, 1280, 720},
     {0, 300, 1000, 560},
     {0.000818123047, 2.0943952, 1920, 420, 3.1415925, 0.883572891, 0.818123047, 0.478369295,
      1476.3011, 0, 720, 0},
     {0.40067228, 0.916127545, 0.0131166302, -0.91563704, 0.400886919, -0.0299748025, -0.0327190277,
      0, 0.999464589}},
    // eqt 180 not 360, half 0 (H == Hs+1), down, right
    {3840,
     1920,
     720,
     {0, 180, 90, 180, 60, 3840, 1080},
     7,
     false,
     2,
     {0, 0, 1280, 720},
     {3000, 300, 800, 450},
     {0.000818123047, 2.0943952, 1920, 0, 3.1415925, 1.57079625, 0.654498437, 0.377343886,
      1885.3793, 0, 720, 0},
     {0.343276803, -0.930526401, -0.12759958, 0.872218686, 0.366224817, -0.324212812, 0.348418714,
      0, 0.937338999}},
};

RoiProperty rect(const float r[4]) {
  RoiProperty p;
  p.x = r[0];
  p.y = r[1];
  p.width = r[2];
  p.height = r[3];
  return p;
}

PerspectiveProjection::Camera cameraOf(const ProjectionCase& c) {
  PerspectiveProjection::Camera camera;
  const auto& p = c.projection;
  camera.projection =
      *Projection::make(p.type, p.max_hfov, p.max_vfov, p.hfov, p.vfov, p.width, p.height);
  camera.api_version = c.api;
  camera.is360Camera = c.is360;
  camera.verticalFov = VerticalFovMode(c.verticalFov);
  camera.fov1Value = 60;
  camera.fov2Value = 80;
  camera.fov3Value = 100;
  return camera;
}

}  // namespace

TEST(PerspectiveProjection, MatchesIndependentlyComputedCases) {
  for (size_t n = 0; n < std::size(kCases); ++n) {
    const auto& c = kCases[n];
    SCOPED_TRACE(n);
    PerspectiveProjection projection(c.W, c.Hs, c.Ho, cameraOf(c));
    Project p = projection.computeProjection(rect(c.dst), rect(c.src));
    EXPECT_TRUE(p.activate);
    EXPECT_EQ(p.projectType, float(c.projection.type));
    EXPECT_NEAR(p.angle, c.expected[0], 1e-7);
    EXPECT_NEAR(p.projection_hfov_max, c.expected[1], 2e-4);
    EXPECT_EQ(p.max_height_range, float(c.expected[2]));
    EXPECT_EQ(p.offset_height, float(c.expected[3]));
    EXPECT_NEAR(p.camera_hfov, c.expected[4], 1e-5);
    EXPECT_NEAR(p.camera_vfov, c.expected[5], 2e-4);
    EXPECT_NEAR(p.roi_hfov, c.expected[6], 2e-4);
    EXPECT_NEAR(p.roi_vfov, c.expected[7], 2e-4);
    EXPECT_NEAR(p.roi_r, c.expected[8], c.expected[8] * 2e-4);
    EXPECT_NEAR(p.upper_y, c.expected[9], 2.0);
    EXPECT_NEAR(p.bottom_y, c.expected[10], 2.0);
    for (int col = 0; col < 3; ++col)
      for (int row = 0; row < 3; ++row)
        EXPECT_NEAR(p.matrix.at(col, row), c.matrix[col * 3 + row], 1e-3) << col << "," << row;
  }
}

TEST(PerspectiveProjection, RotationMatrixCases) {
  struct {
    float a, b;
    double m[9];
  } cases[] = {
      {0.3,
       -0.2,
       {0.936293358, -0.295520207, -0.189796086, 0.289629476, 0.955336489, -0.0587108095,
        0.198669357, 0, 0.980066573}},
      {1.2,
       0.4,
       {0.333753597, -0.932039086, 0.141108747, 0.858464857, 0.362357754, 0.362953093, -0.389418318,
        0, 0.921061004}},
      {-2.5,
       0.1,
       {-0.797141237, 0.598472144, -0.079980883, -0.595482278, -0.801143616, -0.059747503,
        -0.09983339, 0, 0.995004168}},
  };
  for (const auto& c : cases) {
    Float3x3 m = PerspectiveProjection::rotationMatrix(c.a, c.b);
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(m.at(i / 3, i % 3), c.m[i], 1e-5) << c.a << " " << i;
  }
}

TEST(PerspectiveProjection, RotationOfNoYawAndPitchIsTheIdentity) {
  Float3x3 m = PerspectiveProjection::rotationMatrix(0, 0);
  for (int c = 0; c < 3; ++c)
    for (int r = 0; r < 3; ++r) EXPECT_NEAR(m.at(c, r), c == r ? 1.0 : 0.0, 1e-6);
}

TEST(PerspectiveProjection, PanniniMappings) {
  struct {
    float x, y;
    double lon, lat;
  } inverse[] = {
      {0.5, 0.3, 0.489957326, 0.273889254},
      {-0.8, -0.4, -0.761012754, -0.328472305},
      {1.2, 0.6, 1.080839, 0.407248293},
      {0, 0.7, 0, 0.610725964},
  };
  for (const auto& c : inverse) {
    auto a = PerspectiveProjection::panniniToSphere(c.x, c.y, 1.0f, -0.05f, -0.05f);
    EXPECT_TRUE(a.valid);
    EXPECT_NEAR(a.lon, c.lon, 1e-5);
    EXPECT_NEAR(a.lat, c.lat, 1e-5);
  }
  struct {
    float lon, lat;
    double x, y;
  } forward[] = {
      {0.7, 0.2, 0.73005699, 0.232020939},
      {-1, -0.3, -1.09260498, -0.409572789},
      {0.4, 0, 0.405420071, 0},
  };
  for (const auto& c : forward) {
    auto p = PerspectiveProjection::sphereToPannini(c.lon, c.lat, 1.0f, -0.05f, -0.05f);
    EXPECT_TRUE(p.valid);
    EXPECT_NEAR(p.x, c.x, 1e-5);
    EXPECT_NEAR(p.y, c.y, 1e-5);
  }
  // At x = 0 the latitude is atan(y); on the horizon x = 2 sin lon / (1 + cos lon).
  EXPECT_NEAR(PerspectiveProjection::panniniToSphere(0, 0.3f, 1, -0.05f, -0.05f).lat,
              std::atan(0.3), 1e-6);
  EXPECT_NEAR(PerspectiveProjection::sphereToPannini(0.9f, 0, 1, -0.05f, -0.05f).x,
              2 * std::sin(0.9) / (1 + std::cos(0.9)), 1e-6);
  EXPECT_FALSE(PerspectiveProjection::panniniToSphere(0.5f, 0, -1, 0, 0).valid);
  EXPECT_FALSE(PerspectiveProjection::sphereToPannini(0.5f, 0, -1, 0, 0).valid);
  // Forward then back returns the angles.
  auto plane = PerspectiveProjection::sphereToPannini(0.6f, 0.25f, 1, -0.05f, -0.05f);
  auto back = PerspectiveProjection::panniniToSphere(plane.x, plane.y, 1, -0.05f, -0.05f);
  EXPECT_NEAR(back.lon, 0.6, 1e-4);
  EXPECT_NEAR(back.lat, 0.25, 2e-3);
}

TEST(PerspectiveProjection, EqtOffsetsForTheThreeVerticalPositions) {
  PerspectiveProjection::Camera camera;
  camera.projection = {ProjectionType::eqt, 360, 180, 360, 100, 3840, 1080};
  camera.fov1Value = 60;
  camera.fov2Value = 80;
  camera.fov3Value = 100;
  float expected[] = {0, 420, 840};
  for (int mode = 0; mode < 3; ++mode) {
    camera.verticalFov = VerticalFovMode(mode);
    PerspectiveProjection projection(3840, 1080, 720, camera);
    RoiProperty dst, src;
    dst.width = 1280;
    dst.height = 720;
    src.x = 1440;
    src.y = 270;
    src.width = 960;
    src.height = 540;
    Project p = projection.computeProjection(dst, src);
    EXPECT_EQ(p.max_height_range, 1920.0f);
    EXPECT_EQ(p.offset_height, expected[mode]);
  }
  // Equal configured values resolve to the first.
  camera.fov2Value = camera.fov1Value;
  camera.verticalFov = VerticalFovMode::mid;
  PerspectiveProjection projection(3840, 1080, 720, camera);
  RoiProperty dst, src;
  dst.width = src.width = 640;
  dst.height = src.height = 360;
  EXPECT_EQ(projection.computeProjection(dst, src).offset_height, 0.0f);
}

TEST(PerspectiveProjection, ATileOnTheHorizonSpansItsSourceRectangle) {
  PerspectiveProjection::Camera camera;
  camera.projection = {ProjectionType::eqt, 360, 180, 360, 100, 3840, 1080};
  camera.verticalFov = VerticalFovMode::mid;  // offset 420: the frame's centre row is the horizon
  PerspectiveProjection projection(3840, 1080, 720, camera);
  RoiProperty dst, src;
  dst.x = 100;
  dst.y = 50;
  dst.width = 640;
  dst.height = 360;
  src.x = 1600;
  src.y = 450;
  src.width = 320;
  src.height = 180;
  Project p = projection.computeProjection(dst, src);
  // The focal length makes the tile's side edges land on the crop's side edges.
  auto centre = projection.outputToSource(p, dst, p.matrix, 420, 230);
  auto left = projection.outputToSource(p, dst, p.matrix, 100, 230);
  auto right = projection.outputToSource(p, dst, p.matrix, 740, 230);
  EXPECT_NEAR(centre.x, 1760, 0.05);
  EXPECT_NEAR(centre.y, 540, 0.05);
  EXPECT_NEAR(left.x, 1600, 0.05);
  EXPECT_NEAR(right.x, 1920, 0.05);
  EXPECT_NEAR(left.y, 540, 0.05);
  EXPECT_FALSE(centre.outOfFrame);
  // A tile looking past the seam wraps: its source columns are still within the frame width.
  src.x = 3700;
  p = projection.computeProjection(dst, src);
  auto seam = projection.outputToSource(p, dst, p.matrix, 740, 230);
  EXPECT_GE(seam.x, 0.0f);
  EXPECT_LE(seam.x, 3840.0f);
}

TEST(PerspectiveProjection, IdentityViewMapsTheCentreToTheFrameCentre) {
  PerspectiveProjection projection(3840, 1080, 720, {});
  Project p;
  p.projectType = 0;
  p.activate = true;
  p.angle = 6.283185f / 3840;
  p.max_height_range = 1920;
  p.offset_height = 420;
  p.roi_r = 600;
  RoiProperty dst;
  dst.width = 1280;
  dst.height = 720;
  auto s = projection.outputToSource(p, dst, Float3x3{}, 640, 360);
  EXPECT_NEAR(s.x, 1920, 1e-3);
  EXPECT_NEAR(s.y, 540, 1e-3);
  auto a = projection.sourceToAngles(p, 1920, 960);
  EXPECT_NEAR(a.lon, 0, 1e-6);
  EXPECT_NEAR(a.lat, 0, 1e-6);
  p.projectType = 3;
  EXPECT_FALSE(projection.sourceToAngles(p, 10, 10).valid);
  EXPECT_FALSE(projection.outputToSource(p, dst, Float3x3{}, 0, 0).outOfFrame);
}

TEST(PerspectiveProjection, NormalProjectionKeepsOnlyTheCameraFields) {
  PerspectiveProjection::Camera camera;
  camera.projection = {ProjectionType::normal, 90, 60, 90, 60, 1920, 1080};
  PerspectiveProjection projection(1920, 1080, 720, camera);
  RoiProperty dst, src;
  dst.width = src.width = 640;
  dst.height = src.height = 360;
  Project p = projection.computeProjection(dst, src);
  EXPECT_TRUE(p.activate);
  EXPECT_EQ(p.projectType, 0.0f);
  EXPECT_NEAR(p.projection_hfov_max, 2.0943952, 1e-7);
  EXPECT_NEAR(p.camera_hfov, 90 * 3.1415925 / 180, 1e-6);
  EXPECT_NEAR(p.camera_vfov, 60 * 3.1415925 / 180, 1e-6);
  EXPECT_EQ(p.roi_r, 0.0f);
  EXPECT_EQ(p.angle, 0.0f);
  EXPECT_EQ(p.matrix.at(1, 1), 1.0f);
}

TEST(PerspectiveProjection, NoVerticalSlackOnANon360CameraStaysFinite) {
  // H equals the frame height: half is 0 and the margin's offset quotient is taken as 0.
  PerspectiveProjection::Camera camera;
  camera.projection = {ProjectionType::eqt, 180, 90, 180, 60, 3840, 1920};
  camera.is360Camera = false;
  for (int mode = 0; mode < 3; ++mode) {
    camera.verticalFov = VerticalFovMode(mode);
    PerspectiveProjection projection(3840, 1920, 720, camera);
    RoiProperty dst, src;
    dst.width = 1280;
    dst.height = 720;
    src.x = 3000;
    src.y = 300;
    src.width = 800;
    src.height = 450;
    Project p = projection.computeProjection(dst, src);
    EXPECT_EQ(p.offset_height, 0.0f);
    for (int c = 0; c < 3; ++c)
      for (int r = 0; r < 3; ++r) EXPECT_TRUE(std::isfinite(p.matrix.at(c, r)));
    // The yaw keeps the tile's right edge inside the camera's field.
    auto right = projection.outputToSource(p, dst, p.matrix, 1280, 360);
    EXPECT_LE(right.x, 3840.5f);
  }
}
