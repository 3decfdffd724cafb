#include "RecognizerRecords.h"

#include <string>

#include "OrlithLog.h"

namespace orlith {

using namespace selvo;

namespace {
// More records than this is a broken count, not a room full of people.
constexpr int kMaxRecords = 100000;
}  // namespace

SelvoPersonInfo RecognizerRecords::toObject(const PersonInfo& p) {
  SelvoPersonInfo o;
  o.person_id = int16_t(p.person_id);
  o.thumbnail_face_id = p.thumbnail_face_id;
  o.name = p.name;
  o.company = p.company;
  o.title = p.title;
  o.timestamp = p.timestamp;
  return o;
}

SelvoFaceInfo RecognizerRecords::toObject(const FaceInfo& f) {
  SelvoFaceInfo o;
  o.person_id = int16_t(f.person_id);
  o.face_id = int16_t(f.face_id);
  o.rect_id = int16_t(f.rect_id);
  o.similarity = f.similarity;
  o.width = f.width;
  o.height = f.height;
  o.image_path = f.image_path;
  return o;
}

void RecognizerRecords::appendPersons(ISELVO_FACE_RECOGNIZER& recognizer,
                                      std::vector<SelvoPersonInfo>& out) {
  int n = 0;
  recognizer.GetPersonCount(&n);
  if (n <= 0 || n > kMaxRecords) return;
  std::vector<PersonInfo> records(static_cast<size_t>(n));
  recognizer.GetPersons(records.data(), n);
  for (const auto& r : records) out.push_back(toObject(r));
}

void RecognizerRecords::appendFaces(ISELVO_FACE_RECOGNIZER& recognizer, int personId,
                                    std::vector<SelvoFaceInfo>& out) {
  int n = 0;
  recognizer.GetFaceCount(&n, personId);
  if (n <= 0 || n > kMaxRecords) return;
  std::vector<FaceInfo> records(static_cast<size_t>(n));
  recognizer.GetFaces(records.data(), n);
  for (const auto& r : records) out.push_back(toObject(r));
}

bool RecognizerRecords::update(ISELVO_FACE_RECOGNIZER& recognizer, int personId,
                               const SelvoPersonInfo& info, PersonInfo& updated) {
  PersonInfo record;
  if (!recognizer.GetPersonInfo(personId, &record) || record.person_id != personId) {
    ORLITH_LOG_WARNING("UpdatePersonInfo for person id " + std::to_string(personId) +
                       " failed, id not found.");
    return false;
  }
  if (!info.name.empty()) record.name = info.name;
  if (!info.company.empty()) record.company = info.company;
  if (!info.title.empty()) record.title = info.title;
  recognizer.UpdatePersonInfo(personId, record);
  updated = record;
  return true;
}

std::string RecognizerRecords::thumbnailPath(ISELVO_FACE_RECOGNIZER& recognizer, int personId) {
  PersonInfo person;
  if (!recognizer.GetPersonInfo(personId, &person) || person.thumbnail_face_id < 0) return {};
  FaceInfo face;
  return recognizer.GetFaceInfo(person.thumbnail_face_id, &face) ? face.image_path : "";
}

}  // namespace orlith
