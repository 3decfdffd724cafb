#include "render/EffectView.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <utility>
#include <vector>

#include "log/LogManager.h"
#include "render/EffectParameters.h"
#include "render/FrameSizeLimits.h"

namespace corvane {

using compute::TextureFormat;
using compute::TextureRef;
using platform::PixelBuffer;
using platform::PixelBufferRef;
using platform::PixelFormat;

struct EffectView::State {
  State(MetalManager& m, MetalContext& c) : manager(m), context(c) {}

  MetalManager& manager;
  MetalContext& context;
  EffectView* view = nullptr;
  std::mutex lock;  // one pass at a time

  TextureRef src_y_texture_in, src_uv_texture_in;
  TextureRef ref_y_texture_in, ref_uv_texture_in;
  TextureRef src_y_texture_out, src_uv_texture_out;
  TextureRef selvo_y_texture_out, selvo_uv_texture_out;
  PixelBufferRef ref_imagePixel;
  PixelBufferRef imagePixel;
  PixelBufferRef effectsPixelBuffer;
  // The effect texture being written. The published one is never written: each pass fills
  // this one and swaps it in, and takes back the old one only if no reader still holds it.
  TextureRef effectTextureOut;
  // Textures a reader still held when their turn came (the frame in analysis keeps its own):
  // taken again once let go, so a held picture does not cost a new frame-sized buffer a frame.
  std::vector<TextureRef> spareTextures;
  // The output before the reference: written again once nobody holds it, so a steady stream
  // does not allocate and clear a frame-sized buffer per frame.
  PixelBufferRef spareOutput;
  std::optional<compute::KernelFunction> computePipelineState;
  // The pass's own lines: a frame that cannot be drawn fails again with every frame.
  platform::LogRateLimiter frameLines{LogManager::kFrameLineBurst, LogManager::kFrameLineInterval};
  int toldSelvoHeight = -1;  // the analysis copy's height last announced
  std::atomic<bool> writesSelvo{true};
  std::atomic<bool> keepsIdleReference{true};
  float passDenoise = 0;  // the level this pass runs at, read once

