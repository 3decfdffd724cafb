#include "render/PerspectiveProjection.h"

#include <algorithm>
#include <cmath>

namespace corvane {

namespace {
constexpr float kPanniniD = 1.0f;
constexpr float kPanniniSqueeze = -0.05f;
}  // namespace

PerspectiveProjection::PerspectiveProjection(int sourceWidth, int sourceHeight, int outputHeight,
                                             Camera camera)
    : W_(sourceWidth), Hs_(sourceHeight), Ho_(outputHeight), camera_(camera) {}

Float3x3 PerspectiveProjection::rotationMatrix(float a, float b) {
  float b2 = b + kHalfPi;
  float X = std::cos(a) * std::sin(b2);
  float Z = std::sin(b2) * std::sin(a);
  float lat = std::asin(-std::cos(b2));
  float lon = std::atan2(Z, X);
  Float3x3 m;
  float cl = std::cos(lat), sl = std::sin(lat), co = std::cos(lon), so = std::sin(lon);
  float c0[3] = {cl * co, -so, co * sl};
  float c1[3] = {cl * so, co, sl * so};
  float c2[3] = {-sl, 0, cl};
  for (int i = 0; i < 3; ++i) {
    m.columns[0][i] = c0[i];
    m.columns[1][i] = c1[i];
    m.columns[2][i] = c2[i];
  }
  return m;
}

PerspectiveProjection::Angles PerspectiveProjection::panniniToSphere(float x, float y, float d,
                                                                     float top, float bottom) {
  if (d < 0) return {0, 0, false};
  float lon, S, C;
  if (x == 0) {
    lon = 0;
    S = 1;
    C = 1;
  } else {
    float k = std::pow(std::fabs(x) / (d + 1), 2.0f);
    float D = k * k * d * d - (k + 1) * (k * d * d - 1);
    if (D < 0) return {0, 0, false};
    C = (std::sqrt(D) - k * d) / (k + 1);
    S = (C + d) / (d + 1);
    lon = std::atan2(x * S, C);
  }
  float q = y < 0 ? top : bottom;
  float Y = S * y;
  float lat;
  if (q > 0) {
    float c = std::fabs(C);
    if (c > kEpsilon) c = q / c;
    float t = 1 - q + c;
    lat = std::fabs(t) < kEpsilon ? 0 : std::atan(Y / t);
  } else if (q < 0) {
    float f = 1 + (2 * d / (d + 1)) * q * (std::cos(0.92f * lon) - 1);
    lat = std::atan(S * (y / f));
  } else {
    lat = std::atan(Y);
  }
  return {lon, lat, true};
}

PerspectiveProjection::PlanePoint PerspectiveProjection::sphereToPannini(float lon, float lat,
                                                                         float d, float top,
                                                                         float bottom) {
  if (d < 0) return {0, 0, false};
  float S = (d + 1) / (d + std::cos(lon));
  float x = S * std::sin(lon);
  float y = S * std::tan(lat);
  float q = lat < 0 ? top : bottom;
  if (q < 0) {
    y = y * (1 + (2 * d / (d + 1)) * q * (std::cos(0.92f * lon) - 1));
  } else if (q > 0) {
    float c = std::fabs(std::cos(lon));
    if (c > kEpsilon) c = y / c;
    y = y + (c - y) * q;
  }
  return {x, y, true};
}

PerspectiveProjection::Angles PerspectiveProjection::sourceToAngles(const Project& p, float x,
                                                                    float y) const {
  float halfW = float(W_) / 2, quarterW = float(W_) / 4, halfH = p.max_height_range / 2;
  switch (int(p.projectType)) {
    case int(ProjectionType::eqt):
      return {(x - halfW) * p.angle, (y - halfH) * p.angle, true};
    case int(ProjectionType::cylinder):
      return {(x - halfW) * p.angle, std::atan((y - halfH) * p.angle), true};
    case int(ProjectionType::panini):
      return panniniToSphere((x - halfW) / quarterW, (y - halfH) / quarterW, kPanniniD,
                             kPanniniSqueeze, kPanniniSqueeze);
    default:
      return {0, 0, false};
  }
}

PerspectiveProjection::SourcePoint PerspectiveProjection::outputToSource(const Project& p,
                                                                         const RoiProperty& dst,
                                                                         const Float3x3& m,
                                                                         float px, float py) const {
  float u = px - dst.x - dst.width / 2;
  float v = py - dst.y - dst.height / 2;
  float f = p.roi_r;
  float lon = std::atan2(u, f);
  float t = std::atan2(v, f / std::cos(lon));
  float theta = t + kHalfPi;
  float d[3] = {std::cos(lon) * std::sin(theta), std::sin(lon) * std::sin(theta), std::cos(theta)};
  float r[3];
  for (int c = 0; c < 3; ++c)
    r[c] = m.columns[c][0] * d[0] + m.columns[c][1] * d[1] + m.columns[c][2] * d[2];
  float L = std::atan2(r[1], r[0]);
  float F = std::acos(std::clamp(r[2], -1.0f, 1.0f)) - kHalfPi;
  float halfW = float(W_) / 2, quarterW = float(W_) / 4, H = p.max_height_range;
  SourcePoint s;
  switch (int(p.projectType)) {
    case int(ProjectionType::eqt):
      s.x = halfW + L / p.angle;
      s.y = F / p.angle + H / 2 - p.offset_height;
      break;
    case int(ProjectionType::cylinder):
      s.x = halfW + L / p.angle;
      s.y = std::tan(F) / p.angle + H / 2 - p.offset_height;
      break;
    case int(ProjectionType::panini): {
      float k = 2 / (std::cos(L) + 1);
      float X = k * std::sin(L);
      float Y = k * std::tan(F) * (1 + kPanniniSqueeze * (std::cos(0.92f * L) - 1));
      s.x = halfW + X * quarterW;
      s.y = Y * quarterW + H / 2 - p.offset_height;
      break;
    }
    default:
      return {0, 0, false};
  }
  s.outOfFrame = s.x < 0 || s.x > float(W_) || s.y < 0 || s.y > float(Hs_);
  return s;
}

float PerspectiveProjection::rollAngle(const Project& p, float x, float y, float a, float b,
                                       float c) const {
  float y2 = y + float(int64_t(p.offset_height));
  Angles g = sourceToAngles(p, x, y2);
  float s1 = std::sin(b + kHalfPi), c1 = std::cos(b + kHalfPi);
  float A = std::sin(a) * s1;
  float B = std::cos(a) * s1;
  float pp = std::sin(g.lat + kHalfPi);
  float E = c1 * std::sin(c) + std::cos(c) * B;
  float s = (pp * std::sin(g.lon) * E - pp * std::cos(g.lon) * A) / (A * A + E * E);
  // Outside asin's domain the margin would be NaN and spoil the tile's yaw.
  return std::asin(std::clamp(s, -1.0f, 1.0f));
}

bool PerspectiveProjection::canProject(const Camera& camera) {
  const Projection& pr = camera.projection;
  if (pr.hfov <= 0) return false;
  if (pr.type == ProjectionType::normal) return pr.vfov > 0;
  // The newer cameras' height range comes from the maximum fields (and the panini width).
  if (camera.api_version < 7) return true;
  if (pr.max_hfov <= 0 || pr.max_vfov <= 0) return false;
  return pr.type != ProjectionType::panini || pr.width > 0;
}

float PerspectiveProjection::maxHeightRange() const {
  const auto& pr = camera_.projection;
  bool modern = camera_.api_version >= 7;
  float W = float(W_);
  switch (pr.type) {
    case ProjectionType::eqt:
      if (modern) return std::floor(W / float(pr.max_hfov) * float(pr.max_vfov));
      return camera_.is360Camera ? 960.0f : 1920.0f;
    case ProjectionType::cylinder:
      if (modern)
        return std::floor(std::tan(radians(float(pr.max_vfov)) / 2) * 2 * W /
                          radians(float(pr.max_hfov)));
      return 1584.0f;
    case ProjectionType::panini: {
      if (!modern) return 1920.0f;
      float Wp = float(pr.width);
      float px = sphereToPannini(radians(float(pr.max_hfov)) / 2, 0, kPanniniD, kPanniniSqueeze,
                                 kPanniniSqueeze)
                     .x;
      float h = Wp *
                (0.5f * (float(pr.max_vfov) * Wp / float(pr.max_hfov)) *
                 (std::tan(radians(float(pr.max_vfov)) / 2) + 1)) /
                (0.25f * Wp * (px + 2));
      return std::trunc(h);
    }
    default:
      return 0;
  }
}

float PerspectiveProjection::pitchBelowTop(float lat, float roiVfov, float latBottom,
                                           float latMid) {
  return lat + roiVfov > latBottom ? latMid : lat + roiVfov / 2;
}

float PerspectiveProjection::pitchAboveBottom(float lat, float roiVfov, float latTop,
                                              float latMid) {
  return latTop > lat - roiVfov ? latMid : lat - roiVfov / 2;
}

Project PerspectiveProjection::computeProjection(const RoiProperty& dst,
                                                 const RoiProperty& src) const {
  const auto& pr = camera_.projection;
  const float W = float(W_), Hs = float(Hs_);
  // 1. The camera's horizontal field and the configured vertical value.
  float cameraHfov = radians(float(pr.hfov));
  int64_t v = camera_.verticalFov == VerticalFovMode::top   ? camera_.fov1Value
              : camera_.verticalFov == VerticalFovMode::mid ? camera_.fov2Value
                                                            : camera_.fov3Value;
  Project p;
  p.activate = true;
  if (pr.type == ProjectionType::normal) {
    p.projection_hfov_max = kMaxHfov;
    p.camera_hfov = cameraHfov;
    p.camera_vfov = radians(float(pr.vfov));
  } else {
    // 2. The height the full vertical field would take, and 3. where the frame sits in it.
    float H = maxHeightRange();
    int64_t half = (int64_t(H) - int64_t(Hs_)) / 2;
    float offset = 0;
    if (v == camera_.fov1Value)
      offset = 0;
    else if (v == camera_.fov2Value)
      offset = float(half);
    else if (v == camera_.fov3Value)
      offset = float(2 * half);
    // 4. The tile in the projection.
    p.projectType = float(int(pr.type));
    p.max_height_range = H;
    p.offset_height = offset;
    float cx = src.x + src.width / 2;
    float cy = src.y + offset + src.height / 2;
    if (pr.type == ProjectionType::panini) {
      p.angle = 0;
      p.roi_hfov = std::fabs(sourceToAngles(p, src.x + src.width, cy).lon -
                             sourceToAngles(p, src.x, cy).lon);
    } else {
      p.roi_hfov = cameraHfov * src.width / W;
      p.angle = cameraHfov / W;
    }
    p.roi_r = (dst.width / 2) / std::tan(p.roi_hfov / 2);
    p.roi_vfov = 2 * std::atan(dst.height / (2 * p.roi_r));
    // 5. View direction.
    Angles centre = sourceToAngles(p, cx, cy);
    float yaw = centre.lon, pitch = centre.lat;
    Float3x3 m = rotationMatrix(yaw, pitch);
    p.projection_hfov_max = kMaxHfov;
    if (pr.type == ProjectionType::panini) {
      float e = (W / 2) * kMaxHfov / cameraHfov;
      p.projection_hfov_max =
          std::fabs(sourceToAngles(p, cx + e, cy).lon - sourceToAngles(p, cx - e, cy).lon);
    }
    // 6. The frame's vertical limits.
    float latTop = sourceToAngles(p, W / 2, offset).lat;
    float latBottom = sourceToAngles(p, W / 2, Hs + offset).lat;
    float latMid = (latTop + latBottom) / 2;
    // 7. Keep the tile inside the frame vertically.
    float centreRow = Hs / 2 + offset;
    auto topPoint = [&] { return outputToSource(p, dst, m, dst.x + dst.width / 2, dst.y); };
    auto bottomPoint = [&] {
      return outputToSource(p, dst, m, dst.x + dst.width / 2, dst.y + dst.height);
    };
    if (pr.type == ProjectionType::eqt) {
      if (centreRow > cy) {
        SourcePoint s = topPoint();
        Angles g = sourceToAngles(p, s.x, std::max(0.0f, s.y) + offset);
        yaw = g.lon;
        pitch = pitchBelowTop(g.lat, p.roi_vfov, latBottom, latMid);
      } else if (centreRow < cy) {
        SourcePoint s = bottomPoint();
        Angles g = sourceToAngles(p, s.x, std::min(Hs, s.y) + offset);
        yaw = g.lon;
        pitch = pitchAboveBottom(g.lat, p.roi_vfov, latTop, latMid);
      }
    } else if (pr.type == ProjectionType::panini) {
      if (centreRow > cy) {
        SourcePoint s = topPoint();
        if (s.outOfFrame && s.y < 0) {
          Angles g = sourceToAngles(p, s.x, offset);
          yaw = g.lon;
          pitch = pitchBelowTop(g.lat, p.roi_vfov, latBottom, latMid);
        }
      } else if (centreRow < cy) {
        SourcePoint s = bottomPoint();
        if (s.outOfFrame && s.y > Hs) {
          Angles g = sourceToAngles(p, s.x, Hs + offset);
          yaw = g.lon;
          pitch = pitchAboveBottom(g.lat, p.roi_vfov, latTop, latMid);
        }
      }
      if (cx != W / 2) {
        float x0 = cx < W / 2 ? src.x : src.x + src.width;
        float T = sourceToAngles(p, x0, offset).lat;
        float B = sourceToAngles(p, x0, Hs + offset).lat;
        if (T > pitch - p.roi_vfov / 2)
          pitch = B < T + p.roi_vfov ? (T + B) / 2 : T + p.roi_vfov / 2;
        else if (pitch + p.roi_vfov / 2 > B)
          pitch = B - p.roi_vfov < T ? (T + B) / 2 : B - p.roi_vfov / 2;
      }
    } else {  // cylinder
      SourcePoint s = topPoint();
      if (s.outOfFrame) {
        if (s.y < 0) {
          Angles g = sourceToAngles(p, s.x, offset);
          yaw = g.lon;
          pitch = pitchBelowTop(g.lat, p.roi_vfov, latBottom, latMid);
        }
      } else {
        SourcePoint b = bottomPoint();
        if (b.outOfFrame && b.y > Hs) {
          Angles g = sourceToAngles(p, b.x, Hs + offset);
          yaw = g.lon;
          pitch = pitchAboveBottom(g.lat, p.roi_vfov, latTop, latMid);
        }
      }
    }
    // 8. A camera with less than a full turn keeps the tile inside its horizontal field.
    if (!camera_.is360Camera && cx != W / 2) {
      // With no vertical slack (half 0) the frame offset is 0 whatever the configured mode.
      int64_t q = half == 0 ? 0 : int64_t(offset) / half;
      float m2;
      if (q == 0)
        m2 = rollAngle(p, 0, 0, -cameraHfov / 2, -p.roi_vfov / 2, pitch);
      else if (q == 2)
        m2 = rollAngle(p, 0, 0, -cameraHfov / 2, p.roi_vfov / 2, pitch);
      else
        m2 = rollAngle(p, 0, 0, -cameraHfov / 2, pitch, pitch) + 3 * cameraHfov / W;
      if (cx < W / 2) {
        if (yaw - p.roi_hfov / 2 - m2 < -cameraHfov / 2)
          yaw = -cameraHfov / 2 + p.roi_hfov / 2 + m2;
      } else {
        if (yaw + p.roi_hfov / 2 + m2 > cameraHfov / 2) yaw = cameraHfov / 2 - p.roi_hfov / 2 - m2;
      }
    }
    p.matrix = rotationMatrix(yaw, pitch);
    p.camera_hfov = cameraHfov;
    p.camera_vfov =
        pr.type == ProjectionType::panini ? radians(float(pr.vfov)) : latBottom - latTop;
  }
  // 9. The output rows the tile's picture spans.
  int64_t h = int64_t(std::floor(std::tan(p.camera_vfov / 2) * p.roi_r));
  if (h % 2 != 0) h -= 1;
  if (2 * h < int64_t(Ho_)) {
    int64_t c = int64_t(dst.y + dst.height / 2);
    p.upper_y = float(c - h);
    p.bottom_y = float(c + h);
  } else {
    p.upper_y = 0;
    p.bottom_y = float(Ho_);
  }
  return p;
}

}  // namespace corvane
