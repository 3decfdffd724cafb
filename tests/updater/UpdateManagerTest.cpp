#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

#include "ManualClock.h"
#include "PackageArchive.h"
#include "TempDir.h"
#include "TestFiles.h"
#include "TestZip.h"
#include "UpdateManager.h"
#include "Volumes.h"
#include "dispatch/MainQueue.h"
#include "dispatch/SerialQueue.h"

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using updater::UpdateManager;

namespace {

using testsupport::readFile;
using testsupport::writeFile;

void makeZip(const std::string& path,
             const std::vector<std::pair<std::string, std::string>>& entries,
             const char* password) {
  ASSERT_TRUE(testsupport::writeZip(path, entries, password)) << path;
}

class UpdateManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFile(dir.file("resources/ast_app_update"), "resource bytes");
    volumes = std::make_unique<platform::Volumes>(volumesEnvironment());
    UpdateManager::Environment env;
    env.volumes = volumes.get();
    env.chipId = [this] { return chipId; };
    env.resourcePath = [this](const std::string& name) -> std::optional<std::string> {
      std::string p = dir.file("resources/" + name);
      if (!fs::exists(p)) return std::nullopt;
      return p;
    };
    env.workQueue = &work;
    env.mainQueue = &platform::MainQueue::shared();
    manager = std::make_unique<UpdateManager>(std::move(env));
  }
  void TearDown() override { settle(); }

  platform::Volumes::Environment volumesEnvironment() {
    platform::Volumes::Environment env;
    env.mountInfo = [this] {
      std::string text = "29 1 8:1 / / rw - ext4 /dev/sda1 rw\n";
      int n = 0;
      for (const auto& v : mounted) {
        std::string escaped;  // as the kernel writes a blank
        for (char c : v) escaped += c == ' ' ? std::string("\\040") : std::string(1, c);
        text += std::to_string(90 + n) + " 29 8:" + std::to_string(17 + n) + " / " + escaped +
                " rw - vfat /dev/sd" + char('b' + n) + "1 rw\n";
        ++n;
      }
      return text;
    };
    env.byLabelFolder = dir.file("no-labels");
    env.byUuidFolder = dir.file("no-ids");  // nothing attached beyond what is mounted
    env.run = [this](const std::vector<std::string>& argv) {
      ejected.push_back(argv);
      return ejectStatus;
    };
    env.findProgram = [](const std::string&) { return std::string(); };
    return env;
  }

  // A mounted volume folder, with a marker of the given text (none: no marker).
  std::string addVolume(const std::string& name, std::optional<std::string> marker) {
    std::string path = dir.file("volumes/" + name);
    fs::create_directories(path);
    if (marker) writeFile(path + "/ast_fw_update_disk", *marker);
    mounted.push_back(path);
    return path;
  }
  std::string package() const { return dir.file("package"); }

  void settle() {
    work.drain();
    platform::MainQueue::shared().drain();
  }
  // Runs an operation that fails or has no wait.
  template <typename Op>
  std::optional<bool> runNow(Op op) {
    std::optional<bool> result;
    op([&](bool ok) { result = ok; });
    settle();
    return result;
  }
  // Runs an operation whose worker waits `wait` on the clock before reporting.
  template <typename Op>
  std::optional<bool> runWaiting(Op op, platform::Clock::Duration wait) {
    std::optional<bool> result;
    op([&](bool ok) { result = ok; });
    while (clock.pendingTimers() == 0) std::this_thread::yield();
    platform::MainQueue::shared().drain();
    EXPECT_FALSE(result) << "reported before its wait";
    clock.advance(wait - 1ms);
    EXPECT_EQ(clock.pendingTimers(), 1u);
    clock.advance(1ms);
    settle();
    return result;
  }

  testsupport::TempDir dir;
  testsupport::ManualClock clock;
  testsupport::ScopedClock scopedClock{clock};
  platform::SerialQueue work{"update-manager-test"};
  std::vector<std::string> mounted;
  std::vector<std::vector<std::string>> ejected;
  int ejectStatus = 0;
  std::string chipId = "1a2b3c4d";
  std::unique_ptr<platform::Volumes> volumes;
  std::unique_ptr<UpdateManager> manager;
};

}  // namespace

