#include <gtest/gtest.h>

#include <QFileDialog>
#include <QWidget>

#include "ManualClock.h"
#include "TempDir.h"
#include "TestMedia.h"
#include "camera/PlayerManager.h"
#include "dispatch/MainQueue.h"

using corvane::PlayerManager;
using corvane::PlayerMode;
using platform::MainQueue;

// The chooser, driven as a user would: the choice it ends with is what gets loaded.
class PlayerFileChooserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    picture = dir.file("one.png");
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    ASSERT_TRUE(image.save(QString::fromStdString(picture)));
    video = dir.file("clip.mp4");
    std::string error;
    ASSERT_TRUE(testmedia::writeVideo(
        {.path = video, .width = 64, .height = 48, .frames = 3},
        [](int i) { return testmedia::markedFrame(QImage(), 64, 48, i); }, error))
        << error;
  }
  void TearDown() override {
    player.reset();
    MainQueue::shared().drain();
  }
  QFileDialog* openChooser() {
    player->openFile(&window);
    return window.findChild<QFileDialog*>();
  }

  testsupport::TempDir dir;
  testsupport::ManualClock clock;
  std::unique_ptr<PlayerManager> player = std::make_unique<PlayerManager>(clock);
  QWidget window;
  std::string picture, video;
};

TEST_F(PlayerFileChooserTest, ImageModeChoosesSeveralPicturesAndLoadsThem) {
  player->mode->setValue(PlayerMode::image);
  QFileDialog* chooser = openChooser();
  ASSERT_NE(chooser, nullptr);
  EXPECT_EQ(chooser->fileMode(), QFileDialog::ExistingFiles);
  EXPECT_EQ(chooser->windowModality(), Qt::WindowModal);
  EXPECT_TRUE(chooser->nameFilters().join(" ").contains("*.png"));
  EXPECT_FALSE(chooser->nameFilters().join(" ").contains("*.mp4"));
  chooser->setDirectory(QString::fromStdString(dir.path()));
  chooser->selectFile("one.png");
  QMetaObject::invokeMethod(chooser, "accept", Qt::DirectConnection);
  EXPECT_EQ(player->images().size(), 1u);
  EXPECT_EQ(player->frameSize(), QSizeF(64, 48));
  EXPECT_TRUE(player->setupComplete->value());
}

TEST_F(PlayerFileChooserTest, VideoModeChoosesOneVideo) {
  QFileDialog* chooser = openChooser();
  ASSERT_NE(chooser, nullptr);
  EXPECT_EQ(chooser->fileMode(), QFileDialog::ExistingFile);
  EXPECT_TRUE(chooser->nameFilters().join(" ").contains("*.MOV"));
  chooser->setDirectory(QString::fromStdString(dir.path()));
  chooser->selectFile("clip.mp4");
  QMetaObject::invokeMethod(chooser, "accept", Qt::DirectConnection);
  player->videoOutputQueue().drain();
  MainQueue::shared().drain();
  EXPECT_TRUE(player->hasValidAsset());
  EXPECT_EQ(player->fileName(), "clip.mp4");
}

TEST_F(PlayerFileChooserTest, ACancelledChooserChangesNothing) {
  player->mode->setValue(PlayerMode::image);
  QFileDialog* chooser = openChooser();
  ASSERT_NE(chooser, nullptr);
  chooser->setDirectory(QString::fromStdString(dir.path()));
  chooser->selectFile("one.png");
  chooser->reject();
  EXPECT_TRUE(player->images().empty());
  EXPECT_FALSE(player->setupComplete->value());
  MainQueue::shared().drain();
}
