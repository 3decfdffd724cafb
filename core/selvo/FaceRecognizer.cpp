#include "FaceRecognizer.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string_view>
#include <vector>

#include "AtomicFile.h"
#include "BoundedFile.h"
#include "OrlithLog.h"

// The face store holds the user's own data: its problems also go to the program's day file.
#define FACE_STORE_LOG_ERROR(msg)                                                          \
  ::orlith::OrlithLog::write(::orlith::OrlithLog::Level::Error, (msg), __FILE__, __func__, \
                             __LINE__, /*dayLog=*/true)
#define FACE_STORE_LOG_WARNING(msg)                                                          \
  ::orlith::OrlithLog::write(::orlith::OrlithLog::Level::Warning, (msg), __FILE__, __func__, \
                             __LINE__, /*dayLog=*/true)

namespace selvo {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

template <typename T>
bool read(const json& j, const char* key, T& out) {
  auto it = j.find(key);
  if (it == j.end()) return false;
  if constexpr (std::is_same_v<T, std::string>) {
    if (!it->is_string()) return false;
  } else if constexpr (std::is_same_v<T, bool>) {
    if (!it->is_boolean()) return false;
  } else if constexpr (std::is_integral_v<T>) {
    if (!it->is_number_integer()) return false;
  } else {
    if (!it->is_number()) return false;
  }
  out = it->get<T>();
  return true;
}

// A picture name must stay inside the database folder.
bool safeRelative(const std::string& name) {
  if (name.empty() || name[0] == '/') return false;
  for (const auto& part : fs::path(name))
    if (part == "..") return false;
  return true;
}

// A picture the store itself writes: "faces/<name>.png" (or .jpg, .jpeg), the name of letters,
// digits, '-' and '_'. Only such files are ever removed, so a hostile or damaged record can
// never make the store delete itself or anything else in its folder.
bool isFacePicture(const std::string& name) {
  constexpr std::string_view kFolder = "faces/";
  if (name.size() <= kFolder.size() || name.compare(0, kFolder.size(), kFolder) != 0) return false;
  std::string_view file = std::string_view(name).substr(kFolder.size());
  auto dot = file.rfind('.');
  if (dot == 0 || dot == std::string_view::npos) return false;
  std::string_view stem = file.substr(0, dot), extension = file.substr(dot);
  if (extension != ".png" && extension != ".jpg" && extension != ".jpeg") return false;
  for (char c : stem)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') return false;
  return true;
}

}  // namespace

bool FaceRecognizer::Init(const char* databaseFolder) {
  std::lock_guard lock(mutex_);
  open_ = false;
  store_ = {};
  selectedPerson_ = -1;
  if (!databaseFolder || !*databaseFolder) {
    FACE_STORE_LOG_ERROR("face store: no database folder");
    return false;
  }
  folder_ = databaseFolder;
  while (folder_.size() > 1 && folder_.back() == '/') folder_.pop_back();
  std::error_code ec;
  fs::create_directories(folder_, ec);
  if (!fs::is_directory(folder_, ec)) {
    FACE_STORE_LOG_ERROR("face store: cannot use folder " + folder_);
    return false;
  }
  Store loaded;
  if (!Load(loaded)) return false;
  store_ = std::move(loaded);
  open_ = true;
  return true;
}

