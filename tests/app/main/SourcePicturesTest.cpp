// The main window's preview, composed views and ROI outlines as the source goes and comes back.
#include <QImage>
#include <cstring>
#include <vector>

#include "MainControllerFixture.h"
#include "render/MetalContext.h"
#include "render/compute/Texture.h"

namespace {

using Pair = std::shared_ptr<orlith::SelvoRoiPair>;

Pair tile(int64_t id, orlith::SelvoRect src, orlith::SelvoRect dst, bool border) {
  auto p = std::make_shared<orlith::SelvoRoiPair>();
  p->roi_id = id;
  p->type = 0;
  p->src_rect.rect = src.rect;
  p->dst_rect.rect = dst.rect;
  p->dst_rect.rect_id = id;
  p->has_border = border;
  return p;
}

orlith::SelvoRect rect(double x, double y, double w, double h) {
  orlith::SelvoRect r;
  r.rect = {x, y, w, h};
  return r;
}

// A lit room: every texel a light grey.
corvane::compute::TextureRef litPanorama() {
  auto texture =
      corvane::compute::Texture::create(3840, 1080, corvane::compute::TextureFormat::BGRA8Unorm);
  std::vector<uint8_t> bytes(size_t(3840) * 1080 * 4, 0xC8);
  texture->replace(bytes.data(), size_t(3840) * 4);
  return texture;
}

// The brightest of a grid of samples over a widget's grab.
int brightest(QWidget& view) {
  QImage shown = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
  int most = 0;
  for (int y = 0; y < shown.height(); y += 7)
    for (int x = 0; x < shown.width(); x += 7) most = std::max(most, qGray(shown.pixel(x, y)));
  return most;
}

class SourcePicturesTest : public MainWindowActionsTest {
 protected:
  // The room composed into the preview and the output, with one box outlined over the preview.
  void showTheRoom() {
    metal.exchangeEffectTexture(litPanorama());
    MainController::RoiPairs control = {
        tile(1, rect(0, 0, 3840, 1080), rect(0, 0, 1280, 360), false),
        tile(7, rect(900, 200, 600, 600), rect(300, 60, 200, 200), true)};
    MainController::RoiPairs output = {
        tile(7, rect(900, 200, 600, 600), rect(0, 0, 1280, 720), false)};
    controller->updateRoiPairList(output, control);
    controller->controlMetalView->drawLayout();
    corvane::MetalContext::shared().renderQueue->drain();
    settle();
  }
  // The frames stop: the watch reopens the camera once, then gives up.
  void stall() {
    for (int i = 0; i < 4 && manager->connectMode->value() != ConnectMode::disconnected; ++i)
      advance(4s);
    corvane::MetalContext::shared().renderQueue->drain();
    settle();
  }
};

}  // namespace

TEST_F(SourcePicturesTest, AGoneCameraLeavesThePreviewAndTheComposedViewsDarkUntilItIsBack) {
  makeConnectedWindow();
  controller->controlMetalView->resize(640, 180);
  showTheRoom();
  corvane::LayoutView* output = controller->metalView;
  ASSERT_TRUE(output);
  ASSERT_TRUE(controller->controlMetalView->composedPixelBuffer());
  ASSERT_TRUE(output->composedPixelBuffer());
  ASSERT_TRUE(metal.vxdPixelBuffer());
  ASSERT_GT(brightest(*controller->controlMetalView), 150);
  ASSERT_FALSE(controller->controlBorderView->borders().empty());
  ASSERT_TRUE(controller->controlBorderView->isVisible());

  stall();
  ASSERT_EQ(manager->connectMode->value(), ConnectMode::disconnected);
  EXPECT_FALSE(controller->popupView->isHidden());
  // What a start without a source shows: no picture, a dark preview, no boxes.
  EXPECT_FALSE(controller->controlMetalView->composedPixelBuffer());
  EXPECT_FALSE(output->composedPixelBuffer());
  EXPECT_EQ(brightest(*controller->controlMetalView), 0);
  EXPECT_TRUE(controller->controlBorderView->borders().empty());
  EXPECT_FALSE(controller->controlBorderView->isVisible());
  // The render state let go of the gone source's pictures.
  EXPECT_FALSE(metal.vxdPixelBuffer());
  EXPECT_FALSE(metal.controlPixelBuffer());
  EXPECT_FALSE(metal.effectTexture());
  EXPECT_FALSE(metal.analysedTexture());
  // A layout that comes while the source is gone is not shown over the pane.
  showTheRoom();
  EXPECT_FALSE(controller->controlMetalView->composedPixelBuffer());
  EXPECT_EQ(brightest(*controller->controlMetalView), 0);
  EXPECT_FALSE(controller->controlBorderView->isVisible());

  // Back (Try Again): the next source's pictures and boxes show.
  connect();
  showTheRoom();
  EXPECT_TRUE(controller->controlMetalView->composedPixelBuffer());
  EXPECT_TRUE(output->composedPixelBuffer());
  EXPECT_GT(brightest(*controller->controlMetalView), 150);
  EXPECT_FALSE(controller->controlBorderView->borders().empty());
  EXPECT_TRUE(controller->controlBorderView->isVisible());
}

TEST_F(SourcePicturesTest, TheWatchsReopeningKeepsThePicture) {
  makeConnectedWindow();
  controller->controlMetalView->resize(640, 180);
  showTheRoom();
  // One gap: reopened, still connected; the picture and the boxes stay.
  advance(4s);
  ASSERT_EQ(manager->connectMode->value(), ConnectMode::connected);
  corvane::MetalContext::shared().renderQueue->drain();
  settle();
  EXPECT_TRUE(controller->controlMetalView->composedPixelBuffer());
  EXPECT_GT(brightest(*controller->controlMetalView), 150);
  EXPECT_FALSE(controller->controlBorderView->borders().empty());
  EXPECT_TRUE(controller->controlBorderView->isVisible());
}

// The player window between Image and Video: no file plays and no camera is there, and the
// pane is drawn over a dark preview, not over the picture played last.
TEST_F(SourcePicturesTest, APlayerLeftWithoutAFileLeavesThePreviewDark) {
  corvane::PlayerManager player(clock);
  player.mode->setValue(corvane::PlayerMode::image);
  auto env = environment();
  env.player = &player;
  manager = std::make_unique<corvane::CameraManager>(env);
  makeWindowed();
  controller->controlMetalView->resize(640, 180);
  player.loadImages({QString::fromStdString(testsupport::photoPath(1))});
  settle();
  ASSERT_EQ(manager->connectMode->value(), ConnectMode::connected);
  showTheRoom();
  ASSERT_GT(brightest(*controller->controlMetalView), 150);

  player.setMode(corvane::PlayerMode::video);
  corvane::MetalContext::shared().renderQueue->drain();
  settle();
  EXPECT_NE(manager->connectMode->value(), ConnectMode::connected);
  EXPECT_FALSE(controller->popupView->isHidden());
  EXPECT_FALSE(controller->controlMetalView->composedPixelBuffer());
  EXPECT_EQ(brightest(*controller->controlMetalView), 0);
  EXPECT_FALSE(controller->controlBorderView->isVisible());

  player.pause();
  closeWindow();
  manager.reset();
  player.pushImageQueue().drain();
}
