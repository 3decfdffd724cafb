#pragma once

#include <QSizeF>
#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "render/Effect.h"
#include "render/compute/Texture.h"
#include "video/PixelBuffer.h"

namespace corvane {

// The one place where the stages of the picture pipeline meet: the newest camera frame and
// its subscribers, the effect texture, the picture values, the composed outputs and sizes.
// Frames arrive on the capture queue while the views read on the main thread, so every field
// is locked or atomic; pictures are handed over whole (a reader keeps what it took).
class MetalManager {
 public:
  using Callback = std::function<void()>;

  static MetalManager& shared();
  MetalManager() = default;
  MetalManager(const MetalManager&) = delete;
  MetalManager& operator=(const MetalManager&) = delete;

  // Frame subscribers by the subscriber's class name: the first registration of a name wins.
  void registerSubscriber(const std::string& className, Callback callback);
  // The table, copied: callers notify without holding the lock.
  std::map<std::string, Callback> sbuDic() const;
  void unregisterSubscriber(const std::string& className);
  // Stores the frame, then calls every subscriber once, in name order, on this thread. A frame
  // the analysis has taken (`analysed`) keeps the effect texture made from it until the
  // analysis has finished it (finishAnalysis), so that the output composed from its layout is
  // cut from the very picture the layout was computed on. `standsFor`: the analysed frame this
  // frame's picture is kept for when that one's own pass was dropped for it (none: itself).
  void notifyFrame(const platform::PixelBufferRef& frame, bool analysed = false,
                   const platform::PixelBuffer* standsFor = nullptr);
  // The analysis finished `frame`: the effect texture kept for it becomes analysedTexture().
  // Called in the render order, after the frame's own notifyFrame.
  void finishAnalysis(const platform::PixelBufferRef& frame);
  // The effect texture of the frame the analysis finished last; the newest effect texture
  // when no analysed frame was rendered (a road without analysis, the tests).
  compute::TextureRef analysedTexture() const;

  // The source is gone: every picture made from it goes (the frame, the effect textures, the
  // analysis copy and the composed outputs). Run on the render queue, after the passes handed
  // over before it.
  void clearPictures();

  platform::PixelBufferRef pixelBuffer() const;
  void setPixelBuffer(platform::PixelBufferRef buffer);

  compute::TextureRef effectTexture() const;
  // Publishes a finished effect texture and returns the one it replaces.
  compute::TextureRef exchangeEffectTexture(compute::TextureRef texture);

  platform::PixelBufferRef selvoBuffer() const;
  void setSelvoBuffer(platform::PixelBufferRef buffer);
  platform::PixelBufferRef vxdPixelBuffer() const;
  void setVxdPixelBuffer(platform::PixelBufferRef buffer);
  platform::PixelBufferRef controlPixelBuffer() const;
  void setControlPixelBuffer(platform::PixelBufferRef buffer);

  QSizeF controlSize() const;
  void setControlSize(QSizeF size);
  QSizeF navigatorSize() const;
  void setNavigatorSize(QSizeF size);

  Effect effect() const;
  void setEffect(Effect effect);

  // The noise-reduction level for a strength ratio in 0..1: round(ratio x 6), so 0..6.
  static float denoiseLevel(double ratio);

  // The lighting ratio 0..1; 0.5 (lighting 50) leaves the picture as the camera made it.
  std::atomic<float> brightness{0.5f};
  std::atomic<float> gamma{1.1f};
  std::atomic<float> denoise{0.0f};  // whole levels 0..6 (denoiseLevel)
  std::atomic<bool> mirror{false};
  std::atomic<bool> isBusy{false};
  std::atomic<bool> enableEffect{false};

 private:
  mutable std::mutex mutex_;
  std::map<std::string, Callback> sbuDic_;
  platform::PixelBufferRef pixelBuffer_;
  compute::TextureRef effectTexture_;
  const platform::PixelBuffer* inAnalysisFrame_ = nullptr;  // identity only, never read
  compute::TextureRef inAnalysisTexture_;
  compute::TextureRef analysedTexture_;
  platform::PixelBufferRef selvoBuffer_;
  platform::PixelBufferRef vxdPixelBuffer_;
  platform::PixelBufferRef controlPixelBuffer_;
  QSizeF controlSize_{1280, 238};
  QSizeF navigatorSize_{1280, 720};
  Effect effect_;
};

}  // namespace corvane
