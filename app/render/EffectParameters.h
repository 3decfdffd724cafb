#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

// The effect kernel's parameter record (buffer 0): 24 bytes, filled for every pass.
struct EffectParameters {
  float brightness = 0;  // luma lift, -1..1 of a quarter of full scale
  float gamma = 1;       // output = input ^ (1 / gamma)
  float denoise = 0;     // noise-reduction level, whole steps 0..6
  float width = 0;       // frame width in pixels
  float height = 0;      // frame height in pixels
  uint8_t mirror = 0;    // 1: mirror left to right
  uint8_t unused[3] = {0, 0, 0};
};
static_assert(sizeof(EffectParameters) == 24);
static_assert(offsetof(EffectParameters, mirror) == 20);

// Texture slots of "effectsKernel".
enum EffectSlot : size_t {
  kEffectSourceY = 0,
  kEffectSourceUV = 1,
  kEffectReferenceY = 2,
  kEffectReferenceUV = 3,
  kEffectOutputY = 4,
  kEffectOutputUV = 5,
  kEffectTextureOut = 6,
  kEffectSelvoY = 7,
  kEffectSelvoUV = 8,
};

}  // namespace corvane