bool FaceRecognizer::Load(Store& store) {
  std::string path = folder_ + "/" + kStoreFileName;
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(path, ec))) return true;  // a new, empty store
  std::string text, error;
  json j;
  if (platform::BoundedFile::read(path, platform::BoundedFile::kFaceStoreBytes, text, &error))
    j = json::parse(text, nullptr, false);
  else
    j = json(json::value_t::discarded);
  if (j.is_discarded() || !j.is_object()) {
    // Left as it is: a broken file is never overwritten.
    FACE_STORE_LOG_ERROR("face store " + (error.empty() ? path + ": not a JSON object" : error) +
                         "; the store stays closed");
    return false;
  }
  if (auto ps = j.find("persons"); ps != j.end() && ps->is_array()) {
    for (const json& e : *ps) {
      PersonInfo p;
      if (!e.is_object() || !read(e, "person_id", p.person_id) || p.person_id < 0 ||
          store.persons.count(p.person_id)) {
        FACE_STORE_LOG_WARNING("face store: a person entry without a valid id is skipped");
        continue;
      }
      read(e, "thumbnail_face_id", p.thumbnail_face_id);
      read(e, "name", p.name);
      read(e, "company", p.company);
      read(e, "title", p.title);
      read(e, "timestamp", p.timestamp);
      read(e, "is_hidden", p.is_hidden);
      store.persons[p.person_id] = p;
    }
  }
  if (auto fsj = j.find("faces"); fsj != j.end() && fsj->is_array()) {
    for (const json& e : *fsj) {
      FaceInfo f;
      if (!e.is_object() || !read(e, "face_id", f.face_id) || f.face_id < 0 ||
          store.faces.count(f.face_id) || !read(e, "person_id", f.person_id) ||
          !store.persons.count(f.person_id)) {
        FACE_STORE_LOG_WARNING("face store: a face entry without a valid id or person is skipped");
        continue;
      }
      read(e, "rect_id", f.rect_id);
      read(e, "similarity", f.similarity);
      read(e, "width", f.width);
      read(e, "height", f.height);
      read(e, "image", f.image_path);
      if (!f.image_path.empty() && !safeRelative(f.image_path)) {
        FACE_STORE_LOG_WARNING("face store: picture " + f.image_path +
                               " outside the folder ignored");
        f.image_path.clear();
      }
      store.faces[f.face_id] = f;
    }
  }
  // A thumbnail must be one of the person's own faces.
  for (auto& [id, p] : store.persons) {
    auto it = store.faces.find(p.thumbnail_face_id);
    if (it == store.faces.end() || it->second.person_id != id) p.thumbnail_face_id = -1;
  }
  return true;
}

bool FaceRecognizer::Commit(Store next) {
  json persons = json::array(), faces = json::array();
  for (const auto& [id, p] : next.persons)
    persons.push_back({{"person_id", id},
                       {"thumbnail_face_id", p.thumbnail_face_id},
                       {"name", p.name},
                       {"company", p.company},
                       {"title", p.title},
                       {"timestamp", p.timestamp},
                       {"is_hidden", p.is_hidden}});
  for (const auto& [id, f] : next.faces)
    faces.push_back({{"face_id", id},
                     {"person_id", f.person_id},
                     {"rect_id", f.rect_id},
                     {"similarity", f.similarity},
                     {"width", f.width},
                     {"height", f.height},
                     {"image", f.image_path}});
  std::string text = json{{"persons", persons}, {"faces", faces}}.dump(2);

  // Written whole or not at all; private, as the pictures of faces are.
  std::string path = folder_ + "/" + kStoreFileName;
  std::string error;
  if (!orlith::AtomicFile::write(path, text, &error, 0600)) {
    FACE_STORE_LOG_ERROR("face store: " + error);  // the reason names the file
    return false;
  }
  // The pictures of faces that are gone.
  for (const auto& [id, f] : store_.faces) {
    if (next.faces.count(id) || f.image_path.empty()) continue;
    if (!isFacePicture(f.image_path)) {
      FACE_STORE_LOG_WARNING("face store: " + f.image_path + " is not a face picture; kept");
      continue;
    }
    // Only a plain file: a link may point anywhere.
    std::string picture = PicturePath(f.image_path);
    std::error_code ec;
    if (!fs::is_regular_file(fs::symlink_status(picture, ec))) continue;
    if (!fs::remove(picture, ec) && ec)
      FACE_STORE_LOG_WARNING("face store: cannot remove " + picture + ": " + ec.message());
  }
  store_ = std::move(next);
  return true;
}

std::string FaceRecognizer::PicturePath(const std::string& relative) const {
  return relative.empty() ? std::string() : folder_ + "/" + relative;
}

void FaceRecognizer::DropFacesOf(Store& store, int personId) {
  for (auto it = store.faces.begin(); it != store.faces.end();)
    it = it->second.person_id == personId ? store.faces.erase(it) : std::next(it);
}

void FaceRecognizer::Stop() {
  std::lock_guard lock(mutex_);
  // Every change is already on disk: stopping only closes the store.
  open_ = false;
  store_ = {};
}

bool FaceRecognizer::GetPersonInfo(int personId, PersonInfo* info) {
  std::lock_guard lock(mutex_);
  auto it = store_.persons.find(personId);
  if (!open_ || !info || it == store_.persons.end()) return false;
  *info = it->second;
  return true;
}

bool FaceRecognizer::GetFaceInfo(int faceId, FaceInfo* info) {
  std::lock_guard lock(mutex_);
  auto it = store_.faces.find(faceId);
  if (!open_ || !info || it == store_.faces.end()) return false;
  *info = it->second;
  info->image_path = PicturePath(it->second.image_path);
  return true;
}

