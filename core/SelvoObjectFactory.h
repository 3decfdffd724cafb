#pragma once

#include "selvo/SelvoFactory.h"

namespace orlith {

// Where the facade gets its vision-library objects from and gives them back. The default is
// the library's own factories; tests hand in recording doubles.
class SelvoObjectFactory {
 public:
  virtual ~SelvoObjectFactory() = default;
  virtual int CreateFrameManager(selvo::ISELVO_FRAME_MANAGER** object);
  virtual int CreateDetector(selvo::ISELVO_DETECTOR** object);
  virtual int CreateTracker(selvo::ISELVO_TRACKER** object);
  virtual int CreateRecognizer(selvo::ISELVO_FACE_RECOGNIZER** object);
  virtual int CreateLayout(selvo::ISELVO_LAYOUT** object);
  virtual int CreateLayoutSetting(selvo::ISELVO_LAYOUT_SETTING** object);
  virtual void ReleaseFrameManager(selvo::ISELVO_FRAME_MANAGER* object);
  virtual void ReleaseDetector(selvo::ISELVO_DETECTOR* object);
  virtual void ReleaseTracker(selvo::ISELVO_TRACKER* object);
  virtual void ReleaseRecognizer(selvo::ISELVO_FACE_RECOGNIZER* object);
  virtual void ReleaseLayout(selvo::ISELVO_LAYOUT* object);
  virtual void ReleaseLayoutSetting(selvo::ISELVO_LAYOUT_SETTING* object);
};

}  // namespace orlith