TEST_F(UpdateManagerTest, TheVolumeIsTheLastWhoseMarkerHoldsTheChipId) {
  addVolume("usb stick", std::nullopt);
  addVolume("other camera", "chip 99999999\n");
  std::string first = addVolume("camera", "chip: 1a2b3c4d\n");
  EXPECT_EQ(manager->getUsbPath(), first);
  std::string second = addVolume("camera again", "1a2b3c4d");
  EXPECT_EQ(manager->getUsbPath(), second);

  chipId.clear();
  EXPECT_EQ(manager->getUsbPath(), "");
  chipId = "1A2B3C4D";  // the search is exact
  EXPECT_EQ(manager->getUsbPath(), "");
}

TEST_F(UpdateManagerTest, AMarkerThatIsNoShortFileIsNeverRead) {
  std::string camera = addVolume("camera", "1a2b3c4d");
  // Later in the list, so each would win if its marker were read: a FIFO (reading it would
  // wait for a writer for ever) and a huge file that names the chip first.
  std::string fifo = addVolume("fifo", std::nullopt);
  ASSERT_EQ(mkfifo((fifo + "/ast_fw_update_disk").c_str(), 0600), 0);
  addVolume("huge", "1a2b3c4d" + std::string(1 << 20, ' '));
  addVolume("folder", std::nullopt);
  fs::create_directories(dir.file("volumes/folder/ast_fw_update_disk/1a2b3c4d"));
  EXPECT_EQ(manager->getUsbPath(), camera);
}

TEST_F(UpdateManagerTest, WithoutTheCameraVolumeEveryOperationFailsAndTouchesNothing) {
  std::string other = addVolume("other", "nothing here");
  writeFile(package() + "/update.img", "fw");
  writeFile(package() + "/notes.txt", "n");
  makeZip(package() + "/update.zip", {{"a", "b"}}, UpdateManager::kPackagePassword);
  std::string p = package();
  EXPECT_EQ(runNow([&](auto c) { manager->moveFwFileToCamera(p, c); }), false);
  EXPECT_EQ(runNow([&](auto c) { manager->moveAiFileToCamera(p, c); }), false);
  EXPECT_EQ(runNow([&](auto c) { manager->moveZipFileToCamera(p, c); }), false);
  EXPECT_EQ(runNow([&](auto c) { manager->moveOtherFilesToCamera(p, c); }), false);
  EXPECT_EQ(runNow([&](auto c) { manager->unmountDevice(c); }), false);
  EXPECT_EQ(std::distance(fs::directory_iterator(other), fs::directory_iterator()), 1);
  EXPECT_TRUE(ejected.empty());
  EXPECT_EQ(clock.pendingTimers(), 0u);
}

TEST_F(UpdateManagerTest, TheFirmwareImageAndTheResourceArriveEightSecondsBeforeTheReport) {
  std::string volume = addVolume("camera", "1a2b3c4d");
  writeFile(volume + "/ast_app_update", "old");
  writeFile(volume + "/update.img", "old image");
  writeFile(package() + "/update.img", "firmware image");
  writeFile(package() + "/update_ai.img", "ai image");
  std::string p = package();
  EXPECT_EQ(runWaiting([&](auto c) { manager->moveFwFileToCamera(p, c); }, 8s), true);
  EXPECT_EQ(readFile(volume + "/update.img"), "firmware image");
  EXPECT_EQ(readFile(volume + "/ast_app_update"), "resource bytes");

  // The AI image takes the firmware image's name.
  EXPECT_EQ(runWaiting([&](auto c) { manager->moveAiFileToCamera(p, c); }, 8s), true);
  EXPECT_EQ(readFile(volume + "/update.img"), "ai image");
  EXPECT_EQ(readFile(volume + "/ast_app_update"), "resource bytes");
}

