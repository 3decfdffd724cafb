#include "FaceRecognizer.h"
#include "SelvoFactory.h"

namespace selvo {

int CreateISelvoRecognizerObject(ISELVO_FACE_RECOGNIZER** object) {
  if (!object) return -1;
  *object = new FaceRecognizer();
  return 0;
}

void ReleaseISelvoRecognizerObject(ISELVO_FACE_RECOGNIZER* object) { delete object; }

}  // namespace selvo
