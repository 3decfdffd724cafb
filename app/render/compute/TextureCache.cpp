#include "render/compute/TextureCache.h"

namespace corvane::compute {

TextureRef TextureCache::createTextureFromImage(const platform::PixelBufferRef& buffer,
                                                size_t plane, TextureFormat format, int width,
                                                int height) const {
  return Texture::wrap(buffer, plane, format, width, height);
}

}  // namespace corvane::compute
