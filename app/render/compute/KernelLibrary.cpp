#include "render/compute/KernelLibrary.h"

#include "render/EffectsKernel.h"
#include "render/LayoutKernel.h"

namespace corvane::compute {

KernelLibrary KernelLibrary::makeDefault() {
  KernelLibrary library;
  library.add("effectsKernel", &corvane::effectsKernel);
  library.add("layoutKernel", &corvane::layoutKernel);
  return library;
}

void KernelLibrary::add(const std::string& name, KernelFunction function) {
  if (function) functions_[name] = function;
}

std::optional<KernelFunction> KernelLibrary::function(const std::string& name) const {
  auto it = functions_.find(name);
  if (it == functions_.end()) return std::nullopt;
  return it->second;
}

}  // namespace corvane::compute
