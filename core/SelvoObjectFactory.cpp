#include "SelvoObjectFactory.h"

namespace orlith {

using namespace selvo;

int SelvoObjectFactory::CreateFrameManager(ISELVO_FRAME_MANAGER** object) {
  return CreateISelvoFrameManagerObject(object);
}
int SelvoObjectFactory::CreateDetector(ISELVO_DETECTOR** object) {
  return CreateISelvoDetectorObject(object);
}
int SelvoObjectFactory::CreateTracker(ISELVO_TRACKER** object) {
  return CreateISelvoTrackerObject(object);
}
int SelvoObjectFactory::CreateRecognizer(ISELVO_FACE_RECOGNIZER** object) {
  return CreateISelvoRecognizerObject(object);
}
int SelvoObjectFactory::CreateLayout(ISELVO_LAYOUT** object) {
  return CreateISelvoLayoutObject(object);
}
int SelvoObjectFactory::CreateLayoutSetting(ISELVO_LAYOUT_SETTING** object) {
  return CreateISelvoLayoutSettingObject(object);
}
void SelvoObjectFactory::ReleaseFrameManager(ISELVO_FRAME_MANAGER* object) {
  ReleaseISelvoFrameManagerObject(object);
}
void SelvoObjectFactory::ReleaseDetector(ISELVO_DETECTOR* object) {
  ReleaseISelvoDetectorObject(object);
}
void SelvoObjectFactory::ReleaseTracker(ISELVO_TRACKER* object) {
  ReleaseISelvoTrackerObject(object);
}
void SelvoObjectFactory::ReleaseRecognizer(ISELVO_FACE_RECOGNIZER* object) {
  ReleaseISelvoRecognizerObject(object);
}
void SelvoObjectFactory::ReleaseLayout(ISELVO_LAYOUT* object) { ReleaseISelvoLayoutObject(object); }
void SelvoObjectFactory::ReleaseLayoutSetting(ISELVO_LAYOUT_SETTING* object) {
  ReleaseISelvoLayoutSettingObject(object);
}

}  // namespace orlith
