#pragma once

// The processor and execution-mode detection, the hardware readers and their printer are built
// from the same sources into the main program (namespace corvane) and into the framework
// (namespace orlith, which defines CORVANE_UTIL_NAMESPACE=orlith): two copies, each with its own
// caches and its own printer switch.
#ifndef CORVANE_UTIL_NAMESPACE
#define CORVANE_UTIL_NAMESPACE corvane
#endif
