#pragma once

#include "render/compute/KernelLibrary.h"

namespace corvane {

// "layoutKernel": one grid row of the composed picture. Buffers 0 and 1 hold the 20 source and
// destination RoiProperty records, buffer 2 the LayoutUniforms, buffer 3 the prepared
// LayoutRemapCache; texture 0 is the effect texture (BGRA), 1 the thumbnail (RGBA), 2 the
// output (BGRA). Tiles are drawn in record order, later over earlier, each with its edges
// (edge_width pixels in the highlight colour); pixels no tile covers are black.
void layoutKernel(const compute::ArgumentTable& arguments, const compute::GridRow& row);

}  // namespace corvane
