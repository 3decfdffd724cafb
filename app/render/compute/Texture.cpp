#include "render/compute/Texture.h"

#include <cstring>

namespace corvane::compute {

size_t bytesPerTexel(TextureFormat format) {
  switch (format) {
    case TextureFormat::R8Unorm:
      return 1;
    case TextureFormat::RG8Unorm:
      return 2;
    case TextureFormat::RGBA8Unorm:
    case TextureFormat::BGRA8Unorm:
      return 4;
  }
  return 4;
}

TextureRef Texture::create(int width, int height, TextureFormat format) {
  if (width <= 0 || height <= 0 || width > platform::PixelBuffer::kMaxSide ||
      height > platform::PixelBuffer::kMaxSide)
    return nullptr;
  TextureRef texture(new Texture());
  texture->width_ = width;
  texture->height_ = height;
  texture->format_ = format;
  texture->bytesPerRow_ = size_t(width) * bytesPerTexel(format);
  texture->storage_.assign(texture->bytesPerRow_ * size_t(height), 0);
  texture->data_ = texture->storage_.data();
  return texture;
}

TextureRef Texture::wrap(const platform::PixelBufferRef& buffer, size_t plane, TextureFormat format,
                         int width, int height) {
  if (!buffer || plane >= buffer->planeCount() || width <= 0 || height <= 0) return nullptr;
  // The texel size must match what the plane holds per sample, and the view must lie inside it.
  size_t sampleBytes = buffer->format() == platform::PixelFormat::BGRA ? 4 : (plane == 0 ? 1 : 2);
  if (bytesPerTexel(format) != sampleBytes) return nullptr;
  if (width > buffer->planeWidth(plane) || height > buffer->planeHeight(plane)) return nullptr;
  TextureRef texture(new Texture());
  texture->width_ = width;
  texture->height_ = height;
  texture->format_ = format;
  texture->bytesPerRow_ = buffer->bytesPerRow(plane);
  texture->data_ = buffer->baseAddress(plane);
  texture->buffer_ = buffer;
  return texture;
}

void Texture::replace(const uint8_t* source, size_t sourceBytesPerRow) {
  size_t rowBytes = size_t(width_) * bytesPerTexel(format_);
  for (int y = 0; y < height_; ++y)
    std::memcpy(row(y), source + size_t(y) * sourceBytesPerRow, rowBytes);
}

}  // namespace corvane::compute
