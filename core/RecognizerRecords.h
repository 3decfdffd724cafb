#pragma once

#include <string>
#include <vector>

#include "SelvoFaceInfo.h"
#include "SelvoPersonInfo.h"
#include "selvo/ISELVO_FACE_RECOGNIZER.h"

namespace orlith {

// Turns the recogniser's person and face records into the facade's objects, field by field.
class RecognizerRecords {
 public:
  static SelvoPersonInfo toObject(const selvo::PersonInfo& person);
  static SelvoFaceInfo toObject(const selvo::FaceInfo& face);
  static void appendPersons(selvo::ISELVO_FACE_RECOGNIZER& recognizer,
                            std::vector<SelvoPersonInfo>& out);
  static void appendFaces(selvo::ISELVO_FACE_RECOGNIZER& recognizer, int personId,
                          std::vector<SelvoFaceInfo>& out);
  // The person's non-empty texts replace the stored ones; false (and a log line) for an
  // unknown person. `updated` is the record as stored afterwards.
  static bool update(selvo::ISELVO_FACE_RECOGNIZER& recognizer, int personId,
                     const SelvoPersonInfo& info, selvo::PersonInfo& updated);
  // The image of the person's thumbnail face; empty when there is none.
  static std::string thumbnailPath(selvo::ISELVO_FACE_RECOGNIZER& recognizer, int personId);
};

}  // namespace orlith
