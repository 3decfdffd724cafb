#include "PersonDetector.h"
#include "SelvoFactory.h"

namespace selvo {

int CreateISelvoDetectorObject(ISELVO_DETECTOR** object) {
  if (!object) return -1;
  *object = new PersonDetector();
  return 0;
}

void ReleaseISelvoDetectorObject(ISELVO_DETECTOR* object) { delete object; }

}  // namespace selvo
