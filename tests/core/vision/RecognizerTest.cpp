// The person and face store: what it holds survives a restart, and unknown ids change nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BoundedFile.h"
#include "OrlithLog.h"
#include "TempDir.h"
#include "TestFiles.h"
#include "selvo/SelvoFactory.h"

namespace fs = std::filesystem;
using selvo::FaceInfo;
using selvo::PersonInfo;

namespace {

void WriteFile(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class RecognizerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Three persons, one of them unnamed, and four faces with their pictures.
    WriteFile(dir.file("persons.json"), R"({
      "persons": [
        {"person_id": 1, "thumbnail_face_id": 10, "name": "Ada", "company": "Kestova",
         "title": "Engineer", "timestamp": 1700000000, "is_hidden": false},
        {"person_id": 2, "thumbnail_face_id": 12, "name": "", "company": "", "title": ""},
        {"person_id": 3, "thumbnail_face_id": -1, "name": "Grace", "company": "", "title": "",
         "is_hidden": true}
      ],
      "faces": [
        {"face_id": 10, "person_id": 1, "rect_id": 5, "similarity": 0.9, "width": 112,
         "height": 112, "image": "faces/10.png"},
        {"face_id": 11, "person_id": 1, "width": 96, "height": 96, "image": "faces/11.png"},
        {"face_id": 12, "person_id": 2, "width": 80, "height": 80, "image": "faces/12.png"},
        {"face_id": 13, "person_id": 3, "width": 80, "height": 80, "image": "faces/13.png"}
      ]})");
    for (int id : {10, 11, 12, 13}) WriteFile(Picture(id), "picture");
    Open();
  }
  void TearDown() override { Close(); }
  void Open() {
    ASSERT_EQ(selvo::CreateISelvoRecognizerObject(&store), 0);
    ASSERT_TRUE(store->Init(dir.path().c_str()));
  }
  void Close() {
    if (!store) return;
    store->Stop();
    selvo::ReleaseISelvoRecognizerObject(store);
    store = nullptr;
  }
  void Restart() {
    Close();
    Open();
  }
  std::string Picture(int id) { return dir.file("faces/" + std::to_string(id) + ".png"); }
  int Persons() {
    int n = -1;
    store->GetPersonCount(&n);
    return n;
  }
  std::vector<FaceInfo> FacesOf(int person) {
    int n = -1;
    store->GetFaceCount(&n, person);
    std::vector<FaceInfo> faces(size_t(std::max(0, n)));
    store->GetFaces(faces.data(), n);
    return faces;
  }

  testsupport::TempDir dir;
  selvo::ISELVO_FACE_RECOGNIZER* store = nullptr;
};

}  // namespace

TEST_F(RecognizerTest, ReadsPersonsAndFaces) {
  EXPECT_EQ(Persons(), 3);
  std::vector<PersonInfo> all(3);
  store->GetPersons(all.data(), 3);
  EXPECT_EQ(all[0].name, "Ada");
  EXPECT_EQ(all[0].company, "Kestova");
  EXPECT_EQ(all[0].title, "Engineer");
  EXPECT_EQ(all[0].timestamp, 1700000000);
  EXPECT_TRUE(all[2].is_hidden);
  FaceInfo face;
  ASSERT_TRUE(store->GetFaceInfo(10, &face));
  EXPECT_EQ(face.person_id, 1);
  EXPECT_EQ(face.rect_id, 5);
  EXPECT_FLOAT_EQ(face.similarity, 0.9f);
  EXPECT_EQ(face.width, 112);
  EXPECT_EQ(face.image_path, Picture(10));
  EXPECT_EQ(FacesOf(1).size(), 2u);
  EXPECT_EQ(FacesOf(-1).size(), 4u);
}

TEST_F(RecognizerTest, ChangesSurviveARestart) {
  PersonInfo ada;
  ASSERT_TRUE(store->GetPersonInfo(1, &ada));
  ada.name = "Ada L.";
  ada.title = "Chief engineer";
  EXPECT_TRUE(store->UpdatePersonInfo(1, ada));
  EXPECT_TRUE(store->ChangePersonThumbnailFace(1, 11));
  EXPECT_TRUE(store->DeleteFace(13));
  EXPECT_TRUE(store->MergePerson(3, 1));  // Grace's faces join Ada, Grace is gone
  Restart();
  PersonInfo p;
  ASSERT_TRUE(store->GetPersonInfo(1, &p));
  EXPECT_EQ(p.name, "Ada L.");
  EXPECT_EQ(p.company, "Kestova");
  EXPECT_EQ(p.title, "Chief engineer");
  EXPECT_EQ(p.thumbnail_face_id, 11);
  EXPECT_FALSE(store->GetPersonInfo(3, &p));
  EXPECT_EQ(Persons(), 2);
  FaceInfo f;
  EXPECT_FALSE(store->GetFaceInfo(13, &f));
  EXPECT_FALSE(fs::exists(Picture(13)));
  EXPECT_TRUE(fs::exists(Picture(10)));
  // No temporary file is left behind.
  for (const auto& e : fs::directory_iterator(dir.path()))
    EXPECT_TRUE(e.is_directory() || e.path().filename() == "persons.json") << e.path();
}

