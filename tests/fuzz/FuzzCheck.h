#pragma once

#include <cstdio>
#include <cstdlib>

// A broken property of a fuzz target: printed, then the run aborts so libFuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                               \
  do {                                                                                      \
    if (!(condition)) {                                                                     \
      std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                         \
    }                                                                                       \
  } while (0)
