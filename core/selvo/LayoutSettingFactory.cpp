#include "OrlithLog.h"
#include "SelvoFactory.h"

namespace selvo {

// No layout settings is built yet: the factory says so rather than hand out a stand-in.
int CreateISelvoLayoutSettingObject(ISELVO_LAYOUT_SETTING** object) {
  if (object) *object = nullptr;
  ORLITH_LOG_ERROR("the layout settings is not available in this build");
  return -1;
}

void ReleaseISelvoLayoutSettingObject(ISELVO_LAYOUT_SETTING* object) { delete object; }

}  // namespace selvo