TEST_F(RecognizerTest, DeletingAPersonTakesItsFacesAndPictures) {
  EXPECT_TRUE(store->DeletePerson(1));
  EXPECT_FALSE(fs::exists(Picture(10)));
  EXPECT_FALSE(fs::exists(Picture(11)));
  EXPECT_TRUE(FacesOf(1).empty());
  // Deleting the thumbnail face moves the thumbnail to another face, or clears it.
  store->RemoveUnnamedPerson();  // person 2 has no name
  Restart();
  EXPECT_EQ(Persons(), 1);
  EXPECT_FALSE(fs::exists(Picture(12)));
  PersonInfo grace;
  ASSERT_TRUE(store->GetPersonInfo(3, &grace));
  EXPECT_TRUE(store->ChangePersonThumbnailFace(3, 13));
  EXPECT_TRUE(store->DeleteFace(13));
  ASSERT_TRUE(store->GetPersonInfo(3, &grace));
  EXPECT_EQ(grace.thumbnail_face_id, -1);
}

TEST_F(RecognizerTest, UnknownIdsFailAndChangeNothing) {
  std::string before = ReadFile(dir.file("persons.json"));
  PersonInfo p;
  p.name = "untouched";
  EXPECT_FALSE(store->GetPersonInfo(99, &p));
  EXPECT_EQ(p.name, "untouched");
  FaceInfo f;
  EXPECT_FALSE(store->GetFaceInfo(99, &f));
  EXPECT_FALSE(store->UpdatePersonInfo(99, p));
  EXPECT_FALSE(store->DeletePerson(99));
  EXPECT_FALSE(store->DeleteFace(99));
  EXPECT_FALSE(store->ChangePersonThumbnailFace(1, 12));  // face of another person
  EXPECT_FALSE(store->ChangePersonThumbnailFace(99, 10));
  EXPECT_FALSE(store->MergePerson(1, 99));
  EXPECT_FALSE(store->MergePerson(1, 1));
  int n = -1;
  store->GetFaceCount(&n, 99);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(Persons(), 3);
  EXPECT_EQ(ReadFile(dir.file("persons.json")), before);
}

TEST_F(RecognizerTest, AStoppedStoreHoldsNothing) {
  store->Stop();
  EXPECT_EQ(Persons(), 0);
  PersonInfo p;
  EXPECT_FALSE(store->GetPersonInfo(1, &p));
  EXPECT_FALSE(store->DeletePerson(1));
  EXPECT_TRUE(fs::exists(Picture(10)));
}

TEST(RecognizerStoreTest, ANewFolderIsAnEmptyStore) {
  testsupport::TempDir dir;
  std::string folder = dir.file("face/");
  selvo::ISELVO_FACE_RECOGNIZER* store = nullptr;
  ASSERT_EQ(selvo::CreateISelvoRecognizerObject(&store), 0);
  EXPECT_TRUE(store->Init(folder.c_str()));
  int n = -1;
  store->GetPersonCount(&n);
  EXPECT_EQ(n, 0);
  EXPECT_FALSE(store->Init(""));
  selvo::ReleaseISelvoRecognizerObject(store);
}

TEST(RecognizerStoreTest, ABrokenStoreIsLeftAloneAndRefused) {
  testsupport::TempDir dir;
  WriteFile(dir.file("persons.json"), "{\"persons\": [");
  WriteFile(dir.file("faces/1.png"), "picture");
  int errors = 0;
  orlith::OrlithLog::setSink([&](orlith::OrlithLog::Level level, const std::string&) {
    if (level == orlith::OrlithLog::Level::Error) ++errors;
  });
  selvo::ISELVO_FACE_RECOGNIZER* store = nullptr;
  ASSERT_EQ(selvo::CreateISelvoRecognizerObject(&store), 0);
  EXPECT_FALSE(store->Init(dir.path().c_str()));
  store->RemoveUnnamedPerson();
  EXPECT_FALSE(store->DeletePerson(1));
  selvo::ReleaseISelvoRecognizerObject(store);
  orlith::OrlithLog::setSink(nullptr);
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(ReadFile(dir.file("persons.json")), "{\"persons\": [");
  EXPECT_TRUE(fs::exists(dir.file("faces/1.png")));
}

