#include "PersonTracker.h"
#include "SelvoFactory.h"

namespace selvo {

int CreateISelvoTrackerObject(ISELVO_TRACKER** object) {
  if (!object) return -1;
  *object = new PersonTracker();
  return 0;
}

void ReleaseISelvoTrackerObject(ISELVO_TRACKER* object) { delete object; }

}  // namespace selvo
