#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QCoreApplication>
#include <QTest>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "CloudService.h"
#include "ConfigManager.h"
#include "LoopbackHttpServer.h"
#include "MainController.h"
#include "SmallTmpfs.h"
#include "StringExtension.h"
#include "TempDir.h"

using updater::ConfigManager;
using updater::MainController;
using updater::UpdateMode;
namespace fs = std::filesystem;

namespace {

platform::CaptureDevice device(const std::string& name, const std::string& model) {
  platform::CaptureDevice d;
  d.localizedName = name;
  d.modelID = model;
  return d;
}

ConfigManager config(std::vector<std::string> names, std::vector<std::string> vids,
                     std::vector<std::string> pids) {
  ConfigManager c(ConfigManager::Environment{});
  c.cameraNames = std::move(names);
  c.cameraVendorIds = std::move(vids);
  c.cameraProductIds = std::move(pids);
  return c;
}

// Runs the event loop until `done` or a few seconds of real time (the loopback server answers
// in milliseconds).
template <typename F>
bool spin(F done, int guardMs = 10000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(guardMs);
  while (!done() && std::chrono::steady_clock::now() < end)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

}  // namespace

TEST(UpdaterCameraCheck, ModelIdsGiveHexadecimalIds) {
  EXPECT_EQ(updater::StringExtension::vendorProductIds("UVC Camera VendorID_8773 ProductID_4641"),
            std::make_pair(std::string("8773"), std::string("4641")));
  EXPECT_EQ(updater::StringExtension::vendorProductIds("UVC  Camera VendorID_1 ProductID_2 x"),
            std::make_pair(std::string(), std::string()));
  EXPECT_TRUE(updater::StringExtension::captures("abc", "(").empty());
}

TEST(UpdaterCameraCheck, TheListsTheDefaultIdsAndTheNamesAcceptACamera) {
  const std::string kDefault = "UVC Camera VendorID_8773 ProductID_4641";  // 0x2245 0x1221
  const std::string kOther = "UVC Camera VendorID_8773 ProductID_4642";    // 0x2245 0x1222
  const std::string kForeign = "UVC Camera VendorID_1133 ProductID_2085";  // 0x046d 0x0825
  // Empty lists: exactly the default ids, or a name.
  auto none = config({}, {}, {});
  EXPECT_TRUE(MainController::checkCamera(device("X", kDefault), none).accepted);
  EXPECT_FALSE(MainController::checkCamera(device("X", kOther), none).accepted);
  auto names = config({"Kestova"}, {}, {});
  auto byName = MainController::checkCamera(device("Kestova Camera", "Integrated"), names);
  EXPECT_TRUE(byName.accepted);
  EXPECT_EQ(byName.vid, "");  // a model id without ids gives empty texts
  EXPECT_FALSE(MainController::checkCamera(device("Webcam", "Integrated"), names).accepted);

  // Product 0x1221 (storage mode) with a listed vendor, whatever the product list holds.
  auto listed = config({}, {"0x046d"}, {"0x0999"});
  auto storage =
      MainController::checkCamera(device("X", "UVC Camera VendorID_1133 ProductID_4641"), listed);
  EXPECT_TRUE(storage.accepted);
  EXPECT_EQ(storage.vid, "0x046d");
  EXPECT_EQ(storage.pid, "0x1221");
  EXPECT_FALSE(MainController::checkCamera(device("X", kForeign), listed).accepted);
  auto pair = config({}, {"0x1111", "0x046d"}, {"0x0001", "0x0825"});
  EXPECT_TRUE(MainController::checkCamera(device("X", kForeign), pair).accepted);
  // A listed vendor that does not accept falls back to the default ids.
  EXPECT_TRUE(MainController::checkCamera(device("X", kDefault), listed).accepted);
}

TEST(UpdaterModeCheck, TheVersionsDecideTheMode) {
  struct Case {
    const char* package;
    const char* camera;
    UpdateMode mode;
  };
  const Case cases[] = {
      {"1.3.0", "1.2.0", UpdateMode::Ai},  {"2.3.0", "1.2.0", UpdateMode::All},
      {"1.3.1", "1.2.0", UpdateMode::All}, {"1.2.5", "1.2.0", UpdateMode::Fw},
      {"1.3", "1.2.0", UpdateMode::Fw},    {"1.1.0", "1.2.0", UpdateMode::Fw},
      {"1.3.0", "1.2", UpdateMode::Fw},    {"1.x.0", "1.2.0", UpdateMode::Fw},
      {"a.3.b", "a.2.b", UpdateMode::Ai},  {"1.3.0", "", UpdateMode::Fw},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MainController::decideMode(c.package, "", c.camera, false, false), c.mode)
        << c.package << " against " << c.camera;
  // No version file: the plain firmware, whatever the server says.
  EXPECT_EQ(MainController::decideMode("", "1.3.0", "1.2.0", false, false), UpdateMode::Fw);
  EXPECT_EQ(MainController::decideMode("1.3.0", "", "1.2.0", true, false), UpdateMode::Fw);
  EXPECT_EQ(MainController::decideMode("1.3.0", "", "1.2.0", true, true), UpdateMode::Zip);
  EXPECT_EQ(MainController::decideMode("1.2.5", "", "1.2.0", false, true), UpdateMode::Zip);
}

TEST(UpdaterPackage, ThePackageFolderAndItsOtherFiles) {
  testsupport::TempDir dir;
  fs::create_directories(dir.file("a/nested/fw_file"));
  fs::create_directories(dir.file("b"));
  EXPECT_EQ(MainController::getFolderPathFrom(dir.path()), "");  // two levels down: not looked at
  fs::create_directories(dir.file("pkg/fw_file"));
  EXPECT_EQ(MainController::getFolderPathFrom(dir.path()), dir.file("pkg/fw_file"));
  fs::create_directories(dir.file("fw_file"));
  EXPECT_EQ(MainController::getFolderPathFrom(dir.path()), dir.file("fw_file"));
  EXPECT_EQ(MainController::getFolderPathFrom(dir.file("missing")), "");

  for (const char* name : {".DS_Store", "update.swu", "update.img", "notes.txt", "cfg.bin"})
    std::ofstream(dir.file("fw_file/") + name) << "x";
  EXPECT_EQ(MainController::checkOtherFilesIsExist(dir.file("fw_file")),
            (std::vector<std::string>{"cfg.bin", "notes.txt"}));
}

TEST(UpdaterCloud, TheVersionAnswerGivesTheLink) {
  using updater::CloudService;
  auto parse = [](const char* text) {
    return CloudService::parseVersionAnswer(nlohmann::json::parse(text), "https://storage.test/");
  };
  auto relative = parse(
      R"({"data": {"fwVersion": "1.3.0", "hasNewFwVersion": true,
                   "fwVersionObj": {"link": "/fw/update.zip"}}})");
  EXPECT_EQ(relative.fwVersion, "1.3.0");
  EXPECT_TRUE(relative.hasNewFwVersion);
  EXPECT_EQ(relative.link, "https://storage.test/fw/update.zip");
  EXPECT_TRUE(relative.missingKeys.empty());
  auto absolute = parse(
      R"({"data": {"fwVersion": "1", "hasNewFwVersion": true,
                   "fwVersionObj": {"link": "http://other/u.zip"}}})");
  EXPECT_EQ(absolute.link, "http://other/u.zip");
  auto missing = parse(R"({"data": {"hasNewFwVersion": "yes"}})");
  EXPECT_FALSE(missing.hasNewFwVersion);
  EXPECT_EQ(missing.missingKeys,
            (std::vector<std::string>{"fwVersion", "hasNewFwVersion", "fwVersionObj"}));
  EXPECT_EQ(parse("[1]").missingKeys, std::vector<std::string>{"data"});
}