TEST(RecognizerStoreTest, PicturesOutsideTheFolderAreNeverDeleted) {
  testsupport::TempDir dir;
  std::string db = dir.file("face");
  WriteFile(dir.file("precious.png"), "keep me");
  WriteFile(db + "/persons.json", R"({"persons": [{"person_id": 1, "name": "x"}],
    "faces": [{"face_id": 1, "person_id": 1, "image": "../precious.png"},
              {"face_id": 2, "person_id": 7, "image": "faces/2.png"}]})");
  selvo::ISELVO_FACE_RECOGNIZER* store = nullptr;
  ASSERT_EQ(selvo::CreateISelvoRecognizerObject(&store), 0);
  ASSERT_TRUE(store->Init(db.c_str()));
  FaceInfo f;
  EXPECT_FALSE(store->GetFaceInfo(2, &f));  // its person does not exist
  ASSERT_TRUE(store->GetFaceInfo(1, &f));
  EXPECT_TRUE(f.image_path.empty());
  EXPECT_TRUE(store->DeletePerson(1));
  EXPECT_TRUE(fs::exists(dir.file("precious.png")));
  selvo::ReleaseISelvoRecognizerObject(store);
}

// Catches the face store's lines meant for the program's day log (the others are dropped).
class DayLog {
 public:
  DayLog() {
    orlith::OrlithLog::setSink([](orlith::OrlithLog::Level, const std::string&) {});
    orlith::OrlithLog::setDayLogSink(
        [this](orlith::OrlithLog::Level, const std::string& line) { lines.push_back(line); });
  }
  ~DayLog() {
    orlith::OrlithLog::setDayLogSink(nullptr);
    orlith::OrlithLog::setSink(nullptr);
  }
  size_t count(const std::string& part) const {
    size_t n = 0;
    for (const auto& line : lines) n += line.find(part) != std::string::npos;
    return n;
  }
  std::vector<std::string> lines;
};

// A record naming the store itself, or any file that is not one of its face pictures, deletes
// nothing but the record; the pictures the store wrote still go with their faces.
TEST(RecognizerStoreTest, OnlyFacePicturesAreEverDeleted) {
  testsupport::TempDir dir;
  const std::vector<std::string> kept = {"persons.json", "notes.txt", "faces/readme.txt",
                                         "faces.png", "faces/sub/3.png"};
  WriteFile(dir.file("persons.json"), R"({"persons": [
      {"person_id": 1, "name": ""}, {"person_id": 2, "name": "Ada"}, {"person_id": 3, "name": "Bo"}],
    "faces": [{"face_id": 1, "person_id": 1, "image": "persons.json"},
              {"face_id": 2, "person_id": 1, "image": "notes.txt"},
              {"face_id": 3, "person_id": 2, "image": "faces/readme.txt"},
              {"face_id": 4, "person_id": 2, "image": "faces.png"},
              {"face_id": 5, "person_id": 3, "image": "faces/sub/3.png"},
              {"face_id": 6, "person_id": 3, "image": "faces/6.png"},
              {"face_id": 7, "person_id": 3, "image": "faces/link.png"}]})");
  for (const auto& name :
       {"notes.txt", "faces/readme.txt", "faces.png", "faces/sub/3.png", "faces/6.png"})
    WriteFile(dir.file(name), "data");
  fs::create_symlink(dir.file("notes.txt"), dir.file("faces/link.png"));
  DayLog dayLog;
  selvo::ISELVO_FACE_RECOGNIZER* store = nullptr;
  ASSERT_EQ(selvo::CreateISelvoRecognizerObject(&store), 0);
  ASSERT_TRUE(store->Init(dir.path().c_str()));
  EXPECT_TRUE(store->DeleteFace(1));  // DeleteFace
  store->RemoveUnnamedPerson();       // RemoveUnnamedPerson, face 2
  EXPECT_TRUE(store->DeletePerson(2));
  EXPECT_TRUE(store->DeletePerson(3));
  selvo::ReleaseISelvoRecognizerObject(store);
  for (const auto& name : kept) EXPECT_TRUE(fs::exists(dir.file(name))) << name;
  EXPECT_TRUE(fs::exists(dir.file("notes.txt")));  // behind the link
  EXPECT_FALSE(fs::exists(dir.file("faces/6.png")));
  // The refusals are in the program's day log, naming the file.
  EXPECT_EQ(dayLog.count("persons.json is not a face picture"), 1u);
}

// A store that is no regular file or too large is refused at once: no hang, no memory filled.
TEST(RecognizerStoreTest, AHostileStoreFileIsRefusedWithItsReasonInTheDayLog) {
  testsupport::TempDir dir;
  const std::string file = dir.file("persons.json");
  for (const auto& hostile : testsupport::hostileFiles()) {
    SCOPED_TRACE(hostile.name);
    testsupport::makeHostileFile(hostile, file, platform::BoundedFile::kFaceStoreBytes);
    DayLog dayLog;
    selvo::ISELVO_FACE_RECOGNIZER* store = nullptr;
    ASSERT_EQ(selvo::CreateISelvoRecognizerObject(&store), 0);
    EXPECT_FALSE(store->Init(dir.path().c_str()));
    selvo::ReleaseISelvoRecognizerObject(store);
    ASSERT_EQ(dayLog.lines.size(), 1u);
    EXPECT_EQ(dayLog.count(file + ": " + hostile.reason), 1u) << dayLog.lines[0];
    EXPECT_TRUE(fs::exists(fs::symlink_status(file)));  // left as it is
  }
}
