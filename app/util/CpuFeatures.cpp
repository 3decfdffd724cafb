#include "util/CpuFeatures.h"

namespace corvane {

bool CpuFeatures::avx2() {
#if defined(__GNUC__) && defined(__x86_64__)
  static const bool supported = [] {
    __builtin_cpu_init();  // may run before the runtime's own constructors
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return supported;
#else
  return false;
#endif
}

}  // namespace corvane
