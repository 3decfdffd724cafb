#include "render/LayoutRemapCache.h"

#include <algorithm>
#include <cmath>

#include "render/compute/Sampler.h"

namespace corvane {

namespace {

bool sameProject(const Project& a, const Project& b) {
  if (a.activate != b.activate) return false;
  const float fa[] = {a.projectType,
                      a.angle,
                      a.projection_hfov_max,
                      a.max_height_range,
                      a.offset_height,
                      a.camera_hfov,
                      a.camera_vfov,
                      a.roi_hfov,
                      a.roi_vfov,
                      a.roi_r,
                      a.upper_y,
                      a.bottom_y};
  const float fb[] = {b.projectType,
                      b.angle,
                      b.projection_hfov_max,
                      b.max_height_range,
                      b.offset_height,
                      b.camera_hfov,
                      b.camera_vfov,
                      b.roi_hfov,
                      b.roi_vfov,
                      b.roi_r,
                      b.upper_y,
                      b.bottom_y};
  for (size_t i = 0; i < std::size(fa); ++i)
    if (fa[i] != fb[i]) return false;
  for (int c = 0; c < 3; ++c)
    for (int r = 0; r < 3; ++r)
      if (a.matrix.at(c, r) != b.matrix.at(c, r)) return false;
  return true;
}

bool sameRecord(const RoiProperty& a, const RoiProperty& b) {
  return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height &&
         a.isThumbnail == b.isThumbnail && sameProject(a.project, b.project);
}

// The whole-pixel span [begin, end) whose centres lie inside [start, start + length).
void pixelSpan(float start, float length, int limit, int& begin, int& end) {
  begin = std::clamp(int(std::lround(start)), 0, limit);
  end = std::clamp(int(std::lround(start + length)), 0, limit);
}

int32_t toFixed(double v) { return int32_t(std::floor(v * 256.0 + 0.5)); }

// The grid cell holding pixel i of n (grid points at multiples of the step and at n - 1) and
// the pixel's weight toward the cell's far point.
double cellWeight(int i, int n, int points, int& cell) {
  constexpr int step = LayoutRemapCache::kGridStep;
  cell = std::min(i / step, points - 2);
  int left = cell * step, right = std::min((cell + 1) * step, n - 1);
  return right > left ? double(i - left) / double(right - left) : 0.0;
}

}  // namespace

bool LayoutRemapCache::Key::operator==(const Key& o) const {
  return valid && o.valid && sameRecord(src, o.src) && sameRecord(dst, o.dst) &&
         sourceWidth == o.sourceWidth && sourceHeight == o.sourceHeight &&
         thumbnailWidth == o.thumbnailWidth && thumbnailHeight == o.thumbnailHeight &&
         outputWidth == o.outputWidth && outputHeight == o.outputHeight &&
         wrapSource == o.wrapSource;
}

size_t LayoutRemapCache::prepare(const Inputs& in, compute::ThreadPool& pool) {
  size_t rebuilt = 0;
  if (!in.src || !in.dst) return 0;
  for (size_t i = 0; i < kLayoutRecordCount; ++i) {
    const RoiProperty& src = (*in.src)[i];
    const RoiProperty& dst = (*in.dst)[i];
    Key key{src,
            dst,
            in.sourceWidth,
            in.sourceHeight,
            in.thumbnailWidth,
            in.thumbnailHeight,
            in.outputWidth,
            in.outputHeight,
            in.wrapSource,
            true};
    if (key == keys_[i]) continue;
    keys_[i] = key;
    ++rebuilt;
    Tile& tile = tiles_[i];
    tile = Tile{};
    if (dst.width <= 0 || dst.height <= 0 || in.sourceWidth <= 0 || in.sourceHeight <= 0) continue;
    pixelSpan(dst.x, dst.width, in.outputWidth, tile.x0, tile.x1);
    pixelSpan(dst.y, dst.height, in.outputHeight, tile.y0, tile.y1);
    if (tile.x0 >= tile.x1 || tile.y0 >= tile.y1) continue;
    tile.thumbnail = dst.isThumbnail;
    if (tile.thumbnail && (in.thumbnailWidth <= 0 || in.thumbnailHeight <= 0)) continue;
    tile.textureWidth = tile.thumbnail ? in.thumbnailWidth : in.sourceWidth;
    tile.textureHeight = tile.thumbnail ? in.thumbnailHeight : in.sourceHeight;
    tile.wrapX = in.wrapSource && !tile.thumbnail;
    if (dst.project.activate && dst.project.roi_r > 0 && !tile.thumbnail) {
      buildPerspective(tile, dst, in, pool);
    } else {
      if (!tile.thumbnail && (src.width <= 0 || src.height <= 0)) continue;
      buildCrop(tile, src, dst);
    }
    tile.active = true;
  }
  return rebuilt;
}

void LayoutRemapCache::buildCrop(Tile& t, const RoiProperty& src, const RoiProperty& dst) {
  using compute::Sampler;
  // The rectangle read, in the texture's pixels: the source crop, or for a thumbnail tile the
  // same kind of crop of the thumbnail picture (full height, centred, the tile's aspect).
  double rx = src.x, ry = src.y, rw = src.width, rh = src.height;
  if (t.thumbnail) {
    rh = t.textureHeight;
    rw = double(dst.width) * rh / dst.height;
    rx = (t.textureWidth - rw) * 0.5;
    ry = 0;
  }
  auto addressX = t.wrapX ? Sampler::Address::Repeat : Sampler::Address::ClampToEdge;
  int cols = t.x1 - t.x0, rows = t.y1 - t.y0;
  t.colA.resize(size_t(cols));
  t.colB.resize(size_t(cols));
  t.colW.resize(size_t(cols));
  double scaleX = rw / dst.width, scaleY = rh / dst.height;
  for (int i = 0; i < cols; ++i) {
    double x = rx + ((t.x0 + i) + 0.5 - dst.x) * scaleX - 0.5;
    double f = std::floor(x);
    t.colA[size_t(i)] = Sampler::address(int(f), t.textureWidth, addressX);
    t.colB[size_t(i)] = Sampler::address(int(f) + 1, t.textureWidth, addressX);
    t.colW[size_t(i)] = uint16_t(std::lround((x - f) * 256.0));
  }
  t.rowA.resize(size_t(rows));
  t.rowB.resize(size_t(rows));
  t.rowW.resize(size_t(rows));
  for (int j = 0; j < rows; ++j) {
    double y = ry + ((t.y0 + j) + 0.5 - dst.y) * scaleY - 0.5;
    double f = std::floor(y);
    t.rowA[size_t(j)] = Sampler::address(int(f), t.textureHeight, Sampler::Address::ClampToEdge);
    t.rowB[size_t(j)] =
        Sampler::address(int(f) + 1, t.textureHeight, Sampler::Address::ClampToEdge);
    t.rowW[size_t(j)] = uint16_t(std::lround((y - f) * 256.0));
  }
}

void LayoutRemapCache::buildPerspective(Tile& t, const RoiProperty& dst, const Inputs& in,
                                        compute::ThreadPool& pool) {
  t.perspective = true;
  PerspectiveProjection projection(in.sourceWidth, in.sourceHeight, in.outputHeight, in.camera);
  const Project& p = dst.project;
  int cols = t.x1 - t.x0, rows = t.y1 - t.y0;
  // Exact projections on a coarse grid (pixel centres), then bilinear in between: the map is
  // smooth, and this keeps recomputing a moving tile cheap.
  int gx = (cols - 1) / kGridStep + 2, gy = (rows - 1) / kGridStep + 2;
  std::vector<float> gridX(size_t(gx * gy)), gridY(size_t(gx * gy));
  pool.parallelFor(size_t(gy), 4, [&](size_t begin, size_t end) {
    for (size_t j = begin; j < end; ++j) {
      float py = float(t.y0) + std::min(float(j) * kGridStep, float(rows - 1)) + 0.5f;
      for (int i = 0; i < gx; ++i) {
        float px = float(t.x0) + std::min(float(i) * kGridStep, float(cols - 1)) + 0.5f;
        auto s = projection.outputToSource(p, dst, p.matrix, px, py);
        gridX[j * size_t(gx) + size_t(i)] = s.x - 0.5f;
        gridY[j * size_t(gx) + size_t(i)] = s.y - 0.5f;
      }
    }
  });
  t.mapX.assign(size_t(cols) * size_t(rows), 0);
  t.mapY.assign(size_t(cols) * size_t(rows), kBlank);
  const double W = in.sourceWidth, Hs = in.sourceHeight;
  const float upper = p.upper_y, bottom = p.bottom_y;
  pool.parallelFor(size_t(rows), 8, [&](size_t begin, size_t end) {
    for (size_t j = begin; j < end; ++j) {
      int oy = t.y0 + int(j);
      if (float(oy) < upper || float(oy) >= bottom) continue;  // outside the camera's picture
      int cj;
      double fy = cellWeight(int(j), rows, gy, cj);
      for (int i = 0; i < cols; ++i) {
        int ci;
        double fx = cellWeight(i, cols, gx, ci);
        size_t a = size_t(cj) * size_t(gx) + size_t(ci);
        double x00 = gridX[a], x01 = gridX[a + 1], x10 = gridX[a + size_t(gx)],
               x11 = gridX[a + size_t(gx) + 1];
        if (t.wrapX) {
          // Bring the corners to one side of the seam before interpolating.
          auto near = [&](double v) { return v - W * std::round((v - x00) / W); };
          x01 = near(x01);
          x10 = near(x10);
          x11 = near(x11);
        }
        double x = (x00 * (1 - fx) + x01 * fx) * (1 - fy) + (x10 * (1 - fx) + x11 * fx) * fy;
        double y = (gridY[a] * (1 - fx) + gridY[a + 1] * fx) * (1 - fy) +
                   (gridY[a + size_t(gx)] * (1 - fx) + gridY[a + size_t(gx) + 1] * fx) * fy;
        if (y < -0.5 || y > Hs - 0.5) continue;
        if (t.wrapX) {
          x = std::fmod(x, W);
          if (x < 0) x += W;
        } else if (x < -0.5 || x > W - 0.5) {
          continue;
        }
        size_t k = j * size_t(cols) + size_t(i);
        t.mapX[k] = toFixed(x);
        t.mapY[k] = toFixed(y);
      }
    }
  });
}

}  // namespace corvane
