#pragma once

#include <QRect>
#include <atomic>
#include <memory>

#include "render/FrameSizeLimits.h"
#include "render/MetalContext.h"
#include "render/MetalManager.h"
#include "render/MetalViewDelegate.h"
#include "render/compute/Texture.h"

namespace corvane {

// Runs the effect pass over every frame that reaches the render state: noise reduction against
// the previous output, mirror, brightness and gamma, into the effect texture the layout views
// sample, plus an NV12 copy at analysis size (unless turned off). It is never shown; the frame
// subscription drives it, on whatever queue delivers the frame.
class EffectView {
 public:
  // Subscribes to `manager` under the name "EffectView" (the first subscriber of that name
  // stays). The frame is ignored: the view is never on screen.
  explicit EffectView(QRect frame = {}, MetalManager& manager = MetalManager::shared(),
                      MetalContext& context = MetalContext::shared());
  // The program's view. It writes no analysis-size copy: the program's analysis takes its own
  // copy of each frame and nothing reads MetalManager's, so scaling every frame down for it is
  // work for nothing (a tenth of a core at 4992 x 1248 and 30 frames a second). And it keeps no
  // reference while noise reduction is off (see setKeepsReferenceWhileIdle).
  static std::shared_ptr<EffectView> lean();
  ~EffectView();
  EffectView(const EffectView&) = delete;
  EffectView& operator=(const EffectView&) = delete;

  // Told of each pass's output; set right after creation, never owned.
  std::atomic<MetalViewDelegate*> outputDelegate{nullptr};
  // Whether each pass writes the analysis-size copy into MetalManager's selvoBuffer. Off, none
  // is made, and one made before is let go.
  void setWritesAnalysisCopy(bool writes);
  // Whether a pass without noise reduction still writes its NV12 output, the reference the next
  // pass would denoise against. Off, such a pass writes only the effect texture and keeps no
  // reference (effectsPixelBuffer() is none, the delegate is not told): the first pass after
  // noise reduction is turned on takes its frame as it comes and makes it the reference. At
  // 4992 x 1248 the output is 9 MB a frame, half the pass's time on a busy memory bus.
  void setKeepsReferenceWhileIdle(bool keeps);

  // The previous pass's output, which the next pass denoises against (none before the first).
  platform::PixelBufferRef effectsPixelBuffer() const;
  // Whether the kernel could be set up; without it frames are not processed.
  bool hasPipeline() const;

  static constexpr const char* kEffectsKernel = "effectsKernel";
  static constexpr int kSelvoWidth = FrameSizeLimits::kSelvoWidth;
  // Height of the analysis-size copy for a frame: h / w x 1920, truncated, made even.
  static int selvoHeight(int width, int height);

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace corvane
