#include "render/compute/ArgumentTable.h"

#include <cstring>

namespace corvane::compute {

void ArgumentTable::setTexture(const TextureRef& texture, size_t index) {
  if (index < kTextureSlots) textures_[index] = texture;
}

void ArgumentTable::setBytes(const void* bytes, size_t length, size_t index) {
  if (index >= kBufferSlots) return;
  // 16-byte aligned storage, as records with 16-byte alignment expect.
  auto& owned = ownedBytes_[index];
  owned.assign(length + 16, 0);
  auto* base = owned.data();
  auto* aligned = base + ((16 - reinterpret_cast<uintptr_t>(base) % 16) % 16);
  if (bytes && length) std::memcpy(aligned, bytes, length);
  bufferData_[index] = aligned;
  bufferLength_[index] = length;
}

void ArgumentTable::setBuffer(const void* bytes, size_t length, size_t index) {
  if (index >= kBufferSlots) return;
  ownedBytes_[index].clear();
  bufferData_[index] = bytes;
  bufferLength_[index] = bytes ? length : 0;
}

void ArgumentTable::setSampler(const Sampler& sampler, size_t index) {
  if (index < kSamplerSlots) samplers_[index] = sampler;
}

}  // namespace corvane::compute
