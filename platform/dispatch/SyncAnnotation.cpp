#include "dispatch/SyncAnnotation.h"

#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define CORVANE_TSAN_ANNOTATE 1
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define CORVANE_TSAN_ANNOTATE 1
#endif
#ifdef CORVANE_TSAN_ANNOTATE
#include <sanitizer/tsan_interface.h>
#endif

namespace platform {

void SyncAnnotation::release(const void* address) {
#ifdef CORVANE_TSAN_ANNOTATE
  __tsan_release(const_cast<void*>(address));
#else
  (void)address;
#endif
}

void SyncAnnotation::acquire(const void* address) {
#ifdef CORVANE_TSAN_ANNOTATE
  __tsan_acquire(const_cast<void*>(address));
#else
  (void)address;
#endif
}

}  // namespace platform
