#include <new>

#include "LayoutEngine.h"
#include "OrlithLog.h"
#include "SelvoFactory.h"

namespace selvo {

// Every engine reads the process-wide tuning that the settings objects write.
int CreateISelvoLayoutObject(ISELVO_LAYOUT** object) {
  if (!object) {
    ORLITH_LOG_ERROR("no place to put the layout engine");
    return -1;
  }
  *object = new (std::nothrow) LayoutEngine();
  if (!*object) {
    ORLITH_LOG_ERROR("cannot allocate the layout engine");
    return -1;
  }
  return 0;
}

void ReleaseISelvoLayoutObject(ISELVO_LAYOUT* object) { delete object; }

}  // namespace selvo
