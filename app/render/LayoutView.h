#pragma once

#include <QColor>
#include <QImage>
#include <QPointer>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "config/ConfigManager.h"
#include "dispatch/LatestTask.h"
#include "ipc/LogRateLimiter.h"
#include "log/LogManager.h"
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
//
// Two ways to compose: updateEffectFrame and drawLayout do it at once on the caller's thread;
// the window hands the work to the render queue instead (setRoiPairs with composeAsync or
// followFrames), and the picture comes back to the main thread, where it is stored, shown and
// announced (`composed`) with the pairs it was composed from in roiPairList.
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

  // Main thread: the pairs the next compositions on the render queue use, with the view's
  // mode, filter switch and environment as they stand now; roiPairList takes them at once.
  void setRoiPairs(std::vector<LayoutRoiPair> pairs);
  // Main thread: composes the stored pairs on the render queue over the texture `source` gives
  // there (the newest effect texture when empty); `done` runs on the main thread with the
  // presented picture. Nothing is presented when there is nothing to compose. One waits at
  // most: a newer hand-over replaces the one not yet started, and its `done` with it.
  using Presented = std::function<void(const platform::PixelBufferRef&)>;
  void composeAsync(std::function<compute::TextureRef()> source = {}, Presented done = {});
  // Composes the stored pairs over every new effect texture (a frame subscriber of the render
  // state, after the effect pass), on the render queue; the preview follows every frame.
  void followFrames();
  // The composed picture of the frame just drawn (BGRA), or none; see the busy flag.
  platform::PixelBufferRef texture_to_pixelBuffer();

  // The picture the widget shows: the last one composed.
  platform::PixelBufferRef composedPixelBuffer() const { return composed_; }
  // Main thread: whether composed pictures are shown (stored, painted, announced and handed
  // on). Off, the picture held goes (the widget paints dark, the render state's output of this
  // view's mode is let go) and every picture composed meanwhile is dropped, those already on
  // their way to the main thread too.
  void setShowsPictures(bool shows);
  bool showsPictures() const { return showsPictures_; }
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
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void setup();
  // What a composition on the render queue is made from, taken on the main thread.
  struct Snapshot {
    std::vector<LayoutRoiPair> pairs;
    LayoutMode mode = LayoutMode::navigator;
    bool activate_filter = false;
    Environment environment;
    // The shown widget's size in device pixels; empty while it is not shown.
    QSize shown;
  };
  QSize shownSize() const;
  // Main thread: the compositions on the render queue take the widget's size as it is now.
  void updateShownSize();
  // The render side, shared with the jobs on the render queue; `view` is cleared (under the
  // lock, so after a composition under way) when the widget goes.
  struct Shared {
    std::mutex mutex;  // held while composing
    LayoutView* view = nullptr;
    QPointer<LayoutView> guard;  // made on the main thread, for the way back to it
    std::mutex snapshotMutex;    // held only to copy: the main thread never waits on a pass
    Snapshot snapshot;
    // The newest wins on either queue: a composition handed over while one waits replaces it,
    // and so does a picture composed while the last still waits to be presented (which would
    // otherwise hold its drawable, so that every pass took a new one).
    platform::LatestTask composition;
    platform::LatestTask presentation;
  };
  // Composes on the calling thread into a drawable. `drawn` is false when there was nothing
  // to compose (no pairs, no source, no size): then nothing is to be presented.
  struct Result {
    bool drawn = false;
    platform::PixelBufferRef picture;
  };
  Result compose(const Snapshot& snapshot, const compute::TextureRef& source);
  // Main thread: stores, shows and announces a picture composed from `pairs` in `mode`; false
  // when pictures are not shown now.
  bool present(LayoutMode mode, const platform::PixelBufferRef& picture,
               const compute::TextureRef& source, const std::vector<LayoutRoiPair>& pairs);
  // Render queue: composes `shared`'s snapshot over `source` and presents it on the main thread.
  // `given`: the pairs as they were handed over; none: the latest stored ones.
  static void composeShared(const std::shared_ptr<Shared>& shared,
                            const compute::TextureRef& source, Presented done,
                            std::optional<Snapshot> given = std::nullopt);
  // `scale`: output pixels per pair coordinate (below 1 for a preview shown smaller).
  void rebuildRecordLists(const Snapshot& snapshot, int outputHeight, float scale);
  void recordsOfPair(const Snapshot& snapshot, const LayoutRoiPair& pair, int outputHeight,
                     float scale, RoiProperty& src, RoiProperty& dst) const;
  void updateControlSize(const compute::TextureRef& source);
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
  // Drawables in turn: the picture shown, the one on its way to the main thread and the one
  // being drawn are held at once.
  std::array<compute::TextureRef, 3> drawables_{};
  compute::TextureRef currentDrawable_;
  LayoutRemapCache remapCache_;
  size_t lastRebuilds_ = 0;
  platform::PixelBufferRef composed_;
  bool showsPictures_ = true;
  std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
  std::string subscriberName_;
  // The lines of a composition that fails again with every frame.
  platform::LogRateLimiter frameLines_{LogManager::kFrameLineBurst, LogManager::kFrameLineInterval};
};

}  // namespace corvane
