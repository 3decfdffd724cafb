#pragma once

#include "camera/Projection.h"
#include "camera/VerticalFovMode.h"
#include "render/LayoutRecords.h"

namespace corvane {

// Perspective correction of one tile: the virtual pinhole camera through which the layout
// kernel looks into the panorama, computed once per tile and frame in 32-bit floats.
class PerspectiveProjection {
 public:
  static constexpr float kPi = 3.1415925f;  // the float just below pi
  static constexpr float kHalfPi = 1.5707963f;
  static constexpr float kMaxHfov = 2.0943952f;  // 120 degrees
  static constexpr float kEpsilon = 1.1920929e-7f;

  // What the camera and the configuration say about the source.
  struct Camera {
    Projection projection{ProjectionType::eqt, 360, 180, 360, 100, 0, 0};
    int64_t api_version = 7;
    bool is360Camera = true;
    VerticalFovMode verticalFov = VerticalFovMode::mid;
    int64_t fov1Value = 0;
    int64_t fov2Value = 1;
    int64_t fov3Value = 2;
  };

  struct Angles {
    float lon = 0;
    float lat = 0;
    bool valid = true;
  };
  struct SourcePoint {
    float x = 0;
    float y = 0;
    bool outOfFrame = false;
  };
  struct PlanePoint {
    float x = 0;
    float y = 0;
    bool valid = true;
  };

  // Whether the camera described its fields of view well enough to look into its picture: a
  // source that gave none (a file) is shown as it is, never through a projection of zero
  // degrees, which samples nothing.
  static bool canProject(const Camera& camera);

  // W x Hs: the effect texture (source) size; outputHeight: the drawable's height.
  PerspectiveProjection(int sourceWidth, int sourceHeight, int outputHeight, Camera camera);

  Project computeProjection(const RoiProperty& dst, const RoiProperty& src) const;

  Angles sourceToAngles(const Project& p, float x, float y) const;
  SourcePoint outputToSource(const Project& p, const RoiProperty& dst, const Float3x3& m, float px,
                             float py) const;
  float rollAngle(const Project& p, float x, float y, float a, float b, float c) const;

  static Angles panniniToSphere(float x, float y, float d, float top, float bottom);
  static PlanePoint sphereToPannini(float lon, float lat, float d, float top, float bottom);
  static Float3x3 rotationMatrix(float yaw, float pitch);
  static float radians(float degrees) { return degrees * kPi / 180.0f; }

 private:
  float maxHeightRange() const;
  // Where a tile's pitch lands when it is pulled back inside the frame's vertical extent.
  static float pitchBelowTop(float lat, float roiVfov, float latBottom, float latMid);
  static float pitchAboveBottom(float lat, float roiVfov, float latTop, float latMid);

  int W_;
  int Hs_;
  int Ho_;
  Camera camera_;
};

}  // namespace corvane
