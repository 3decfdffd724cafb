#pragma once

#include <mutex>

namespace selvo {

// Faster CPU versions of the layers that carry most of the face model's work in OpenCV's dnn
// module (4.6): the 1x1 convolutions of 24 to 96 channels (OpenCV transposes each input block
// and sums the few channels with horizontal adds), the 3x3 depthwise convolutions of stride 1
// (per-call overhead on the small 16 x 16 planes) and the sum of a block's two branches (a
// scalar loop there). Each computes what OpenCV's layer computes, up to float rounding, with a
// following ReLU folded in as OpenCV folds it; other shapes of these layer types stay OpenCV's.
//
// While an instance lives, the layers a net creates are these where they apply (OpenCV creates
// a net's layers when it first runs, so a model is loaded and run once inside the scope). A net
// set up meanwhile on another thread gets them as well, which does no harm.
class BlazeFaceLayers {
 public:
  BlazeFaceLayers();
  ~BlazeFaceLayers();
  BlazeFaceLayers(const BlazeFaceLayers&) = delete;
  BlazeFaceLayers& operator=(const BlazeFaceLayers&) = delete;

 private:
  static std::mutex mutex_;
  static int scopes_;  // instances alive
};

}  // namespace selvo