TEST(UpdaterCloud, TheCheckPostsAFormAndTheDownloadLandsWhole) {
  testsupport::LoopbackHttpServer server;
  server.route(
      "POST", "/1.5/version/check",
      testsupport::LoopbackHttpServer::Reply::json(200, R"({"data": {"fwVersion": "1.3.0"}})"));
  server.serveFile("/fw/update.zip", std::string(300000, 'z'), "application/zip");
  updater::CloudService cloud;
  std::optional<nlohmann::json> answer;
  bool answered = false;
  cloud.checkVersion(
      server.baseUrl() + "/1.5/version/check",
      {{"product", "0x1221"}, {"os", "Linux 6.1.0"}, {"action", "2"}},
      [&](std::optional<nlohmann::json> json, const std::string&, const std::string&) {
        answer = std::move(json);
        answered = true;
      });
  ASSERT_TRUE(spin([&] { return answered; }));
  ASSERT_TRUE(answer);
  EXPECT_EQ((*answer)["data"]["fwVersion"], "1.3.0");
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  const auto& request = requests[0];
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.headers.at("content-type"), "application/x-www-form-urlencoded");
  auto fields = testsupport::LoopbackHttpServer::formFields(request.body);
  EXPECT_EQ(fields["product"], "0x1221");
  EXPECT_EQ(fields["os"], "Linux 6.1.0");
  EXPECT_EQ(fields["action"], "2");

  testsupport::TempDir dir;
  std::string target = dir.file("docs/update.zip");
  std::optional<bool> ok;
  double lastFraction = 0;
  cloud.download(
      server.baseUrl() + "/fw/update.zip", target, [&](double f) { lastFraction = f; },
      [&](bool r, const std::string&) { ok = r; });
  ASSERT_TRUE(spin([&] { return ok.has_value(); }));
  EXPECT_TRUE(*ok);
  EXPECT_DOUBLE_EQ(lastFraction, 1.0);
  EXPECT_EQ(fs::file_size(target), 300000u);

  // A failed download leaves no file; a failed check hands no answer.
  ok.reset();
  std::string missing = dir.file("docs/missing.zip");
  cloud.download(server.baseUrl() + "/none.zip", missing, nullptr,
                 [&](bool r, const std::string&) { ok = r; });
  ASSERT_TRUE(spin([&] { return ok.has_value(); }));
  EXPECT_FALSE(*ok);
  EXPECT_FALSE(fs::exists(missing));
  answered = false;
  cloud.checkVersion(
      server.baseUrl() + "/1.5/version/check_test", {},
      [&](std::optional<nlohmann::json> json, const std::string& error, const std::string&) {
        answer = std::move(json);
        answered = !error.empty();
      });
  ASSERT_TRUE(spin([&] { return answered; }));
  EXPECT_FALSE(answer);
}

