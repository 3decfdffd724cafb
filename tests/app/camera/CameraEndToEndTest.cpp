#include <QString>
#include <filesystem>
#include <thread>

#include "CameraManagerFixture.h"
#include "camera/PlayerManager.h"
#include "camera/SelvoAnalysisFacade.h"

using corvane::ConnectMode;
using corvane::Display;
using namespace std::chrono_literals;

// The demo panorama (composed from the test photographs) played through the file source into
// the real facade and vision library: the layout results show the people of the video.
TEST_F(CameraManagerTest, DemoVideoThroughTheRealFacadeShowsThePeople) {
  std::string clip = std::string(CORVANE_ASSETS_DIR) + "/demo/demo_360.mp4";
  if (!std::filesystem::exists(clip)) GTEST_SKIP() << "no demo clip: run scripts/setup";
  corvane::PlayerManager player(clock);
  auto env = environment();
  env.player = &player;
  env.makeFacade = corvane::SelvoAnalysisFacade::factory();
  manager = std::make_unique<corvane::CameraManager>(env);
  corvane::CameraManager::RoiPairs latest;
  int results = 0;
  manager->setRoiDicEntry("EndToEndTest", [&](const auto& main, const auto&) {
    latest = main;
    ++results;
  });
  auto pump = [&] {
    player.videoOutputQueue().drain();
    settle();
  };
  player.loadVideo(QString::fromStdString(clip));
  for (int i = 0; i < 20 && manager->connectMode->value() != ConnectMode::connected; ++i) pump();
  ASSERT_EQ(manager->connectMode->value(), ConnectMode::connected);
  ASSERT_EQ(manager->cameraFormat().width, 3840);
  manager->isAutoDetect->setValue(true);
  manager->displayMode->setValue(Display::grid);
  pump();
  player.play();
  pump();

  // Plays (in clock time) until a grid of people comes back, within bounded real time (a
  // generous bound: the sanitizer build of the suite runs this several times slower).
  auto playUntil = [&](const std::function<bool()>& done) {
    auto deadline = std::chrono::steady_clock::now() + 180s;
    while (!done() && std::chrono::steady_clock::now() < deadline) {
      clock.advance(33ms);
      pump();
      std::this_thread::yield();
    }
    return done();
  };
  auto tiles = [&] {
    size_t n = 0;
    for (const auto& p : latest)
      if (p->src_rect.rect.width > 0 && p->src_rect.rect.height > 0) ++n;
    return n;
  };
  EXPECT_TRUE(playUntil([&] { return tiles() >= 2; })) << "grid tiles: " << tiles();

  // Tiles of people, not the whole panorama.
  for (const auto& p : latest) EXPECT_LT(p->src_rect.rect.width, 3840 / 2);
  // Speaker mode towards the person of the first tile.
  ASSERT_FALSE(latest.empty());
  // A copy: `latest` is replaced by every later layout.
  const auto person = latest.front()->src_rect.rect;
  int angle = int((person.x + person.width / 2) / 3840.0 * 360.0);
  manager->displayMode->setValue(Display::speaker);
  pump();
  int before = results;
  EXPECT_TRUE(playUntil([&] {
    manager->voiceDirection().handleDoa(angle, true);
    if (results < before + 30 || latest.empty()) return false;
    for (const auto& p : latest) {
      double centre = person.x + person.width / 2;
      if (p->src_rect.rect.x <= centre && centre <= p->src_rect.rect.x + p->src_rect.rect.width)
        return true;
    }
    return false;
  }));
  player.pause();
  pump();
  manager.reset();
  player.videoOutputQueue().drain();
  platform::MainQueue::shared().drain();
}
