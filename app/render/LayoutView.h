#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>
#include <array>
#include <optional>
#include <vector>

#include "config/ConfigManager.h"
#include "render/LayoutMode.h"
#include "render/LayoutRecords.h"
#include "render/LayoutRemapCache.h"
#include "render/LayoutRoiPair.h"
#include "render/MetalContext.h"
#include "render/MetalManager.h"
#include "render/PerspectiveProjection.h"
#include "render/compute/Sampler.h"

namespace corvane {

// Composes a picture from the effect texture and a list of ROI pairs, one tile per pair, in
// one pass of "layoutKernel", and leaves it in the render state (navigator: the output that
// goes to the virtual camera; control: the panorama preview). The widget only shows the last
// composed picture: composing runs whether or not the widget is on screen.
class LayoutView : public QWidget {
  Q_OBJECT

 public:
  // What the configuration and the camera say about how tiles are drawn.
  struct Environment {
    QColor speakColor{255, 196, 0};
    bool enablePerspectiveProjection = false;
    // Horizontal wrap of the source: a 360-degree panorama continues past its right edge at 0.
    bool wrapSource = true;
    PerspectiveProjection::Camera camera;

    // This environment with the configuration's part taken from `config`: the speaker colour
    // (when configured), the perspective switch and the three vertical fields of view.
    Environment withConfiguration(const ConfigManager& config) const;
  };

  explicit LayoutView(QWidget* parent = nullptr, MetalManager& manager = MetalManager::shared(),
                      MetalContext& context = MetalContext::shared());
  ~LayoutView() override;

  bool activate_filter = false;
  LayoutMode mode = LayoutMode::navigator;
  std::vector<LayoutRoiPair> roiPairList;
  QImage lookup;
  QImage thumbnail;
  std::array<RoiProperty, kLayoutRecordCount> srcList{};
  std::array<RoiProperty, kLayoutRecordCount> dstList{};
  int src_width = 0;
  int src_height = 0;

  void setEnvironment(const Environment& environment) { environment_ = environment; }
  const Environment& environment() const { return environment_; }

  // The per-frame entry: composes the current effect texture with `roiPairList`.
  void updateEffectFrame();
  void drawLayout();
  // The composed picture of the frame just drawn (BGRA), or none; see the busy flag.
  platform::PixelBufferRef texture_to_pixelBuffer();

  // The picture the widget shows: the last one composed.
  platform::PixelBufferRef composedPixelBuffer() const { return composed_; }
  // How many tile maps the last composition had to recompute.
  size_t lastRemapRebuilds() const { return lastRebuilds_; }

  static constexpr const char* kLayoutKernel = "layoutKernel";
  static constexpr int64_t kEdgeWidth = 3;

 signals:
  // A picture was composed: the picture and the panorama texture it was composed from, on the
  // composing (main) thread, before the texture is given back.
  void composed(const platform::PixelBufferRef& picture, const compute::TextureRef& source);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void setup();
  void rebuildRecordLists(int outputHeight);
  void recordsOfPair(const LayoutRoiPair& pair, int outputHeight, RoiProperty& src,
                     RoiProperty& dst) const;
  compute::TextureRef makeTexture(const QImage& image) const;
  compute::TextureRef acquireDrawable(int width, int height);

  MetalManager& manager_;
  MetalContext& context_;
  Environment environment_;
  std::optional<compute::KernelFunction> computeLayoutPipelineState_;
  compute::Sampler samplerState_;
  compute::TextureRef lookup_texture_in_;
  compute::TextureRef thumbnail_texture_in_;
  std::array<compute::TextureRef, 8> tag_textures_in_{};  // name-tag slots, never filled
  compute::TextureRef frameTexture_;                      // effect texture of this frame
  // Two drawables in turn: one may still be held by readers of the last picture.
  std::array<compute::TextureRef, 2> drawables_{};
  compute::TextureRef currentDrawable_;
  LayoutRemapCache remapCache_;
  size_t lastRebuilds_ = 0;
  platform::PixelBufferRef composed_;
};

}  // namespace corvane