TEST_F(UpdateManagerTest, AMissingImageOrResourceFailsAtOnce) {
  std::string volume = addVolume("camera", "1a2b3c4d");
  std::string p = package();
  fs::create_directories(p);
  EXPECT_EQ(runNow([&](auto c) { manager->moveFwFileToCamera(p, c); }), false);
  EXPECT_EQ(runNow([&](auto c) { manager->moveAiFileToCamera(p, c); }), false);
  EXPECT_FALSE(fs::exists(volume + "/update.img"));

  writeFile(p + "/update.img", "fw");
  fs::remove(dir.file("resources/ast_app_update"));
  EXPECT_EQ(runNow([&](auto c) { manager->moveFwFileToCamera(p, c); }), false);
  EXPECT_EQ(clock.pendingTimers(), 0u);
}

TEST_F(UpdateManagerTest, TheInnerZipIsUnpackedWithThePackagePassword) {
  std::string volume = addVolume("camera", "1a2b3c4d");
  writeFile(volume + "/ast_app_update", "old");
  makeZip(package() + "/update.zip", {{"fw/", ""}, {"fw/part1.bin", "one"}, {"part2.bin", "two"}},
          UpdateManager::kPackagePassword);
  std::string p = package();
  EXPECT_EQ(runWaiting([&](auto c) { manager->moveZipFileToCamera(p, c); }, 8s), true);
  EXPECT_EQ(readFile(volume + "/UpDaTe_pAcKaGE/fw/part1.bin"), "one");
  EXPECT_EQ(readFile(volume + "/UpDaTe_pAcKaGE/part2.bin"), "two");
  EXPECT_EQ(readFile(volume + "/ast_app_update"), "resource bytes");

  // Unpacked again over what is there: overwritten.
  makeZip(package() + "/update.zip", {{"part2.bin", "new"}}, UpdateManager::kPackagePassword);
  EXPECT_EQ(runWaiting([&](auto c) { manager->moveZipFileToCamera(p, c); }, 8s), true);
  EXPECT_EQ(readFile(volume + "/UpDaTe_pAcKaGE/part2.bin"), "new");
}

TEST_F(UpdateManagerTest, AZipWithAnotherPasswordOrAnEscapingNameIsRefused) {
  std::string volume = addVolume("camera", "1a2b3c4d");
  std::string p = package();
  fs::create_directories(p);
  EXPECT_EQ(runNow([&](auto c) { manager->moveZipFileToCamera(p, c); }), false);  // no zip

  makeZip(p + "/update.zip", {{"a.bin", "a"}}, "another password");
  EXPECT_EQ(runNow([&](auto c) { manager->moveZipFileToCamera(p, c); }), false);
  EXPECT_FALSE(fs::exists(volume + "/ast_app_update"));

  makeZip(p + "/update.zip", {{"a.bin", "a"}, {"../../escaped.bin", "evil"}},
          UpdateManager::kPackagePassword);
  EXPECT_EQ(runNow([&](auto c) { manager->moveZipFileToCamera(p, c); }), false);
  EXPECT_FALSE(fs::exists(dir.file("volumes/escaped.bin")));
  EXPECT_FALSE(fs::exists(dir.file("escaped.bin")));
  EXPECT_FALSE(fs::exists(volume + "/UpDaTe_pAcKaGE/a.bin"));  // nothing written at all
  EXPECT_EQ(clock.pendingTimers(), 0u);
}

