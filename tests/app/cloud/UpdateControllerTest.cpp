#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <filesystem>
#include <fstream>

#include "CloudTestRig.h"
#include "TempDir.h"
#include "Workspace.h"
#include "cloud/UpdateController.h"
#include "cloud/UserManager.h"
#include "i18n/Localized.h"
#include "qt/UserDefaults.h"

namespace corvane {
namespace {

using Reply = testsupport::LoopbackHttpServer::Reply;
using Server = testsupport::LoopbackHttpServer;

CompanyModel company() {
  CompanyModel model;
  model.data.downloadUrl = "https://example.com/download";
  model.data.stagingDownloadUrl = "https://staging.example.com/download";
  return model;
}

CheckDataModel answer(bool app, const std::string& version, bool fw, const std::string& fwVersion) {
  CheckDataModel data;
  data.hasNewVersion = app;
  data.version = version;
  data.hasNewFwVersion = fw;
  data.fwVersion = fwVersion;
  return data;
}

class UpdateControllerTest : public ::testing::Test {
 protected:
  CloudTestRig rig;
  testsupport::TempDir dir;
  platform::UserDefaults defaults{QString::fromStdString(dir.file("defaults.conf"))};
  std::vector<std::vector<std::string>> spawned;
  platform::Workspace workspace{platform::Workspace::Environment{
      [this](const std::vector<std::string>& argv) { return spawned.push_back(argv), true; }}};
  int terminated = 0;
  std::vector<bool> displays;
  int adCalls = 0;
  std::optional<CompanyModel> companyRecord;
  bool staging = false;
  std::string updater = dir.file("corvane-studio-updater");
  std::unique_ptr<UpdateController> page;
  std::string firmware = "3.1.4";
  std::vector<std::string> alerts;

