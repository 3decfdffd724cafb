#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "video/PixelBuffer.h"

namespace corvane::compute {

// Texel layouts the kernels read and write; names follow the GPU formats they stand for.
enum class TextureFormat {
  R8Unorm,     // one byte per texel
  RG8Unorm,    // two bytes (NV12 chroma: Cb, Cr)
  RGBA8Unorm,  // bytes R, G, B, A
  BGRA8Unorm,  // bytes B, G, R, A
};

size_t bytesPerTexel(TextureFormat format);

class Texture;
using TextureRef = std::shared_ptr<Texture>;

// A 2D grid of texels, either owning its memory or viewing one plane of a pixel buffer
// (which it keeps alive). Rows may be padded: always step by bytesPerRow().
class Texture {
 public:
  // Zeroed storage of its own; none for an empty or absurd size.
  static TextureRef create(int width, int height, TextureFormat format);
  // A view of plane `plane` of `buffer`; none when the format's texel size or the requested
  // size does not fit inside the plane.
  static TextureRef wrap(const platform::PixelBufferRef& buffer, size_t plane, TextureFormat format,
                         int width, int height);

  Texture(const Texture&) = delete;
  Texture& operator=(const Texture&) = delete;

  int width() const { return width_; }
  int height() const { return height_; }
  TextureFormat format() const { return format_; }
  size_t bytesPerRow() const { return bytesPerRow_; }
  uint8_t* row(int y) { return data_ + size_t(y) * bytesPerRow_; }
  const uint8_t* row(int y) const { return data_ + size_t(y) * bytesPerRow_; }
  const platform::PixelBufferRef& pixelBuffer() const { return buffer_; }

  // Copies texels from memory laid out with `sourceBytesPerRow` (whole texture).
  void replace(const uint8_t* source, size_t sourceBytesPerRow);

 private:
  Texture() = default;

  int width_ = 0;
  int height_ = 0;
  TextureFormat format_ = TextureFormat::R8Unorm;
  size_t bytesPerRow_ = 0;
  uint8_t* data_ = nullptr;
  std::vector<uint8_t> storage_;
  platform::PixelBufferRef buffer_;
};

}  // namespace corvane::compute
