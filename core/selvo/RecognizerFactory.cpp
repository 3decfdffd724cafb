#include "OrlithLog.h"
#include "SelvoFactory.h"

namespace selvo {

// No face recogniser is built yet: the factory says so rather than hand out a stand-in.
int CreateISelvoRecognizerObject(ISELVO_FACE_RECOGNIZER** object) {
  if (object) *object = nullptr;
  ORLITH_LOG_ERROR("the face recogniser is not available in this build");
  return -1;
}

void ReleaseISelvoRecognizerObject(ISELVO_FACE_RECOGNIZER* object) { delete object; }

}  // namespace selvo
