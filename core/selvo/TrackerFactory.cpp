#include "OrlithLog.h"
#include "SelvoFactory.h"

namespace selvo {

// No tracker is built yet: the factory says so rather than hand out a stand-in.
int CreateISelvoTrackerObject(ISELVO_TRACKER** object) {
  if (object) *object = nullptr;
  ORLITH_LOG_ERROR("the tracker is not available in this build");
  return -1;
}

void ReleaseISelvoTrackerObject(ISELVO_TRACKER* object) { delete object; }

}  // namespace selvo
