#pragma once

#include "camera/ConnectMode.h"

namespace corvane {

// Whether the main window may be minimised, decided before anything is asked of it.
class MiniaturizeRule {
 public:
  enum class Step {
    ignore,       // no controller fills the window: nothing happens
    miniaturize,  // minimise at once
    askPopups,    // minimise only if closing every popup succeeds
  };

  static Step decide(bool hasDelegate, bool isSimpleMode, ConnectMode connectMode);
};

}  // namespace corvane
