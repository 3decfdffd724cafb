#pragma once

#include <map>
#include <mutex>
#include <string>

#include "ISELVO_FACE_RECOGNIZER.h"

namespace selvo {

// The store of known persons and their faces, kept as "persons.json" in the database folder
// with the face pictures beside it. Every change is written at once (atomically), so the store
// survives a restart or a crash. It recognises nobody by itself: it only keeps what it holds.
class FaceRecognizer : public ISELVO_FACE_RECOGNIZER {
 public:
  static constexpr const char* kStoreFileName = "persons.json";

  bool Init(const char* databaseFolder) override;
  void Stop() override;
  bool GetPersonInfo(int personId, PersonInfo* info) override;
  bool GetFaceInfo(int faceId, FaceInfo* info) override;
  void GetPersonCount(int* count) override;
  void GetPersons(PersonInfo* persons, int count) override;
  // Selects the faces of that person (every face for a negative id) for GetFaces.
  void GetFaceCount(int* count, int personId) override;
  void GetFaces(FaceInfo* faces, int count) override;
  bool UpdatePersonInfo(int personId, const PersonInfo& info) override;
  bool DeletePerson(int personId) override;
  bool DeleteFace(int faceId) override;
  void RemoveUnnamedPerson() override;
  bool ChangePersonThumbnailFace(int personId, int faceId) override;
  bool MergePerson(int personId, int targetPersonId) override;

 private:
  struct Store {
    std::map<int, PersonInfo> persons;
    std::map<int, FaceInfo> faces;  // image_path relative to the folder
  };

  bool Load(Store& store);
  // Writes the store; on success it becomes the current one and the pictures of the faces it
  // no longer holds are removed.
  bool Commit(Store next);
  std::string PicturePath(const std::string& relative) const;
  static void DropFacesOf(Store& store, int personId);

  std::mutex mutex_;
  bool open_ = false;
  std::string folder_;
  Store store_;
  int selectedPerson_ = -1;
};

}  // namespace selvo