  void SetUp() override {
    std::ofstream(updater) << "#!/bin/sh\n";
    chmod(updater.c_str(), 0755);
    UpdateController::Environment env;
    env.api = rig.manager.get();
    env.defaults = &defaults;
    env.workspace = &workspace;
    env.logger = &rig.logger;
    env.terminate = [this] { ++terminated; };
    env.camera = [this] {
      return UpdateController::Camera{firmware, "0x2bd9", "0x0011", "CUST 7"};
    };
    env.showAlert = [this](const QString& message) { alerts.push_back(message.toStdString()); };
    env.companyModel = [this] { return companyRecord; };
    env.isStaging = [this] { return staging; };
    env.vendor = [] { return std::string("42"); };
    env.appVersion = "1.5.0";
    env.osVersion = "Linux 6.1.0";
    env.updaterPath = updater;
    page = std::make_unique<UpdateController>(env);
    page->displayHandle = [this](bool shown) { displays.push_back(shown); };
    page->adAction = [this] { ++adCalls; };
    UserManager::shared().adData.reset();
  }
};

TEST_F(UpdateControllerTest, TheDownloadPageButtonHasItsTitleAndPicture) {
  // The program's own pictures.
  setenv("CORVANE_RESOURCES_DIR", CORVANE_SOURCE_DIR "/resources/app", 1);
  SetUp();
  // The title as the same tables give it while the program's resources are the ones in use.
  std::string title = localized("update_download_page_name");
  unsetenv("CORVANE_RESOURCES_DIR");
  EXPECT_EQ(page->goDownloadPageButton->text().toStdString(), title);
  EXPECT_FALSE(page->goDownloadPageButton->text().isEmpty());
  EXPECT_FALSE(page->goDownloadPageButton->icon().isNull());
}

TEST_F(UpdateControllerTest, DecisionTable) {
  struct Row {
    UpdateMode mode;
    CheckDataModel data;
    const char* rememberedApp;
    const char* rememberedFw;
    std::optional<bool> studio;  // none: nothing offered
    bool shown;
  };
  std::vector<Row> rows = {
      {UpdateMode::auto_, answer(true, "2.0", true, "9"), nullptr, nullptr, true, true},
      {UpdateMode::auto_, answer(false, "2.0", true, "9"), nullptr, nullptr, false, true},
      {UpdateMode::auto_, answer(false, "2.0", true, "9"), nullptr, "9", std::nullopt, false},
      {UpdateMode::auto_, answer(true, "2.0", false, "9"), "2.0", nullptr, std::nullopt, false},
      {UpdateMode::auto_, answer(true, "2.0", true, "9"), "2.0", nullptr, false, true},
      {UpdateMode::auto_, answer(true, "2.0", false, ""), "1.9", nullptr, true, true},
      {UpdateMode::manual, answer(false, "2.0", true, "9"), nullptr, nullptr, std::nullopt, true},
      {UpdateMode::manual, answer(true, "2.0", true, "9"), nullptr, nullptr, true, true},
      {UpdateMode::allLastVersion, answer(false, "", true, "9"), nullptr, nullptr, std::nullopt,
       false},
      {UpdateMode::auto_, answer(false, "", false, ""), nullptr, nullptr, std::nullopt, false},
  };
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(i);
    const Row& row = rows[i];
    SetUp();
    defaults.removeAll();
    if (row.rememberedApp) defaults.set("AppVersion", row.rememberedApp);
    if (row.rememberedFw) defaults.set("FwVersion", row.rememberedFw);
    page->mode = row.mode;
    displays.clear();
    page->handleAnswer(row.data);
    ASSERT_EQ(displays.size(), 1u);
    EXPECT_EQ(displays[0], row.shown);
    if (row.studio) {
      EXPECT_EQ(page->isStudio, *row.studio);
      EXPECT_EQ(page->descLabel->text().toStdString(),
                localized(*row.studio ? "update_latest_version_app_name"
                                      : "update_latest_version_fw_name"));
    } else if (row.mode == UpdateMode::manual) {
      EXPECT_EQ(page->mode, UpdateMode::allLastVersion);
      EXPECT_EQ(page->descLabel->text().toStdString(), localized("app_version_latest_name"));
      EXPECT_FALSE(page->okButton->isHidden());
      EXPECT_TRUE(page->updateButton->isHidden());
    }
    EXPECT_EQ(adCalls, 0);
  }
}

TEST_F(UpdateControllerTest, FirmwareUpdateStartsTheUpdaterAndEnds) {
  page->handleAnswer(answer(false, "", true, "9.9"));
  page->rememberButton->setChecked(true);
  page->onClickUpdate();
  ASSERT_EQ(spawned.size(), 1u);
  EXPECT_EQ(spawned[0], std::vector<std::string>{updater});
  EXPECT_EQ(terminated, 1);
  EXPECT_EQ(defaults.string("FwVersion"), "9.9");
  EXPECT_FALSE(defaults.contains("AppVersion"));
  EXPECT_EQ(displays.back(), false);
}

TEST_F(UpdateControllerTest, AMissingUpdaterStillEndsTheProgram) {
  std::remove(updater.c_str());
  page->handleAnswer(answer(false, "", true, "9.9"));
  page->onClickUpdate();
  EXPECT_TRUE(spawned.empty());
  EXPECT_EQ(terminated, 1);
}

TEST_F(UpdateControllerTest, ProgramUpdateOpensTheDownloadPageAndKeepsRunning) {
  companyRecord = company();
  page->handleAnswer(answer(true, "2.0", false, ""));
  page->onClickUpdate();
  ASSERT_EQ(spawned.size(), 1u);
  EXPECT_EQ(spawned[0], (std::vector<std::string>{"xdg-open", "https://example.com/download"}));
  EXPECT_EQ(terminated, 0);
  EXPECT_FALSE(defaults.contains("AppVersion"));  // the box was not ticked

  staging = true;
  page->onClickGoDownloadPage();
  EXPECT_EQ(spawned.back()[1], "https://staging.example.com/download?customer=CUST%207");
}

TEST_F(UpdateControllerTest, BeforeTheCompanyRecordOnlyTheChoiceIsKept) {
  page->handleAnswer(answer(true, "2.0", false, ""));
  page->rememberButton->setChecked(true);
  page->onClickUpdate();
  EXPECT_TRUE(spawned.empty());
  EXPECT_EQ(terminated, 0);
  EXPECT_EQ(defaults.string("AppVersion"), "2.0");
  page->onClickGoDownloadPage();
  EXPECT_TRUE(spawned.empty());
}

// The user asked for the choice to be kept: when it cannot be, the user is told why.
TEST_F(UpdateControllerTest, AChoiceThatCannotBeKeptIsTold) {
  // A folder where the settings file goes: no write reaches it, not even root's.
  std::filesystem::create_directory(dir.file("defaults.conf"));
  page->handleAnswer(answer(true, "2.0", false, ""));
  page->rememberButton->setChecked(true);
  page->onClickCancel();
  std::string why;
  ASSERT_FALSE(defaults.synchronize(&why));
  ASSERT_FALSE(why.empty());
  EXPECT_EQ(alerts, std::vector<std::string>{QString::fromStdString(localized("alert_setting_not_saved"))
                                                 .arg(QString::fromStdString(why))
                                                 .toStdString()});
}

TEST_F(UpdateControllerTest, AnInvalidDownloadAddressIsNotOpened) {
  companyRecord = company();
  companyRecord->data.downloadUrl = "not an address";
  page->handleAnswer(answer(true, "2.0", false, ""));
  page->onClickUpdate();
  EXPECT_TRUE(spawned.empty());
}

TEST_F(UpdateControllerTest, OnlyWebAddressesFromTheCloudAreOpened) {
  companyRecord = company();
  page->handleAnswer(answer(true, "2.0", false, ""));
  for (const char* address : {"file:///etc/passwd", "javascript:alert(1)", "smb://host/share",
                              "ssh://host", "x-terminal-emulator:", "https:///no-host"}) {
    companyRecord->data.downloadUrl = address;
    page->onClickUpdate();
    page->onClickGoDownloadPage();
    EXPECT_TRUE(spawned.empty()) << address;
  }
  companyRecord->data.downloadUrl = "http://example.com/d";
  page->onClickUpdate();
  ASSERT_EQ(spawned.size(), 1u);
  EXPECT_EQ(spawned[0][1], "http://example.com/d");
}

TEST_F(UpdateControllerTest, CancelRemembersWhenTicked) {
  page->handleAnswer(answer(false, "", true, "4.0"));
  page->rememberButton->setChecked(true);
  page->onClickCancel();
  EXPECT_EQ(defaults.string("FwVersion"), "4.0");
  EXPECT_TRUE(spawned.empty());
  displays.clear();
  page->handleAnswer(answer(false, "", true, "4.0"));
  EXPECT_EQ(displays, std::vector<bool>{false});
}

TEST_F(UpdateControllerTest, CheckAsksTheCloudAndHandsTheAdvertisementOn) {
  rig.server.route(
      "POST", "/2/version/check",
      Reply::json(200, R"({"success":true,"errors":[],"data":{"hasNewVersion":false,)"
                       R"("version":"1.5.0","hasNewFwVersion":true,"fwVersion":"3.2",)"
                       R"("advertisement":{"description":"New","uri":"a.png","entryType":3}}})"));
  page->checkUpdate();
  ASSERT_TRUE(Server::pumpUntil([&] { return !displays.empty(); }));
  auto body = nlohmann::json::parse(rig.server.requests().back().body);
  EXPECT_EQ(body["action"], 1);
  EXPECT_EQ(body["length"], 0);
  EXPECT_EQ(body["version"], "1.5.0");
  EXPECT_EQ(body["fwVersion"], "3.1.4");
  EXPECT_EQ(body["companyNo"], "42");
  EXPECT_EQ(body["os"], "Linux 6.1.0");
  EXPECT_EQ(body["vendor"], "0x2bd9");
  EXPECT_EQ(body["product"], "0x0011");
  EXPECT_EQ(displays, std::vector<bool>{true});
  EXPECT_FALSE(page->isStudio);
  EXPECT_EQ(page->latestFwVersion, "3.2");
  ASSERT_TRUE(UserManager::shared().adData);
  EXPECT_EQ(UserManager::shared().adData->entryType, 3);
  EXPECT_EQ(adCalls, 1);
}

TEST_F(UpdateControllerTest, AFailedAutomaticCheckShowsNothingAndChangesNothing) {
  rig.server.route("POST", "/2/version/check", Reply::json(500, R"({"message":"down"})"));
  page->checkUpdate();
  ASSERT_TRUE(Server::pumpUntil([&] { return rig.logged("Update check failed: down"); }));
  EXPECT_TRUE(displays.empty());
  EXPECT_TRUE(alerts.empty());
  EXPECT_TRUE(defaults.keys().isEmpty());
  // Not again at the next connection of the same camera.
  page->checkUpdate();
  platform::MainQueue::shared().drain();
  EXPECT_EQ(rig.server.requestCount(), 1u);
}

// The user asked: a failure is told with the program's alert.
TEST_F(UpdateControllerTest, AFailedCheckTheUserAskedForIsTold) {
  rig.server.route("POST", "/2/version/check", Reply::json(500, R"({"message":"down"})"));
  page->mode = UpdateMode::manual;
  page->checkUpdate();
  ASSERT_TRUE(Server::pumpUntil([&] { return !alerts.empty(); }));
  EXPECT_EQ(alerts, std::vector<std::string>{localized("update_check_failed_desc")});
  EXPECT_TRUE(displays.empty());
  EXPECT_TRUE(rig.logged("Update check failed: down"));
}

// The window's first appearance and the connection both check at start: one request goes out.
// The user's own check, and a camera that answers differently, are asked all the same.
TEST_F(UpdateControllerTest, TheSameAutomaticCheckIsSentOnce) {
  rig.server.route("POST", "/2/version/check",
                   Reply::json(200, R"({"success":true,"errors":[],"data":{"hasNewVersion":false,)"
                                    R"("version":"1.5.0","hasNewFwVersion":false,)"
                                    R"("fwVersion":"3.1.4"}})"));
  page->checkUpdate();
  page->checkUpdate();
  ASSERT_TRUE(Server::pumpUntil([&] { return displays.size() == 1; }));
  page->checkUpdate();
  platform::MainQueue::shared().drain();
  EXPECT_EQ(rig.server.requestCount(), 1u);
  firmware = "3.2.0";
  page->checkUpdate();
  ASSERT_TRUE(Server::pumpUntil([&] { return displays.size() == 2; }));
  page->mode = UpdateMode::manual;
  page->checkUpdate();
  ASSERT_TRUE(Server::pumpUntil([&] { return displays.size() == 3; }));
  EXPECT_EQ(rig.server.requestCount(), 3u);
}

}  // namespace
}  // namespace corvane
