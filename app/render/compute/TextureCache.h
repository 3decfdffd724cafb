#pragma once

#include "render/compute/Texture.h"

namespace corvane::compute {

// Makes textures over the planes of pixel buffers without copying, as a texture cache does for
// camera frames: the texture keeps its buffer alive.
class TextureCache {
 public:
  // A texture of `width` x `height` over plane `plane`, or none when the buffer is missing or
  // the plane cannot hold that size in that format.
  TextureRef createTextureFromImage(const platform::PixelBufferRef& buffer, size_t plane,
                                    TextureFormat format, int width, int height) const;
};

}  // namespace corvane::compute
