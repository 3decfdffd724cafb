#pragma once

#include "selvo/DetectCallback.h"

namespace orlith {

// The facade's detection callback: it only marks the end of a pass on standard output.
class SelvoDetectCallback : public selvo::DetectCallback {
 public:
  void OnDetectDone() override;
};

}  // namespace orlith
