#include "SelvoDetectCallback.h"

#include "OrlithLog.h"

namespace orlith {

void SelvoDetectCallback::OnDetectDone() {
  // Called for every detection pass.
  ORLITH_LOG_FRAME_DEBUG("========== EnableOneClickDetect ==========");
}

}  // namespace orlith
