#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <thread>

#include "ApngBuilder.h"
#include "CloudTestRig.h"
#include "ManualClock.h"
#include "Workspace.h"
#include "cloud/APNGImageView.h"
#include "cloud/AdvertisementViewController.h"
#include "i18n/Localized.h"
#include "widgets/CustomView.h"

namespace corvane {
namespace {

using Server = testsupport::LoopbackHttpServer;

class AdvertisementTest : public ::testing::Test {
 protected:
  testsupport::ManualClock clock;
  testsupport::ScopedClock scoped{clock};
  CloudTestRig rig;
  std::vector<std::vector<std::string>> spawned;
  platform::Workspace workspace{platform::Workspace::Environment{
      [this](const std::vector<std::string>& argv) { return spawned.push_back(argv), true; }}};
  std::optional<AdDataModel> ad;
  std::vector<std::string> fetched;
  int closed = 0;
  std::unique_ptr<AdvertisementViewController> layer;

  AdvertisementViewController::Environment env;

  void SetUp() override {
    env.workspace = &workspace;
    env.currentAd = [this] { return ad; };
    env.storageBase = rig.server.baseUrl() + "/files/";
    env.logger = &rig.logger;
    env.fetch = [this](const std::string& url,
                       std::function<void(std::optional<QByteArray>)> done) {
      fetched.push_back(url);
      HttpRequest request;
      request.url = url;
      rig.http.send(request, [done](HttpResponse response) {
        platform::MainQueue::shared().async([done, response] {
          done(response.status == 200 ? std::optional(QByteArray::fromStdString(response.body))
                                      : std::nullopt);
        });
      });
    };
    layer = std::make_unique<AdvertisementViewController>(env);
    layer->resize(1280, 720);
    layer->show();
    layer->closeAction = [this] { ++closed; };
    AdDataModel model;
    model.description = "Spring offer";
    model.uri = "ads/spring.jpg";
    model.targetUrl = "https://example.com/spring";
    model.entryType = 1;
    ad = model;
  }

