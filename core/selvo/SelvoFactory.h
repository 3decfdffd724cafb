#pragma once

#include "ISELVO_DETECTOR.h"
#include "ISELVO_FACE_RECOGNIZER.h"
#include "ISELVO_FRAME_MANAGER.h"
#include "ISELVO_LAYOUT.h"
#include "ISELVO_LAYOUT_SETTING.h"
#include "ISELVO_TRACKER.h"

// Factories fill the pointer and return 0, or leave it null and return -1 when the object
// cannot be made. Objects are used only through their interfaces and freed by their release.
namespace selvo {

// The absolute folder the library finds its model and images in (it never changes directory).
void SetSelvoResourceFolder(const char* folder);
const char* GetSelvoResourceFolder();

int CreateISelvoFrameManagerObject(ISELVO_FRAME_MANAGER** object);
int CreateISelvoDetectorObject(ISELVO_DETECTOR** object);
int CreateISelvoTrackerObject(ISELVO_TRACKER** object);
int CreateISelvoRecognizerObject(ISELVO_FACE_RECOGNIZER** object);
int CreateISelvoLayoutObject(ISELVO_LAYOUT** object);
int CreateISelvoLayoutSettingObject(ISELVO_LAYOUT_SETTING** object);

void ReleaseISelvoFrameManagerObject(ISELVO_FRAME_MANAGER* object);
void ReleaseISelvoDetectorObject(ISELVO_DETECTOR* object);
void ReleaseISelvoTrackerObject(ISELVO_TRACKER* object);
void ReleaseISelvoRecognizerObject(ISELVO_FACE_RECOGNIZER* object);
void ReleaseISelvoLayoutObject(ISELVO_LAYOUT* object);
void ReleaseISelvoLayoutSettingObject(ISELVO_LAYOUT_SETTING* object);

}  // namespace selvo
