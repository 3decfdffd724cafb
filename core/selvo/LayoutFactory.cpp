#include "OrlithLog.h"
#include "SelvoFactory.h"

namespace selvo {

// No layout engine is built yet: the factory says so rather than hand out a stand-in.
int CreateISelvoLayoutObject(ISELVO_LAYOUT** object) {
  if (object) *object = nullptr;
  ORLITH_LOG_ERROR("the layout engine is not available in this build");
  return -1;
}

void ReleaseISelvoLayoutObject(ISELVO_LAYOUT* object) { delete object; }

}  // namespace selvo
