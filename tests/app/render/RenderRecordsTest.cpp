// The records shared with the kernels, byte for byte.
#include <gtest/gtest.h>

#include <cstddef>

#include "render/Effect.h"
#include "render/EffectParameters.h"
#include "render/LayoutMode.h"
#include "render/LayoutRecords.h"

using namespace corvane;

TEST(RenderRecords, RoiPropertyLayout) {
  EXPECT_EQ(sizeof(RoiProperty), 160u);
  EXPECT_EQ(alignof(RoiProperty), 16u);
  EXPECT_EQ(offsetof(RoiProperty, x), 0u);
  EXPECT_EQ(offsetof(RoiProperty, y), 4u);
  EXPECT_EQ(offsetof(RoiProperty, width), 8u);
  EXPECT_EQ(offsetof(RoiProperty, height), 12u);
  EXPECT_EQ(offsetof(RoiProperty, isThumbnail), 16u);
  EXPECT_EQ(offsetof(RoiProperty, edge_top), 17u);
  EXPECT_EQ(offsetof(RoiProperty, edge_bottom), 18u);
  EXPECT_EQ(offsetof(RoiProperty, edge_left), 19u);
  EXPECT_EQ(offsetof(RoiProperty, edge_right), 20u);
  EXPECT_EQ(offsetof(RoiProperty, has_tag), 21u);
  EXPECT_EQ(offsetof(RoiProperty, tag_width), 24u);
  EXPECT_EQ(offsetof(RoiProperty, tag_height), 28u);
  EXPECT_EQ(offsetof(RoiProperty, project), 32u);
  EXPECT_EQ(offsetof(RoiProperty, effect), 144u);
  // 20 records at their stride.
  RoiProperty list[20];
  EXPECT_EQ(reinterpret_cast<char*>(&list[1]) - reinterpret_cast<char*>(&list[0]), 160);
  EXPECT_EQ(sizeof(list), 3200u);
}

TEST(RenderRecords, ProjectLayout) {
  EXPECT_EQ(sizeof(Project), 112u);
  EXPECT_EQ(alignof(Project), 16u);
  const size_t offsets[] = {offsetof(Project, projectType),
                            offsetof(Project, activate),
                            offsetof(Project, angle),
                            offsetof(Project, projection_hfov_max),
                            offsetof(Project, max_height_range),
                            offsetof(Project, offset_height),
                            offsetof(Project, camera_hfov),
                            offsetof(Project, camera_vfov),
                            offsetof(Project, roi_hfov),
                            offsetof(Project, roi_vfov),
                            offsetof(Project, roi_r),
                            offsetof(Project, upper_y),
                            offsetof(Project, bottom_y),
                            offsetof(Project, matrix)};
  const size_t expected[] = {0, 4, 8, 12, 16, 20, 24, 28, 32, 36, 40, 44, 48, 64};
  for (size_t i = 0; i < std::size(expected); ++i) EXPECT_EQ(offsets[i], expected[i]) << i;
  // Three columns of 16 bytes: three floats and padding.
  Float3x3 m;
  auto* base = reinterpret_cast<const char*>(&m);
  EXPECT_EQ(reinterpret_cast<const char*>(&m.columns[1][0]) - base, 16);
  EXPECT_EQ(reinterpret_cast<const char*>(&m.columns[2][2]) - base, 40);
}

TEST(RenderRecords, FilterPropertyAndUniformsLayout) {
  EXPECT_EQ(offsetof(FilterProperty, ratio), 0u);
  EXPECT_EQ(offsetof(FilterProperty, mode), 4u);
  EXPECT_EQ(offsetof(FilterProperty, enable), 8u);
  EXPECT_EQ(sizeof(LayoutUniforms), 64u);
  EXPECT_EQ(offsetof(LayoutUniforms, src_width), 0u);
  EXPECT_EQ(offsetof(LayoutUniforms, src_height), 4u);
  EXPECT_EQ(offsetof(LayoutUniforms, output_size), 8u);
  EXPECT_EQ(offsetof(LayoutUniforms, thumbnail_width), 16u);
  EXPECT_EQ(offsetof(LayoutUniforms, thumbnail_height), 20u);
  EXPECT_EQ(offsetof(LayoutUniforms, edge_width), 24u);
  EXPECT_EQ(sizeof(LayoutUniforms::edge_width), 8u);
  EXPECT_EQ(offsetof(LayoutUniforms, highlight_color), 32u);
  EXPECT_EQ(offsetof(LayoutUniforms, activate_filter), 48u);
  EXPECT_EQ(LayoutUniforms{}.edge_width, 3);
}

TEST(RenderRecords, EffectParameterRecord) {
  EXPECT_EQ(sizeof(EffectParameters), 24u);
  EXPECT_EQ(offsetof(EffectParameters, brightness), 0u);
  EXPECT_EQ(offsetof(EffectParameters, gamma), 4u);
  EXPECT_EQ(offsetof(EffectParameters, denoise), 8u);
  EXPECT_EQ(offsetof(EffectParameters, width), 12u);
  EXPECT_EQ(offsetof(EffectParameters, height), 16u);
  EXPECT_EQ(offsetof(EffectParameters, mirror), 20u);
}

TEST(RenderRecords, EmptyRecordIsZeroButTagSizeIdentityAndRatio) {
  RoiProperty e = RoiProperty::empty();
  EXPECT_EQ(e.x, 0);
  EXPECT_EQ(e.width, 0);
  EXPECT_FALSE(e.isThumbnail || e.edge_top || e.edge_bottom || e.edge_left || e.edge_right ||
               e.has_tag);
  EXPECT_EQ(e.tag_width, 300.0f);
  EXPECT_EQ(e.tag_height, 35.0f);
  EXPECT_FALSE(e.project.activate);
  EXPECT_EQ(e.project.roi_r, 0);
  for (int c = 0; c < 3; ++c)
    for (int r = 0; r < 3; ++r) EXPECT_EQ(e.project.matrix.at(c, r), c == r ? 1.0f : 0.0f);
  EXPECT_EQ(e.effect.ratio, 1.0f);
  EXPECT_EQ(e.effect.mode, 0.0f);
  EXPECT_FALSE(e.effect.enable);
}

TEST(RenderRecords, EnumerationsFromRawValues) {
  EXPECT_EQ(layoutModeFromRaw(0), LayoutMode::control);
  EXPECT_EQ(layoutModeFromRaw(1), LayoutMode::navigator);
  EXPECT_FALSE(layoutModeFromRaw(2));
  EXPECT_FALSE(layoutModeFromRaw(-1));
  EXPECT_EQ(effectModeFromRaw(0), EffectMode::None);
  EXPECT_EQ(effectModeFromRaw(7), EffectMode::Lookup);
  EXPECT_EQ(effectModeFromRaw(16), EffectMode::Beauty);
  EXPECT_FALSE(effectModeFromRaw(17));
  Effect effect;
  EXPECT_EQ(effect.mode, EffectMode::None);
  EXPECT_FLOAT_EQ(effect.value, 0.25f);
}
