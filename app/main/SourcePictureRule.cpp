#include "main/SourcePictureRule.h"

namespace corvane {

SourcePictureRule::Step SourcePictureRule::connectModeChanged(ConnectMode mode) {
  const bool wasConnected = last_ == ConnectMode::connected;
  last_ = mode;
  Step step;
  switch (mode) {
    case ConnectMode::connected:
      shows_ = true;
      break;
    case ConnectMode::disconnected:
      shows_ = false;
      step.clear = true;
      break;
    case ConnectMode::searching:
    case ConnectMode::connecting:
      // A search from a live connection replaces its source; one begun without a source (the
      // start, Try Again, a plug-in) keeps what the views show until it connects.
      if (wasConnected) {
        shows_ = false;
        step.clear = true;
      }
      break;
  }
  step.shows = shows_;
  return step;
}

}  // namespace corvane
