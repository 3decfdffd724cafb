#include <gtest/gtest.h>

#include <QLabel>

#include "ShellTestRig.h"
#include "Workspace.h"
#include "dispatch/MainQueue.h"
#include "shell/AboutViewController.h"
#include "widgets/NamedColors.h"

namespace corvane {
namespace {

class AboutViewControllerTest : public ::testing::Test, public shelltest::ShellTestRig {
 protected:
  AboutViewController::Camera camera;
  bool staging = false;
  std::optional<std::string> version = "1.4.2";
  std::optional<CompanyModel> company;
  std::string maker = "https://maker.example/";
  bool openSucceeds = true;

  AboutViewController* makeWindow() {
    AboutViewController::Environment env;
    env.version = version;
    env.isStaging = [this] { return staging; };
    env.camera = [this] { return camera; };
    env.companyModel = [this] { return company; };
    env.makerAddress = maker;
    env.workspace = &workspace;
    return AboutViewController::instantiate(env);
  }

  std::vector<std::string> opened() const {
    std::vector<std::string> out;
    for (const auto& argv : spawned)
      if (argv.size() == 2 && argv[0] == "xdg-open") out.push_back(argv[1]);
    return out;
  }
};

TEST_F(AboutViewControllerTest, ShowsProductVersionAndRightsAndGoesWhenClosed) {
  QPointer<AboutViewController> about = makeWindow();
  EXPECT_EQ(about->productLabel()->text(), "Kestova Camera");
  EXPECT_EQ(about->versionLabel()->text(), "Version 1.4.2");
  EXPECT_EQ(about->rightLabel()->text(), "Copyright © Kestova. All rights reserved.");
  EXPECT_TRUE(about->testAttribute(Qt::WA_DeleteOnClose));
  EXPECT_TRUE(about->isWindow());
  about->show();
  // Black at the top, the dark grey at the bottom.
  const QImage picture = about->grab().toImage();
  EXPECT_EQ(picture.pixelColor(2, 0).rgb(), QColor(Qt::black).rgb());
  EXPECT_NEAR(picture.pixelColor(2, picture.height() - 1).red(),
              NamedColors::color("54Color").red(), 2);
  about->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(about.isNull());
}

TEST_F(AboutViewControllerTest, StagingMarksTheVersionAndNoVersionLeavesTheLabel) {
  staging = true;
  std::unique_ptr<AboutViewController> about(makeWindow());
  EXPECT_EQ(about->versionLabel()->text(), "Version 1.4.2 Staging");
  version = std::nullopt;
  std::unique_ptr<AboutViewController> bare(makeWindow());
  EXPECT_TRUE(bare->versionLabel()->text().isEmpty());
}

TEST_F(AboutViewControllerTest, TheCameraLineFollowsTheConnectionOnEveryShowing) {
  std::unique_ptr<AboutViewController> about(makeWindow());
  camera = {false, "Kestova Camera", "2.1.0"};
  about->show();
  EXPECT_TRUE(about->cameraLabel()->text().isEmpty()) << "searching or disconnected";
  about->hide();
  camera.connected = true;
  about->show();
  EXPECT_EQ(about->cameraLabel()->text(), "Kestova Camera 2.1.0");
  about->hide();
  camera = {false, "", ""};
  about->show();
  EXPECT_TRUE(about->cameraLabel()->text().isEmpty());
}

TEST_F(AboutViewControllerTest, TheWebsiteButtonOpensTheCompanyPageElseTheMakers) {
  std::unique_ptr<AboutViewController> about(makeWindow());
  about->websiteButton()->click();
  EXPECT_EQ(opened(), std::vector<std::string>{maker}) << "no company record yet";

  company = CompanyModel{};
  about->onClickWebsite();
  EXPECT_EQ(opened().back(), maker) << "an empty aboutUrl";

  company->data.aboutUrl = "https://company.example/about";
  about->onClickWebsite();
  EXPECT_EQ(opened().back(), "https://company.example/about");
  EXPECT_EQ(opened().size(), 3u);
}

TEST_F(AboutViewControllerTest, InvalidOrMissingLinksAreNotOpened) {
  std::unique_ptr<AboutViewController> about(makeWindow());
  company = CompanyModel{};
  for (const char* link : {"not a link", "file:///etc/passwd", "https://", "javascript:x()"}) {
    company->data.aboutUrl = link;
    about->onClickWebsite();
  }
  company = std::nullopt;
  maker.clear();
  std::unique_ptr<AboutViewController> nowhere(makeWindow());
  nowhere->onClickWebsite();
  EXPECT_TRUE(spawned.empty());
  EXPECT_EQ(nowhere->websiteAddress(), "");
}

// The Website button on a desktop where nothing opens web addresses says so with the address.
TEST_F(AboutViewControllerTest, AWebsiteNothingOpenedIsToldWithItsAddress) {
  std::function<void(int)> ended;
  platform::Workspace::Environment opener;
  opener.spawnWatched = [&](const shelltest::Argv&, std::function<void(int)> watch) {
    ended = std::move(watch);
    return true;
  };
  platform::Workspace noHandler(opener);
  AboutViewController::Environment env;
  env.makerAddress = maker;
  env.workspace = &noHandler;
  env.main = &platform::MainQueue::shared();
  std::vector<std::string> told;
  env.alert = [&](const std::string& message) { told.push_back(message); };
  std::unique_ptr<AboutViewController> about(AboutViewController::instantiate(env));
  about->websiteButton()->click();
  ASSERT_TRUE(ended);
  ended(3);
  platform::MainQueue::shared().drain();
  EXPECT_EQ(told, std::vector<std::string>{"The page " + maker + " could not be opened: " +
                                           platform::Workspace::openerFailure(3)});
}

}  // namespace
}  // namespace corvane