TEST(UpdaterPackageArchive, EntryNamesMustStayInsideTheFolder) {
  using updater::PackageArchive;
  EXPECT_TRUE(PackageArchive::isSafeEntryName("a.bin"));
  EXPECT_TRUE(PackageArchive::isSafeEntryName("fw/a.bin"));
  EXPECT_TRUE(PackageArchive::isSafeEntryName("fw/"));
  EXPECT_TRUE(PackageArchive::isSafeEntryName("a..b"));
  EXPECT_FALSE(PackageArchive::isSafeEntryName(""));
  EXPECT_FALSE(PackageArchive::isSafeEntryName("/etc/passwd"));
  EXPECT_FALSE(PackageArchive::isSafeEntryName("../a"));
  EXPECT_FALSE(PackageArchive::isSafeEntryName("fw/../../a"));
  EXPECT_FALSE(PackageArchive::isSafeEntryName("fw/.."));
  EXPECT_FALSE(PackageArchive::isSafeEntryName("..\\a"));
  // Names that are the folder itself, or a file without a name of its own.
  for (const char* self : {".", "./", "./.", ".//", "//", "fw/."}) {
    EXPECT_FALSE(PackageArchive::isSafeEntryName(self)) << self;
  }
  EXPECT_TRUE(PackageArchive::isSafeEntryName("./a.bin"));
  EXPECT_TRUE(PackageArchive::isSafeEntryName("fw/./"));
}

TEST(UpdaterPackageArchive, AnEntryNamedDotLeavesTheFolderAsItWas) {
  testsupport::TempDir dir;
  std::string destination = dir.file("package");
  fs::create_directories(destination);
  std::ofstream(destination + "/kept.bin") << "kept";
  for (const char* name : {".", "./", "fw/."}) {
    std::string zip = dir.file("update.zip");
    fs::remove(zip);
    ASSERT_TRUE(testsupport::writeZip(zip, {{"a.bin", "a"}, {name, "x"}}));
    std::string error;
    EXPECT_FALSE(updater::PackageArchive::extract(zip, destination, std::nullopt, &error)) << name;
    EXPECT_NE(error.find("unsafe entry name"), std::string::npos) << error;
    EXPECT_TRUE(fs::exists(destination + "/kept.bin")) << name;
    EXPECT_FALSE(fs::exists(destination + "/a.bin")) << name;  // nothing written at all
  }
}

TEST(UpdaterPackageArchive, AnArchivePastItsBoundsIsRefusedBeforeAnythingIsWritten) {
  using updater::PackageArchive;
  using Entries = std::vector<std::pair<std::string, std::string>>;
  auto many = [](size_t n) {
    Entries entries;
    for (size_t i = 0; i < n; ++i) entries.emplace_back("fw_file/f" + std::to_string(i), "x");
    return entries;
  };
  const std::string zeros(2 << 20, '\0');  // a few KB packed
  const std::string part(400 << 10, '\0');
  struct Case {
    const char* what;
    Entries entries;
    PackageArchive::Limits limits;
    const char* reason;
  };
  const Case cases[] = {
      {"one entry unpacking past the size",
       {{"fw_file/update.img", zeros}},
       {1 << 20, 16},
       "would unpack to more than the 1 MB"},
      {"entries adding up past the size",
       {{"fw_file/a", part}, {"fw_file/b", part}, {"fw_file/c", part}},
       {1 << 20, 16},
       "would unpack to more than the 1 MB"},
      {"too many entries", many(5), {1 << 20, 4}, "holds 5 entries, more than the 4"},
      {"too many entries for a package", many(4097), PackageArchive::Limits{},
       "holds 4097 entries, more than the 4096"},
  };
  for (const Case& c : cases) {
    testsupport::TempDir dir;
    std::string zip = dir.file("update.zip");
    ASSERT_TRUE(testsupport::writeZip(zip, c.entries)) << c.what;
    std::ofstream(dir.file("kept.txt")) << "kept";
    std::string destination = dir.file("unpacked");
    std::string error;
    EXPECT_FALSE(PackageArchive::extract(zip, destination, std::nullopt, &error, c.limits))
        << c.what;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.what << ": " << error;
    EXPECT_FALSE(fs::exists(destination)) << c.what;
    EXPECT_TRUE(fs::exists(dir.file("kept.txt"))) << c.what;
  }
  // Within its bounds the same archive unpacks.
  testsupport::TempDir dir;
  std::string zip = dir.file("update.zip");
  ASSERT_TRUE(testsupport::writeZip(zip, {{"fw_file/update.img", zeros}}));
  std::string error;
  EXPECT_TRUE(
      PackageArchive::extract(zip, dir.file("unpacked"), std::nullopt, &error, {zeros.size(), 1}))
      << error;
  EXPECT_EQ(fs::file_size(dir.file("unpacked/fw_file/update.img")), zeros.size());
}