void FaceRecognizer::GetPersonCount(int* count) {
  std::lock_guard lock(mutex_);
  if (count) *count = open_ ? int(store_.persons.size()) : 0;
}

void FaceRecognizer::GetPersons(PersonInfo* persons, int count) {
  std::lock_guard lock(mutex_);
  if (!open_ || !persons) return;
  int i = 0;
  for (auto it = store_.persons.begin(); it != store_.persons.end() && i < count; ++it)
    persons[i++] = it->second;
}

void FaceRecognizer::GetFaceCount(int* count, int personId) {
  std::lock_guard lock(mutex_);
  selectedPerson_ = personId;
  if (!count) return;
  *count = 0;
  if (!open_) return;
  for (const auto& [id, f] : store_.faces)
    if (personId < 0 || f.person_id == personId) ++*count;
}

void FaceRecognizer::GetFaces(FaceInfo* faces, int count) {
  std::lock_guard lock(mutex_);
  if (!open_ || !faces) return;
  int i = 0;
  for (auto it = store_.faces.begin(); it != store_.faces.end() && i < count; ++it) {
    if (selectedPerson_ >= 0 && it->second.person_id != selectedPerson_) continue;
    faces[i] = it->second;
    faces[i].image_path = PicturePath(it->second.image_path);
    ++i;
  }
}

bool FaceRecognizer::UpdatePersonInfo(int personId, const PersonInfo& info) {
  std::lock_guard lock(mutex_);
  if (!open_ || !store_.persons.count(personId)) return false;
  Store next = store_;
  PersonInfo& p = next.persons[personId];
  p.name = info.name;
  p.company = info.company;
  p.title = info.title;
  p.timestamp = info.timestamp;
  p.is_hidden = info.is_hidden;
  return Commit(std::move(next));
}

bool FaceRecognizer::DeletePerson(int personId) {
  std::lock_guard lock(mutex_);
  if (!open_ || !store_.persons.count(personId)) return false;
  Store next = store_;
  next.persons.erase(personId);
  DropFacesOf(next, personId);
  return Commit(std::move(next));
}

bool FaceRecognizer::DeleteFace(int faceId) {
  std::lock_guard lock(mutex_);
  auto it = store_.faces.find(faceId);
  if (!open_ || it == store_.faces.end()) return false;
  Store next = store_;
  int owner = it->second.person_id;
  next.faces.erase(faceId);
  // The person's thumbnail moves to another of its faces, if it has one.
  PersonInfo& p = next.persons[owner];
  if (p.thumbnail_face_id == faceId) {
    p.thumbnail_face_id = -1;
    for (const auto& [id, f] : next.faces)
      if (f.person_id == owner) {
        p.thumbnail_face_id = id;
        break;
      }
  }
  return Commit(std::move(next));
}

void FaceRecognizer::RemoveUnnamedPerson() {
  std::lock_guard lock(mutex_);
  if (!open_) return;
  Store next = store_;
  bool any = false;
  for (auto it = next.persons.begin(); it != next.persons.end();) {
    if (!it->second.name.empty()) {
      ++it;
      continue;
    }
    DropFacesOf(next, it->first);
    it = next.persons.erase(it);
    any = true;
  }
  if (any) Commit(std::move(next));
}

bool FaceRecognizer::ChangePersonThumbnailFace(int personId, int faceId) {
  std::lock_guard lock(mutex_);
  auto face = store_.faces.find(faceId);
  if (!open_ || !store_.persons.count(personId) || face == store_.faces.end() ||
      face->second.person_id != personId)
    return false;
  Store next = store_;
  next.persons[personId].thumbnail_face_id = faceId;
  return Commit(std::move(next));
}

bool FaceRecognizer::MergePerson(int personId, int targetPersonId) {
  std::lock_guard lock(mutex_);
  if (!open_ || personId == targetPersonId || !store_.persons.count(personId) ||
      !store_.persons.count(targetPersonId))
    return false;
  Store next = store_;
  const PersonInfo from = next.persons[personId];
  PersonInfo& into = next.persons[targetPersonId];
  // The target keeps its own tag; what it lacks comes from the merged person.
  if (into.name.empty()) into.name = from.name;
  if (into.company.empty()) into.company = from.company;
  if (into.title.empty()) into.title = from.title;
  if (into.thumbnail_face_id < 0) into.thumbnail_face_id = from.thumbnail_face_id;
  for (auto& [id, f] : next.faces)
    if (f.person_id == personId) f.person_id = targetPersonId;
  next.persons.erase(personId);
  return Commit(std::move(next));
}

}  // namespace selvo
