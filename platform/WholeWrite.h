#pragma once

#include <cstddef>

namespace platform {

// write(2) until every byte is out: a write may take only part of what it is given (a signal, a
// disk that fills up in the middle of a chunk), and the rest must follow or fail with a reason.
class WholeWrite {
 public:
  // 0 when all `size` bytes were written, else the errno that stopped it (also left in errno);
  // a write that takes nothing without an error counts as a full disk (ENOSPC).
  static int to(int fd, const void* data, size_t size);
};

}  // namespace platform
