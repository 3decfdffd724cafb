// The face store's "persons.json", as a damaged disk or a hostile hand can leave it: opening it
// never crashes, and deleting every person and face afterwards removes face pictures only,
// never the store itself or any other file in or beside its folder.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "OrlithLog.h"
#include "selvo/SelvoFactory.h"

namespace fs = std::filesystem;

namespace {

void writeFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

struct Folder {
  Folder() {
    std::string pattern = (fs::temp_directory_path() / "corvane-fuzz-faces-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    root = pattern;
    store = root / "face";
    orlith::OrlithLog::setSink([](orlith::OrlithLog::Level, const std::string&) {});
  }
  ~Folder() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
  fs::path root, store;
};

// Files no deletion may touch: beside the folder, in it, and in its faces/ folder.
const std::vector<std::string> kKeep = {"../precious.txt", "notes.txt", "faces/readme.txt",
                                        "faces.png"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Folder folder;
  std::error_code ec;
  fs::remove_all(folder.store, ec);
  std::string text(reinterpret_cast<const char*>(data), size);
  writeFile(folder.store / "persons.json", text);
  for (const auto& name : kKeep) writeFile(folder.store / name, "keep");
  for (int id = 0; id < 4; ++id)
    writeFile(folder.store / ("faces/" + std::to_string(id) + ".png"), "picture");

  selvo::ISELVO_FACE_RECOGNIZER* store = nullptr;
  FUZZ_CHECK(selvo::CreateISelvoRecognizerObject(&store) == 0 && store);
  if (store->Init(folder.store.c_str())) {
    int count = 0;
    store->GetPersonCount(&count);
    std::vector<selvo::PersonInfo> persons(size_t(std::max(count, 0)));
    store->GetPersons(persons.data(), count);
    store->GetFaceCount(&count, -1);
    std::vector<selvo::FaceInfo> faces(size_t(std::max(count, 0)));
    store->GetFaces(faces.data(), count);
    if (!faces.empty()) store->DeleteFace(faces.front().face_id);
    store->RemoveUnnamedPerson();
    for (const auto& p : persons) store->DeletePerson(p.person_id);
    FUZZ_CHECK(fs::is_regular_file(folder.store / "persons.json"));
  } else {
    // A store it cannot read stays as it was.
    std::ifstream in(folder.store / "persons.json", std::ios::binary);
    FUZZ_CHECK(std::string(std::istreambuf_iterator<char>(in), {}) == text);
  }
  store->Stop();
  selvo::ReleaseISelvoRecognizerObject(store);
  for (const auto& name : kKeep) FUZZ_CHECK(fs::is_regular_file(folder.store / name));
  return 0;
}