namespace {

using Reply = testsupport::LoopbackHttpServer::Reply;

// One download to its end: whether it succeeded and why not.
struct DownloadResult {
  std::optional<bool> ok;
  std::string error;
};

DownloadResult downloadOnce(updater::CloudService& cloud, const std::string& url,
                            const std::string& target,
                            const std::function<void()>& whileRunning = nullptr) {
  DownloadResult result;
  cloud.download(url, target, nullptr, [&](bool ok, const std::string& error) {
    result.ok = ok;
    result.error = error;
  });
  spin([&] {
    if (whileRunning) whileRunning();
    return result.ok.has_value();
  });
  return result;
}

// Nothing of a download that failed stays: neither the file nor its temporary.
bool folderIsEmpty(const std::string& folder) {
  std::error_code ec;
  return !fs::exists(folder) || fs::is_empty(folder, ec);
}

}  // namespace

TEST(UpdaterCloudBounds, ABodyThatNeverEndsStopsAtThePackageBound) {
  testsupport::LoopbackHttpServer server;
  server.route("GET", "/fw/update.zip", Reply::with(Reply::Behaviour::endless));
  const qint64 bound = qint64(4) << 20;
  updater::CloudService cloud(bound, nullptr);
  testsupport::TempDir dir;
  DownloadResult r =
      downloadOnce(cloud, server.baseUrl() + "/fw/update.zip", dir.file("docs/update.zip"));
  ASSERT_TRUE(r.ok.has_value()) << "the download went on past its bound";
  EXPECT_FALSE(*r.ok);
  EXPECT_NE(r.error.find("larger than the 4 MB"), std::string::npos) << r.error;
  EXPECT_TRUE(folderIsEmpty(dir.file("docs")));
  // The connection went with the refusal: the server was not kept sending.
  uint64_t sent = server.streamedBytes();
  spin([] { return false; }, 200);
  EXPECT_LT(server.streamedBytes(), uint64_t(bound) + (uint64_t(32) << 20));
  EXPECT_LE(server.streamedBytes() - sent, uint64_t(16) << 20);
}

