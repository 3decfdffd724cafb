#include "SelvoDetectCallback.h"

#include "OrlithLog.h"

namespace orlith {

void SelvoDetectCallback::OnDetectDone() {
  ORLITH_LOG_DEBUG("========== EnableOneClickDetect ==========");
}

}  // namespace orlith
