#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "render/compute/Sampler.h"
#include "render/compute/Texture.h"

namespace corvane::compute {

// What one dispatch binds, slot by slot, as a GPU argument table would: textures, byte buffers
// and samplers. A kernel reads only the slots its records name; empty slots are null.
class ArgumentTable {
 public:
  static constexpr size_t kTextureSlots = 16;
  static constexpr size_t kBufferSlots = 8;
  static constexpr size_t kSamplerSlots = 4;

  void setTexture(const TextureRef& texture, size_t index);
  void setBytes(const void* bytes, size_t length, size_t index);  // copied
  // Binds memory the caller keeps alive until the dispatch returns (large tables).
  void setBuffer(const void* bytes, size_t length, size_t index);
  void setSampler(const Sampler& sampler, size_t index);

  Texture* texture(size_t index) const {
    return index < kTextureSlots ? textures_[index].get() : nullptr;
  }
  // The buffer at `index` when it holds at least sizeof(T) bytes, else null.
  template <class T>
  const T* buffer(size_t index) const {
    if (index >= kBufferSlots || bufferLength_[index] < sizeof(T)) return nullptr;
    return static_cast<const T*>(bufferData_[index]);
  }
  size_t bufferLength(size_t index) const {
    return index < kBufferSlots ? bufferLength_[index] : 0;
  }
  const void* bufferData(size_t index) const {
    return index < kBufferSlots ? bufferData_[index] : nullptr;
  }
  const Sampler& sampler(size_t index) const {
    return samplers_[index < kSamplerSlots ? index : 0];
  }

 private:
  std::array<TextureRef, kTextureSlots> textures_{};
  std::array<std::vector<uint8_t>, kBufferSlots> ownedBytes_{};
  std::array<const void*, kBufferSlots> bufferData_{};
  std::array<size_t, kBufferSlots> bufferLength_{};
  std::array<Sampler, kSamplerSlots> samplers_{};
};

}  // namespace corvane::compute
