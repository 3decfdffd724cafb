#pragma once

#include "render/compute/KernelLibrary.h"

namespace corvane {

// "effectsKernel": one grid row of the effect pass. From the NV12 frame (textures 0, 1) and
// the previous output (2, 3) it writes the noise-reduced, mirrored NV12 output (4, 5) that
// becomes the next reference, the BGRA panorama with brightness and gamma (6), and the NV12
// copy at analysis size (7, 8); buffer 0 holds the EffectParameters. Missing reference slots
// (first frame) mean no noise reduction; every write is bounded by its texture.
void effectsKernel(const compute::ArgumentTable& arguments, const compute::GridRow& row);

}  // namespace corvane