  void pass();
  bool drawTexture();
  bool prepareEffectTexture(int w, int h);
  void prepareSelvoBuffer(int w, int h);
  PixelBufferRef createPixelBuffer(int width, int height, PixelFormat format);
};

PixelBufferRef EffectView::State::createPixelBuffer(int width, int height, PixelFormat format) {
  auto buffer = PixelBuffer::create(width, height, format);
  if (!buffer)
    CV_LOG_FRAME_ERROR(frameLines,
                       "Error: could not create resized pixel buffer:" + std::to_string(-1));
  return buffer;
}

int EffectView::selvoHeight(int width, int height) {
  return FrameSizeLimits::selvoHeight(width, height);
}

EffectView::EffectView(QRect, MetalManager& manager, MetalContext& context)
    : state_(std::make_shared<State>(manager, context)) {
  state_->view = this;
  if (context.library) state_->computePipelineState = context.library->function(kEffectsKernel);
  if (!state_->computePipelineState) CV_LOG_ERROR("Unable to create gpu kernel");
  std::weak_ptr<State> weak = state_;
  manager.registerSubscriber("EffectView", [weak] {
    if (auto state = weak.lock()) state->pass();
  });
}

std::shared_ptr<EffectView> EffectView::lean() {
  auto view = std::make_shared<EffectView>();
  view->setWritesAnalysisCopy(false);
  view->setKeepsReferenceWhileIdle(false);
  return view;
}

void EffectView::setWritesAnalysisCopy(bool writes) { state_->writesSelvo = writes; }
void EffectView::setKeepsReferenceWhileIdle(bool keeps) { state_->keepsIdleReference = keeps; }

EffectView::~EffectView() {
  // A pass under way on another queue finishes before the view goes.
  std::lock_guard<std::mutex> lock(state_->lock);
  state_->view = nullptr;
}

PixelBufferRef EffectView::effectsPixelBuffer() const {
  std::lock_guard<std::mutex> lock(state_->lock);
  return state_->effectsPixelBuffer;
}

bool EffectView::hasPipeline() const { return state_->computePipelineState.has_value(); }

void EffectView::State::pass() {
  if (!manager.pixelBuffer()) return;
  std::lock_guard<std::mutex> guard(lock);
  if (!view) return;
  imagePixel = manager.pixelBuffer();
  if (!imagePixel || !computePipelineState || !context.queue) return;
  passDenoise = manager.denoise.load();
  // The slots are not kept past the pass: the frame buffers go back to their owners.
  struct Release {
    State& s;
    ~Release() {
      for (auto* t : {&s.src_y_texture_in, &s.src_uv_texture_in, &s.ref_y_texture_in,
                      &s.ref_uv_texture_in, &s.src_y_texture_out, &s.src_uv_texture_out})
        t->reset();
      s.ref_imagePixel.reset();
      s.imagePixel.reset();
    }
  } release{*this};
  // A frame whose textures could not be made is skipped whole: the effect texture and the
  // reference stay those of the last good frame.
  if (!drawTexture()) return;
  auto pass = context.queue->makeComputePass();
  if (!pass) return;
  int w = imagePixel->planeWidth(0), h = imagePixel->planeHeight(0);
  pass->setKernel(*computePipelineState);
  pass->setTexture(src_y_texture_in, kEffectSourceY);
  pass->setTexture(src_uv_texture_in, kEffectSourceUV);
  pass->setTexture(ref_y_texture_in, kEffectReferenceY);
  pass->setTexture(ref_uv_texture_in, kEffectReferenceUV);
  pass->setTexture(src_y_texture_out, kEffectOutputY);
  pass->setTexture(src_uv_texture_out, kEffectOutputUV);
  pass->setTexture(effectTextureOut, kEffectTextureOut);
  pass->setTexture(selvo_y_texture_out, kEffectSelvoY);
  pass->setTexture(selvo_uv_texture_out, kEffectSelvoUV);
  EffectParameters parameters;
  parameters.brightness = manager.brightness.load();
  parameters.gamma = manager.gamma.load();
  parameters.denoise = passDenoise;
  parameters.width = float(w);
  parameters.height = float(h);
  parameters.mirror = manager.mirror.load() ? 1 : 0;
  pass->setBytes(&parameters, sizeof(parameters), 0);
  if (!pass->dispatchThreadgroups({uint32_t(w / 16 + 1), uint32_t(h / 16 + 1), 1}, {16, 16, 1}))
    return;
  effectTextureOut = manager.exchangeEffectTexture(effectTextureOut);
  spareOutput = std::exchange(effectsPixelBuffer, ref_imagePixel);
  if (!effectsPixelBuffer) return;  // no reference kept while idle
  if (auto* delegate = view->outputDelegate.load())
    delegate->metalViewDidOutput(effectsPixelBuffer);
}

bool EffectView::State::drawTexture() {
  auto& cache = *context.textureCache;
  int w = imagePixel->planeWidth(0), h = imagePixel->planeHeight(0);
  int cw = imagePixel->planeCount() > 1 ? imagePixel->planeWidth(1) : 0;
  int ch = imagePixel->planeCount() > 1 ? imagePixel->planeHeight(1) : 0;
  src_y_texture_in = cache.createTextureFromImage(imagePixel, 0, TextureFormat::R8Unorm, w, h);
  src_uv_texture_in = cache.createTextureFromImage(imagePixel, 1, TextureFormat::RG8Unorm, cw, ch);
  if (imagePixel->format() != PixelFormat::NV12FullRange || !src_y_texture_in ||
      !src_uv_texture_in) {
    CV_LOG_FRAME_WARNING(frameLines, "y_texture and uv_texture is nil");
    return false;
  }
  // The kernel's own rounding of the level: at 0 the output is only a reference.
  if (!keepsIdleReference.load() && std::lround(std::clamp(passDenoise, 0.0f, 6.0f)) == 0) {
    spareOutput.reset();
    ref_imagePixel.reset();
    ref_y_texture_in.reset();
    ref_uv_texture_in.reset();
    if (!prepareEffectTexture(w, h)) return false;
    prepareSelvoBuffer(w, h);
    return true;
  }
  if (spareOutput && spareOutput.use_count() == 1 && spareOutput->width() == w &&
      spareOutput->height() == h) {
    std::atomic_thread_fence(std::memory_order_acquire);
    ref_imagePixel = std::move(spareOutput);
  } else
    ref_imagePixel = createPixelBuffer(w, h, PixelFormat::NV12FullRange);
  spareOutput.reset();
  if (!ref_imagePixel) {
    CV_LOG_FRAME_WARNING(frameLines, "ref_imagePixel is nil");
    return false;
  }
  src_y_texture_out = cache.createTextureFromImage(ref_imagePixel, 0, TextureFormat::R8Unorm, w, h);
  src_uv_texture_out =
      cache.createTextureFromImage(ref_imagePixel, 1, TextureFormat::RG8Unorm, cw, ch);
  if (!src_y_texture_out || !src_uv_texture_out) {
    CV_LOG_FRAME_WARNING(frameLines, "y_texture_out and uv_texture_out is nil");
    return false;
  }
  ref_y_texture_in.reset();
  ref_uv_texture_in.reset();
  if (!effectsPixelBuffer) {
    // First frame: nothing to denoise against yet; this frame's output becomes the reference.
    CV_LOG_FRAME_WARNING(frameLines, "effectsPixelBuffer is nil");
  } else {
    ref_y_texture_in =
        cache.createTextureFromImage(effectsPixelBuffer, 0, TextureFormat::R8Unorm, w, h);
    ref_uv_texture_in =
        cache.createTextureFromImage(effectsPixelBuffer, 1, TextureFormat::RG8Unorm, cw, ch);
    if (!ref_y_texture_in || !ref_uv_texture_in) {
      // The frame size changed: the old output is no reference for this frame.
      CV_LOG_FRAME_WARNING(frameLines, "y_texture_ref and uv_texture_ref is nil");
      ref_y_texture_in.reset();
      ref_uv_texture_in.reset();
    }
  }
  if (!prepareEffectTexture(w, h)) return false;
  prepareSelvoBuffer(w, h);
  return true;
}

bool EffectView::State::prepareEffectTexture(int w, int h) {
  // A texture of another shape (even of the same pixel count) or one a reader still holds
  // is not written: a free spare of this shape, or a new one.
  auto free = [w, h](const TextureRef& t) {
    return t && t->width() == w && t->height() == h && t.use_count() == 1;
  };
  if (!free(effectTextureOut)) {
    constexpr size_t kSpares = 3;
    if (effectTextureOut && effectTextureOut->width() == w && effectTextureOut->height() == h) {
      if (spareTextures.size() == kSpares) spareTextures.erase(spareTextures.begin());
      spareTextures.push_back(std::move(effectTextureOut));
    }
    effectTextureOut.reset();
    for (auto it = spareTextures.begin(); it != spareTextures.end(); ++it)
      if (free(*it)) {
        effectTextureOut = std::move(*it);
        spareTextures.erase(it);
        break;
      }
  }
  if (effectTextureOut) {
    // The last reader let go; its reads happen before these writes.
    std::atomic_thread_fence(std::memory_order_acquire);
    return true;
  }
  auto effectsRgbPixelBuffer = createPixelBuffer(w, h, PixelFormat::BGRA);
  if (!effectsRgbPixelBuffer) {
    CV_LOG_FRAME_WARNING(frameLines, "effectsRgbPixelBuffer is nil");
    return false;
  }
  effectTextureOut = context.textureCache->createTextureFromImage(effectsRgbPixelBuffer, 0,
                                                                  TextureFormat::BGRA8Unorm, w, h);
  if (!effectTextureOut) {
    CV_LOG_FRAME_ERROR(frameLines, "rgbTextureOut is nil");
    return false;
  }
  return true;
}

void EffectView::State::prepareSelvoBuffer(int w, int h) {
  if (!writesSelvo.load()) {
    // Unbound, the kernel leaves the copy out.
    if (selvo_y_texture_out || selvo_uv_texture_out) manager.setSelvoBuffer(nullptr);
    selvo_y_texture_out.reset();
    selvo_uv_texture_out.reset();
    toldSelvoHeight = -1;
    return;
  }
  int sh = selvoHeight(w, h);
  auto selvo = manager.selvoBuffer();
  if (selvo && selvo_y_texture_out && selvo->width() == kSelvoWidth && selvo->height() == sh)
    return;
  // Tried again with every frame while it cannot be made: told once for each size.
  if (sh != toldSelvoHeight) {
    CV_LOG_DEBUG("Create selvo pixel buffer width:" + std::to_string(kSelvoWidth) +
                 " height:" + std::to_string(sh) + ".0");
    toldSelvoHeight = sh;
  }
  selvo_y_texture_out.reset();
  selvo_uv_texture_out.reset();
  selvo = createPixelBuffer(kSelvoWidth, sh, PixelFormat::NV12FullRange);
  manager.setSelvoBuffer(selvo);
  auto& cache = *context.textureCache;
  if (selvo) {
    selvo_y_texture_out =
        cache.createTextureFromImage(selvo, 0, TextureFormat::R8Unorm, kSelvoWidth, sh);
    selvo_uv_texture_out = cache.createTextureFromImage(
        selvo, 1, TextureFormat::RG8Unorm, selvo->planeWidth(1), selvo->planeHeight(1));
  }
  if (!selvo_y_texture_out || !selvo_uv_texture_out) {
    CV_LOG_FRAME_WARNING(frameLines, "y_texture_selvo and uv_texture_selvo is nil");
    selvo_y_texture_out.reset();
    selvo_uv_texture_out.reset();
  }
}

}  // namespace corvane