  void show(AdType type) {
    layer->adType = type;
    layer->showAdvertisement();
  }
  // Moves the clock in small steps, running what each step posts to the main queue.
  void run(double seconds) {
    for (int ms = 0; ms < static_cast<int>(seconds * 1000); ms += 10) {
      clock.advance(std::chrono::milliseconds(10));
      platform::MainQueue::shared().drain();
    }
  }
};

TEST(AdvertisementText, FileTypes) {
  using C = AdvertisementViewController;
  EXPECT_EQ(C::fileType("ads/a.PNG"), "png");
  EXPECT_EQ(C::fileType("ads/a.jpeg"), "jpeg");
  EXPECT_EQ(C::fileType("ads/picture"), "ads/picture");
  EXPECT_EQ(C::fileType("ads/png-picture"), "ads/png-picture");
  EXPECT_EQ(C::fileType("ads/a.apng"), "apng");
  EXPECT_EQ(C::fileType("ads/a.png."), "png");
  EXPECT_EQ(C::fileType(""), "jpg");
  EXPECT_EQ(C::fileType("..."), "jpg");
  EXPECT_EQ(C::adTypeFor(2), AdType::Todo);
  EXPECT_EQ(C::adTypeFor(3), AdType::LeftBottom);
  EXPECT_FALSE(C::adTypeFor(4));
  EXPECT_FALSE(C::adTypeFor(-1));
}

TEST_F(AdvertisementTest, ButtonsCarryTheLocalisedTitle) {
  EXPECT_EQ(layer->rightOkButton->text().toStdString(), localized("ad_learnmore_text"));
  EXPECT_EQ(layer->centerOkButton->text().toStdString(), localized("ad_learnmore_text"));
}

TEST_F(AdvertisementTest, PicturesStayOnTheStorageService) {
  std::string base = rig.server.baseUrl() + "/files/";
  EXPECT_EQ(layer->pictureAddress("ads/a.png"), base + "ads/a.png");
  EXPECT_FALSE(layer->pictureAddress("../secret.png"));
  EXPECT_FALSE(layer->pictureAddress("a b.png"));
}

TEST_F(AdvertisementTest, SidePanelSlidesInWaitsAndSlidesOut) {
  show(AdType::RightTop);
  int height = layer->rightView->height();
  EXPECT_EQ(layer->rightViewTopContraints, -height);
  EXPECT_TRUE(layer->rightView->isVisible());
  EXPECT_FALSE(layer->centerView->isVisible());
  EXPECT_TRUE(layer->roiArea);
  run(0.5);
  EXPECT_FALSE(layer->isSliding());
  EXPECT_EQ(layer->rightViewTopContraints, 0);
  EXPECT_EQ(layer->rightView->y(), 0);
  EXPECT_EQ(layer->rightView->x(), 1280 - layer->rightView->width());
  run(5.9);
  EXPECT_EQ(layer->rightViewTopContraints, 0);  // still resting at 6.4 s
  run(0.2);
  EXPECT_TRUE(layer->isSliding());  // the check at 6.5 s starts the slide-out
  run(0.5);
  EXPECT_FALSE(layer->rightView->isVisible());
  EXPECT_EQ(layer->rightViewTopContraints, -height);
  EXPECT_EQ(closed, 1);
  EXPECT_FALSE(layer->hasCheckTimer());
  EXPECT_FALSE(layer->isSliding());
}

TEST_F(AdvertisementTest, LeftPanelComesUpFromTheBottom) {
  show(AdType::LeftBottom);
  int height = layer->leftView->height();
  EXPECT_EQ(layer->leftView->y(), 720);
  run(0.25);
  EXPECT_GT(layer->leftView->y(), 720 - height);
  EXPECT_LT(layer->leftView->y(), 720);
  run(0.3);
  EXPECT_EQ(layer->leftView->y(), 720 - height);
  EXPECT_EQ(layer->leftView->x(), 0);
  EXPECT_FALSE(layer->rightView->isVisible());
}

TEST_F(AdvertisementTest, ThePointerOnThePanelKeepsItUntilItLeaves) {
  show(AdType::LeftBottom);
  run(0.5);
  QEvent enter(QEvent::Enter);
  QCoreApplication::sendEvent(layer->leftView, &enter);
  EXPECT_TRUE(layer->isInAd);
  run(20);
  EXPECT_TRUE(layer->leftView->isVisible());
  EXPECT_FALSE(layer->isSliding());
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(layer->leftView, &leave);
  run(1.0);
  EXPECT_TRUE(layer->isSliding());  // within one second of leaving
  run(0.5);
  EXPECT_FALSE(layer->leftView->isVisible());
  EXPECT_EQ(closed, 1);
}

TEST_F(AdvertisementTest, TheOkButtonOpensTheTargetAndLetsThePanelGo) {
  show(AdType::RightTop);
  run(0.5);
  layer->mouseEntered();
  run(10);
  layer->rightOkButton->click();
  ASSERT_EQ(spawned.size(), 1u);
  EXPECT_EQ(spawned[0], (std::vector<std::string>{"xdg-open", "https://example.com/spring"}));
  run(1.5);
  EXPECT_FALSE(layer->rightView->isVisible());
  EXPECT_EQ(closed, 1);
}

TEST_F(AdvertisementTest, TargetsThatAreNotWebPagesAreNotOpened) {
  show(AdType::Center);
  for (const char* target : {"file:///etc/passwd", "javascript:alert(1)", "not a url", ""}) {
    ad->targetUrl = target;
    layer->onClickCenterOk();
  }
  ad->targetUrl.reset();
  layer->onClickCenterOk();
  EXPECT_TRUE(spawned.empty());
  ad->targetUrl = "http://example.com/x";
  layer->onClickCenterOk();
  EXPECT_EQ(spawned.size(), 1u);
  EXPECT_TRUE(layer->centerView->isVisible());  // the centre panel stays open
}

TEST_F(AdvertisementTest, ACentreAdStaysUntilClosed) {
  show(AdType::Center);
  EXPECT_TRUE(layer->centerView->isVisible());
  EXPECT_FALSE(layer->hasCheckTimer());
  EXPECT_EQ(layer->backgroundView->color(), QColor(0, 0, 0, 128));
  EXPECT_TRUE(layer->backgroundView->disableMouseEvent);
  EXPECT_FALSE(layer->backgroundView->testAttribute(Qt::WA_TransparentForMouseEvents));
  run(30);
  EXPECT_TRUE(layer->centerView->isVisible());
  layer->centerCloseButton->click();
  EXPECT_FALSE(layer->centerView->isVisible());
  EXPECT_EQ(closed, 1);
}

TEST_F(AdvertisementTest, NoSlotAndNoAdShowNothing) {
  show(AdType::RightTop);
  show(AdType::Todo);
  EXPECT_FALSE(layer->rightView->isVisible());
  EXPECT_FALSE(layer->leftView->isVisible());
  EXPECT_FALSE(layer->centerView->isVisible());
  run(7);
  EXPECT_EQ(closed, 0);
  ad.reset();
  show(AdType::Center);
  EXPECT_FALSE(layer->centerView->isVisible());
  EXPECT_TRUE(fetched.size() == 1u);  // only the first showing asked for its picture
}

TEST_F(AdvertisementTest, TheMainWindowPresentsOnlyAdsWithASlot) {
  int toggles = 0;
  auto toggle = [&] { ++toggles; };
  ad->entryType = 3;
  EXPECT_TRUE(layer->presentCurrentAdvertisement(toggle));
  EXPECT_EQ(layer->adType, AdType::LeftBottom);
  EXPECT_TRUE(layer->leftView->isVisible());
  EXPECT_EQ(toggles, 1);
  ad->entryType = 4;
  EXPECT_FALSE(layer->presentCurrentAdvertisement(toggle));
  EXPECT_EQ(layer->adType, AdType::LeftBottom);  // left untouched
  EXPECT_TRUE(layer->leftView->isVisible());
  EXPECT_EQ(toggles, 1);
  ad.reset();
  EXPECT_FALSE(layer->presentCurrentAdvertisement(toggle));
  EXPECT_EQ(toggles, 1);
}

TEST_F(AdvertisementTest, ANewShowingReplacesThePendingTimer) {
  show(AdType::RightTop);
  run(5);
  show(AdType::RightTop);
  run(5);
  EXPECT_TRUE(layer->rightView->isVisible());  // 10 s after the first, 5 s after the second
  run(2);
  EXPECT_EQ(closed, 1);
}

TEST_F(AdvertisementTest, PicturesLoadAsStillOrAnimated) {
  ApngBuilder b;
  b.width = 4;
  b.height = 4;
  b.frames.push_back({filled(4, 4, Qt::red)});
  b.frames.push_back({filled(4, 4, Qt::blue)});
  rig.server.serveFile("/files/ads/moving.PNG", b.build().toStdString(), "image/png");
  rig.server.serveFile("/files/ads/still.jpg",
                       ApngBuilder::png(filled(6, 6, Qt::green)).toStdString(), "image/jpeg");
  rig.server.serveFile("/files/ads/broken.png", "not a picture", "image/png");

  ad->uri = "ads/moving.PNG";
  show(AdType::Center);
  ASSERT_TRUE(Server::pumpUntil([&] { return layer->centerAdApngView->image().has_value(); }));
  EXPECT_EQ(layer->centerAdApngView->image()->frames().size(), 2u);
  EXPECT_TRUE(layer->centerAdImageView->isHidden());
  EXPECT_EQ(layer->centerTitleLabel->text(), "Spring offer");

  ad->uri = "ads/still.jpg";
  show(AdType::LeftBottom);
  ASSERT_TRUE(Server::pumpUntil([&] { return !layer->leftAdImageView->pixmap().isNull(); }));
  EXPECT_FALSE(layer->leftAdApngView->image());

  ad->uri = "ads/broken.png";
  show(AdType::RightTop);
  ASSERT_TRUE(Server::pumpUntil([&] { return rig.logged("Cannot decode the ad picture"); }));
  EXPECT_FALSE(layer->rightAdApngView->image());
  EXPECT_EQ(layer->rightTitleLabel->text(), "Spring offer");  // title and button still there

  ad->uri = "ads/missing.jpg";
  show(AdType::RightTop);
  ASSERT_TRUE(Server::pumpUntil([&] { return rig.logged("Cannot read the ad picture"); }));
}

// Holds the decoder's tasks until the test runs them, on a thread of its own.
struct HeldQueue : platform::Queue {
  std::vector<platform::Task> tasks;
  void async(platform::Task task) override { tasks.push_back(std::move(task)); }
  void sync(platform::Task task) override { task(); }
};

// A picture of up to its bound takes a while to decode: the main thread only gets the result.
TEST_F(AdvertisementTest, PicturesAreDecodedOffTheMainThread) {
  rig.server.serveFile("/files/ads/still.jpg",
                       ApngBuilder::png(filled(6, 6, Qt::green)).toStdString(), "image/jpeg");
  HeldQueue decoder;
  env.decoder = &decoder;
  layer = std::make_unique<AdvertisementViewController>(env);
  ad->uri = "ads/still.jpg";
  show(AdType::Center);
  ASSERT_TRUE(Server::pumpUntil([&] { return decoder.tasks.size() == 1; }));
  EXPECT_TRUE(layer->centerAdImageView->pixmap().isNull());  // fetched, not yet decoded
  std::thread([&] { decoder.tasks[0](); }).join();
  ASSERT_TRUE(Server::pumpUntil([&] { return !layer->centerAdImageView->pixmap().isNull(); }));
  EXPECT_EQ(layer->centerAdImageView->pixmap().width(), 6);
}

}  // namespace
}  // namespace corvane
