#pragma once

#include "SelvoTypes.h"

namespace selvo {

// A store of known persons and their faces, kept in a database folder.
class ISELVO_FACE_RECOGNIZER {
 public:
  virtual ~ISELVO_FACE_RECOGNIZER() = default;
  // Opens (or creates) the store in that folder; false when it cannot be used.
  virtual bool Init(const char* databaseFolder) = 0;
  virtual void Stop() = 0;
  virtual bool GetPersonInfo(int personId, PersonInfo* info) = 0;
  virtual bool GetFaceInfo(int faceId, FaceInfo* info) = 0;
  virtual void GetPersonCount(int* count) = 0;
  virtual void GetPersons(PersonInfo* persons, int count) = 0;
  virtual void GetFaceCount(int* count, int personId) = 0;
  virtual void GetFaces(FaceInfo* faces, int count) = 0;
  virtual bool UpdatePersonInfo(int personId, const PersonInfo& info) = 0;
  virtual bool DeletePerson(int personId) = 0;
  virtual bool DeleteFace(int faceId) = 0;
  virtual void RemoveUnnamedPerson() = 0;
  virtual bool ChangePersonThumbnailFace(int personId, int faceId) = 0;
  virtual bool MergePerson(int personId, int targetPersonId) = 0;
};

}  // namespace selvo
