#include "OrlithLog.h"
#include "SelvoFactory.h"

namespace selvo {

// No detector is built yet: the factory says so rather than hand out a stand-in.
int CreateISelvoDetectorObject(ISELVO_DETECTOR** object) {
  if (object) *object = nullptr;
  ORLITH_LOG_ERROR("the detector is not available in this build");
  return -1;
}

void ReleaseISelvoDetectorObject(ISELVO_DETECTOR* object) { delete object; }

}  // namespace selvo
