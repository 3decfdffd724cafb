#include "OrlithLog.h"
#include "SelvoFactory.h"

namespace selvo {

// No frame manager is built yet: the factory says so rather than hand out a stand-in.
int CreateISelvoFrameManagerObject(ISELVO_FRAME_MANAGER** object) {
  if (object) *object = nullptr;
  ORLITH_LOG_ERROR("the frame manager is not available in this build");
  return -1;
}

void ReleaseISelvoFrameManagerObject(ISELVO_FRAME_MANAGER* object) { delete object; }

}  // namespace selvo
