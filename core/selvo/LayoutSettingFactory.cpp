#include <new>

#include "LayoutSetting.h"
#include "OrlithLog.h"
#include "SelvoFactory.h"

namespace selvo {

// Each settings object writes the process-wide tuning, so any number of them may exist.
int CreateISelvoLayoutSettingObject(ISELVO_LAYOUT_SETTING** object) {
  if (!object) {
    ORLITH_LOG_ERROR("no place to put the layout settings");
    return -1;
  }
  *object = new (std::nothrow) LayoutSetting();
  if (!*object) {
    ORLITH_LOG_ERROR("cannot allocate the layout settings");
    return -1;
  }
  return 0;
}

void ReleaseISelvoLayoutSettingObject(ISELVO_LAYOUT_SETTING* object) { delete object; }

}  // namespace selvo