TEST(UpdaterPackageArchive, ARefusalHalfWayTakesBackWhatTheUnpackingMade) {
  testsupport::TempDir dir;
  std::string zip = dir.file("update.zip");
  std::string bytes = testsupport::zipWithDamagedSecondFile(dir.path());
  ASSERT_FALSE(bytes.empty());
  writeFile(zip, bytes);
  // The volume's folder already holds a file of the user's: it stays, the unpacking goes.
  std::string destination = dir.file("volume/UpDaTe_pAcKaGE");
  writeFile(destination + "/kept.bin", "kept");
  std::string error;
  EXPECT_FALSE(updater::PackageArchive::extract(zip, destination, std::nullopt, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(readFile(destination + "/kept.bin"), "kept");
  EXPECT_FALSE(fs::exists(destination + "/fw_file"));
  std::string fresh = dir.file("fresh/package");
  EXPECT_FALSE(updater::PackageArchive::extract(zip, fresh, std::nullopt, &error));
  EXPECT_FALSE(fs::exists(dir.file("fresh")));
}

TEST_F(UpdateManagerTest, OtherFilesAreEverythingButTheImagesAndOneCopyIsEnough) {
  std::string volume = addVolume("camera", "1a2b3c4d");
  std::string p = package();
  for (const char* skipped :
       {".DS_Store", "update.swu", "update.img", "update.zip", "update_ai.img"})
    writeFile(p + "/" + skipped, "x");
  EXPECT_EQ(runNow([&](auto c) { manager->moveOtherFilesToCamera(p, c); }), false);
  EXPECT_EQ(std::distance(fs::directory_iterator(volume), fs::directory_iterator()), 1);

  writeFile(p + "/FW version.txt", "1.3.0");
  writeFile(p + "/config.bin", "cfg");
  writeFile(volume + "/config.bin", "old");
  // A dangling link in the package cannot be copied; the other files still are.
  fs::create_symlink(p + "/gone", p + "/dangling");
  EXPECT_EQ(runNow([&](auto c) { manager->moveOtherFilesToCamera(p, c); }), true);
  EXPECT_EQ(readFile(volume + "/FW version.txt"), "1.3.0");
  EXPECT_EQ(readFile(volume + "/config.bin"), "cfg");
  EXPECT_FALSE(fs::exists(volume + "/update.swu"));
  EXPECT_FALSE(fs::exists(volume + "/dangling"));
  EXPECT_EQ(clock.pendingTimers(), 0u);

  EXPECT_EQ(runNow([&](auto c) { manager->moveOtherFilesToCamera(dir.file("missing"), c); }),
            false);
}

TEST_F(UpdateManagerTest, EjectUnmountsTheCameraVolumeAndReportsFiveSecondsLater) {
  addVolume("stick", "other");
  std::string volume = addVolume("camera", "1a2b3c4d");
  EXPECT_EQ(runWaiting([&](auto c) { manager->unmountDevice(c); }, 5s), true);
  ASSERT_EQ(ejected.size(), 1u);
  EXPECT_EQ(ejected[0], (std::vector<std::string>{"umount", volume}));

  ejectStatus = 32;
  EXPECT_EQ(runWaiting([&](auto c) { manager->unmountDevice(c); }, 5s), false);
}
