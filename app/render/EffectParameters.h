#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace corvane {

// The effect kernel's parameter record (buffer 0): 24 bytes, filled for every pass.
struct EffectParameters {
  // The values that leave the camera's picture as it is: lighting 50 of 0..100, and the gamma
  // the render state holds.
  static constexpr float kNeutralLighting = 0.5f;
  static constexpr float kNeutralGamma = 1.1f;

  // The power the pass raises luma (0..1) to: lighting above neutral lifts the mid-tones, below
  // it lowers them, a whole step (0 or 1) by a factor of two in the exponent; a gamma above
  // neutral lifts them as 1 / gamma does. Black and white stay where they are.
  static float lumaExponent(float lighting, float gamma) {
    float l = lighting >= 0.0f && lighting <= 1.0f ? lighting
              : lighting > 1.0f                    ? 1.0f
                                                   : 0.0f;  // NaN too
    float g = gamma > 0.01f ? gamma : kNeutralGamma;
    return kNeutralGamma / g * std::exp2(2.0f * (kNeutralLighting - l));
  }

  float brightness = kNeutralLighting;  // lighting, 0..1 (the board's lighting ratio)
  float gamma = kNeutralGamma;          // picture gamma (see lumaExponent)
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