TEST(UpdaterCloudBounds, APackageAnnouncedLargerThanTheBoundIsNeverTaken) {
  testsupport::LoopbackHttpServer server;
  Reply announced = Reply::with(Reply::Behaviour::endless);
  announced.announcedLength = uint64_t(3) << 30;  // 3 GB
  server.route("GET", "/fw/update.zip", announced);
  updater::CloudService cloud;  // the package bound the updater runs with
  testsupport::TempDir dir;
  DownloadResult r =
      downloadOnce(cloud, server.baseUrl() + "/fw/update.zip", dir.file("docs/update.zip"));
  ASSERT_TRUE(r.ok.has_value()) << "the download went on although it was announced too large";
  EXPECT_FALSE(*r.ok);
  EXPECT_NE(r.error.find("announced as 3221225472 bytes"), std::string::npos) << r.error;
  EXPECT_NE(r.error.find("256 MB"), std::string::npos) << r.error;
  EXPECT_TRUE(folderIsEmpty(dir.file("docs")));
}

TEST(UpdaterCloudBounds, TheDownloadStopsAtTheFirstWriteAfterItsFolderWentAway) {
  testsupport::LoopbackHttpServer server;
  server.route("GET", "/fw/update.zip", Reply::with(Reply::Behaviour::endless));
  updater::CloudService cloud;
  testsupport::TempDir dir;
  std::string folder = dir.file("docs");
  bool removed = false;
  DownloadResult r =
      downloadOnce(cloud, server.baseUrl() + "/fw/update.zip", folder + "/update.zip", [&] {
        if (!removed && server.streamedBytes() > (1u << 20)) {
          fs::remove_all(folder);
          removed = true;
        }
      });
  ASSERT_TRUE(removed);
  ASSERT_TRUE(r.ok.has_value()) << "the download went on into a removed folder";
  EXPECT_FALSE(*r.ok);
  EXPECT_NE(r.error.find("its folder " + folder + " was removed"), std::string::npos) << r.error;
  EXPECT_LT(server.streamedBytes(), uint64_t(64) << 20);  // at once, not at the bound
  EXPECT_FALSE(fs::exists(folder));
}

TEST(UpdaterCloudBounds, TheDownloadStopsAtTheFirstWriteTheDiskRefuses) {
  testsupport::LoopbackHttpServer server;
  server.route("GET", "/fw/update.zip", Reply::with(Reply::Behaviour::endless));
  updater::CloudService cloud;
  testsupport::TempDir dir;
  // A full disk, for this process: writes past about 2 MB fail (EFBIG) instead of ending it. The
  // odd size makes the disk fill up in the middle of a chunk, as a real one does.
  struct rlimit before {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = before;
  small.rlim_cur = (rlim_t(2) << 20) + 12345;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  DownloadResult r =
      downloadOnce(cloud, server.baseUrl() + "/fw/update.zip", dir.file("docs/update.zip"));
  setrlimit(RLIMIT_FSIZE, &before);
  std::signal(SIGXFSZ, oldHandler);
  ASSERT_TRUE(r.ok.has_value()) << "the download went on although nothing could be written";
  EXPECT_FALSE(*r.ok);
  // The system's own reason, as the other failures give theirs.
  EXPECT_EQ(r.error, "cannot write " + dir.file("docs/update.zip") + ": " + std::strerror(EFBIG));
  EXPECT_LT(server.streamedBytes(), uint64_t(64) << 20);
  EXPECT_TRUE(folderIsEmpty(dir.file("docs")));
}

TEST(UpdaterCloudBounds, AFullDiskIsNamedByTheSystemsOwnReason) {
  testsupport::TempDir dir;
  testsupport::SmallTmpfs disk(dir.file("disk"), "1500k");  // filled in the middle of a chunk
  if (!disk.mounted()) GTEST_SKIP() << "no tmpfs can be mounted here: " << disk.why();
  testsupport::LoopbackHttpServer server;
  server.route("GET", "/fw/update.zip", Reply::with(Reply::Behaviour::endless));
  updater::CloudService cloud;
  std::string target = dir.file("disk/docs/update.zip");
  DownloadResult r = downloadOnce(cloud, server.baseUrl() + "/fw/update.zip", target);
  ASSERT_TRUE(r.ok.has_value()) << "the download went on although the disk was full";
  EXPECT_FALSE(*r.ok);
  EXPECT_EQ(r.error, "cannot write " + target + ": No space left on device");
  EXPECT_LT(server.streamedBytes(), uint64_t(64) << 20);
  EXPECT_TRUE(folderIsEmpty(dir.file("disk/docs")));
  fs::remove_all(dir.file("disk/docs"));
  EXPECT_TRUE(disk.isEmpty()) << "what the download took is not given back";
}
