#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

// A 3x3 float matrix as the GPU lays it out: three columns of three floats, each padded to 16.
struct alignas(16) Float3x3 {
  float columns[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
  float at(int column, int row) const { return columns[column][row]; }
};
static_assert(sizeof(Float3x3) == 48);

// The perspective projection of one tile, as "layoutKernel" reads it (112 bytes).
struct alignas(16) Project {
  float projectType = 0;  // 0 eqt, 1 cylinder, 2 panini
  bool activate = false;
  float angle = 0;
  float projection_hfov_max = 0;
  float max_height_range = 0;
  float offset_height = 0;
  float camera_hfov = 0;
  float camera_vfov = 0;
  float roi_hfov = 0;
  float roi_vfov = 0;
  float roi_r = 0;
  float upper_y = 0;
  float bottom_y = 0;
  Float3x3 matrix;
};
static_assert(sizeof(Project) == 112);
static_assert(alignof(Project) == 16);
static_assert(offsetof(Project, activate) == 4);
static_assert(offsetof(Project, angle) == 8);
static_assert(offsetof(Project, bottom_y) == 48);
static_assert(offsetof(Project, matrix) == 64);

// The effect applied to a tile.
struct FilterProperty {
  float ratio = 1.0f;
  float mode = 0;  // EffectMode raw value
  bool enable = false;
};
static_assert(offsetof(FilterProperty, enable) == 8);

// One side (source or destination) of a tile as the kernel reads it; arrays step by 160 bytes.
struct alignas(16) RoiProperty {
  float x = 0;
  float y = 0;
  float width = 0;
  float height = 0;
  bool isThumbnail = false;
  bool edge_top = false;
  bool edge_bottom = false;
  bool edge_left = false;
  bool edge_right = false;
  bool has_tag = false;
  float tag_width = 300.0f;
  float tag_height = 35.0f;
  Project project;
  FilterProperty effect;

  // All zero but the tag size, the identity matrix and an effect ratio of 1.
  static RoiProperty empty() { return RoiProperty{}; }
};
static_assert(sizeof(RoiProperty) == 160);
static_assert(offsetof(RoiProperty, tag_width) == 24);
static_assert(offsetof(RoiProperty, project) == 32);
static_assert(offsetof(RoiProperty, effect) == 144);

// The per-frame constants of "layoutKernel" (64 bytes).
struct alignas(16) LayoutUniforms {
  float src_width = 0;
  float src_height = 0;
  float output_size[2] = {0, 0};
  float thumbnail_width = 0;
  float thumbnail_height = 0;
  int64_t edge_width = 3;
  alignas(16) float highlight_color[4] = {0, 0, 0, 0};  // red, green, blue, padding
  bool activate_filter = false;
};
static_assert(sizeof(LayoutUniforms) == 64);
static_assert(offsetof(LayoutUniforms, edge_width) == 24);
static_assert(offsetof(LayoutUniforms, highlight_color) == 32);
static_assert(offsetof(LayoutUniforms, activate_filter) == 48);

// Slots of "layoutKernel".
enum LayoutSlot : size_t {
  kLayoutSourceTexture = 0,
  kLayoutThumbnailTexture = 1,
  kLayoutOutputTexture = 2,
  kLayoutLookupTexture = 3,
  kLayoutFirstTagTexture = 4,
  kLayoutSourceList = 0,
  kLayoutDestinationList = 1,
  kLayoutUniforms = 2,
  kLayoutRemapTables = 3,  // per-tile maps prepared on the CPU side (see LayoutRemapCache)
};

constexpr size_t kLayoutRecordCount = 20;

}  // namespace corvane
