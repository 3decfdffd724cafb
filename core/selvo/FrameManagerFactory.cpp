#include <new>

#include "SelvoFactory.h"
#include "SelvoFrameManager.h"

namespace selvo {

int CreateISelvoFrameManagerObject(ISELVO_FRAME_MANAGER** object) {
  if (!object) return -1;
  *object = new (std::nothrow) SelvoFrameManager();
  return *object ? 0 : -1;
}

void ReleaseISelvoFrameManagerObject(ISELVO_FRAME_MANAGER* object) { delete object; }

}  // namespace selvo
