#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFileDialog>
#include <QLabel>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "ManualClock.h"
#include "ShellTestMedia.h"
#include "TempDir.h"
#include "TestMedia.h"
#include "camera/PlayerManager.h"
#include "camera/VideoDecoder.h"
#include "dispatch/MainQueue.h"
#include "shell/PlayerController.h"
#include "util/ImageExtension.h"
#include "widgets/CustomButton.h"
#include "widgets/ImageView.h"
#include "widgets/PixelBufferView.h"

using corvane::CustomButton;
using corvane::PlayerController;
using corvane::PlayerManager;
using corvane::PlayerMode;
using corvane::PlayerStatus;
using platform::MainQueue;

namespace {

// Largest difference of any colour channel between two pictures of one size; 255 otherwise.
int maxDifference(const QImage& a, const QImage& b) {
  if (a.size() != b.size() || a.isNull()) return 255;
  QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
  int worst = 0;
  for (int r = 0; r < x.height(); ++r) {
    auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(r));
    auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(r));
    for (int c = 0; c < x.width(); ++c) {
      worst =
          std::max({worst, std::abs(qRed(p[c]) - qRed(q[c])), std::abs(qGreen(p[c]) - qGreen(q[c])),
                    std::abs(qBlue(p[c]) - qBlue(q[c]))});
    }
  }
  return worst;
}

}  // namespace

class PlayerControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(files.error, "");
    window = std::make_unique<PlayerController>(*player);
    window->resize(720, 520);
    window->show();
    settle();
  }
  void TearDown() override {
    window.reset();
    player.reset();
    MainQueue::shared().drain();
  }

  // Runs the player's queues, the view's conversion and the main queue until all is quiet.
  void settle() {
    for (int i = 0; i < 20; ++i) {
      player->videoOutputQueue().drain();
      player->pushImageQueue().drain();
      if (window) window->videoPicture->convertQueue().drain();
      if (MainQueue::shared().drain() == 0 && player->videoOutputQueue().pendingCount() == 0)
        return;
    }
  }
  void loadPictures() {
    player->mode->setValue(PlayerMode::image);
    player->loadImages({QString::fromStdString(files.png), QString::fromStdString(files.jpg)});
    settle();
  }
  void loadVideo() {
    player->loadVideo(QString::fromStdString(files.video));
    settle();
  }
  QString text(QLabel* label) const { return label->text(); }

  shelltest::PlayerFiles& files = shelltest::playerFiles();
  testsupport::ManualClock clock;
  std::unique_ptr<PlayerManager> player = std::make_unique<PlayerManager>(clock);
  std::unique_ptr<PlayerController> window;
};

TEST_F(PlayerControllerTest, WithoutAFileShowsZeroOfZeroAndNoFile) {
  EXPECT_EQ(text(window->totalCountLabel), "0");
  EXPECT_EQ(text(window->currentIndexLabel), "0");
  EXPECT_EQ(text(window->fileNameLabel), "No file");
  EXPECT_EQ(text(window->totalTimeLabel), "00:00:00");
  EXPECT_EQ(text(window->currentTimeLabel), "00:00:00");
  EXPECT_FALSE(window->videoPlayButton->isSelected);
  EXPECT_FALSE(window->imagePlayButton->isSelected);
  // The player starts in video mode.
  EXPECT_FALSE(window->videoView->isHidden());
  EXPECT_TRUE(window->imageView->isHidden());
}

TEST_F(PlayerControllerTest, PicturesShowTheirCountAndPositionThroughSteps) {
  loadPictures();
  EXPECT_FALSE(window->imageView->isHidden());
  EXPECT_TRUE(window->videoView->isHidden());
  EXPECT_EQ(text(window->totalCountLabel), "2");
  EXPECT_EQ(text(window->currentIndexLabel), "1");
  EXPECT_EQ(window->imagePicture->image().size(), files.pngImage.size());
  // Pictures start playing at once; both play buttons follow.
  EXPECT_EQ(player->status->value(), PlayerStatus::playing);
  EXPECT_TRUE(window->imagePlayButton->isSelected);
  EXPECT_TRUE(window->imagePlayButton->state());
  EXPECT_TRUE(window->videoPlayButton->isSelected);

  window->forwardButton->click();
  EXPECT_EQ(text(window->currentIndexLabel), "2");
  EXPECT_EQ(window->imagePicture->image().size(), files.jpgImage.size());
  window->forwardButton->click();
  EXPECT_EQ(text(window->currentIndexLabel), "1");
  window->backwardButton->click();
  EXPECT_EQ(text(window->currentIndexLabel), "2");
  EXPECT_EQ(player->currentIndex(), 1);
}

TEST_F(PlayerControllerTest, AVideoShowsItsNameDurationAndPosition) {
  loadVideo();
  EXPECT_EQ(text(window->fileNameLabel), "clip.mp4");
  EXPECT_EQ(text(window->totalTimeLabel), "00:00:01");  // 1.5 s
  EXPECT_EQ(player->status->value(), PlayerStatus::pause);
  EXPECT_FALSE(window->videoPlayButton->isSelected);
  // Twelve frames on at ten frames a second: 1.2 s in.
  for (int i = 0; i < 12; ++i) window->forwardButton->click();
  settle();
  EXPECT_EQ(text(window->currentTimeLabel), "00:00:01");
}

TEST_F(PlayerControllerTest, PlayAndPauseFollowTheStatus) {
  loadVideo();
  window->videoPlayButton->click();
  settle();
  EXPECT_EQ(player->status->value(), PlayerStatus::playing);
  EXPECT_TRUE(window->videoPlayButton->isSelected);
  EXPECT_TRUE(window->videoPlayButton->state());
  EXPECT_TRUE(window->imagePlayButton->isSelected);
  window->videoPlayButton->click();
  settle();
  EXPECT_EQ(player->status->value(), PlayerStatus::pause);
  EXPECT_FALSE(window->videoPlayButton->isSelected);
  EXPECT_FALSE(window->videoPlayButton->state());
  // A status from elsewhere (the player itself) moves the buttons too.
  player->play();
  settle();
  EXPECT_TRUE(window->videoPlayButton->isSelected);
}

TEST_F(PlayerControllerTest, TheVideoButtonWithoutAValidVideoStaysDeselectedAndStartsNothing) {
  window->videoPlayButton->isSelected = true;  // whatever it showed before
  window->videoPlayButton->click();
  settle();
  EXPECT_FALSE(window->videoPlayButton->isSelected);
  EXPECT_FALSE(window->videoPlayButton->state());
  EXPECT_EQ(player->status->value(), PlayerStatus::noFile);
}

TEST_F(PlayerControllerTest, TheImageButtonTogglesAndPlaysOrPausesInAnyCase) {
  player->mode->setValue(PlayerMode::image);
  settle();
  window->imagePlayButton->click();
  EXPECT_TRUE(window->imagePlayButton->isSelected);
  settle();
  EXPECT_EQ(player->status->value(), PlayerStatus::playing);
  window->imagePlayButton->click();
  EXPECT_FALSE(window->imagePlayButton->isSelected);
  settle();
  EXPECT_EQ(player->status->value(), PlayerStatus::pause);
}

TEST_F(PlayerControllerTest, SelectingAFileDeselectsTheButtonAndAsksOnThisWindowByMode) {
  window->selectFileButton->isSelected = true;
  window->selectFileButton->setState(true);
  player->mode->setValue(PlayerMode::image);
  settle();
  window->selectFileButton->click();
  EXPECT_FALSE(window->selectFileButton->isSelected);
  EXPECT_FALSE(window->selectFileButton->state());
  auto* chooser = window->findChild<QFileDialog*>();
  ASSERT_NE(chooser, nullptr);
  EXPECT_EQ(chooser->windowModality(), Qt::WindowModal);
  EXPECT_TRUE(chooser->nameFilters().join(" ").contains("*.png"));
  chooser->setDirectory(QString::fromStdString(files.dir.path()));
  chooser->selectFile("a.png");
  QMetaObject::invokeMethod(chooser, "accept", Qt::DirectConnection);
  settle();
  EXPECT_EQ(text(window->totalCountLabel), "1");
}

TEST_F(PlayerControllerTest, TheVideoViewAfterAStepShowsTheFilesDecodedFrame) {
  window->videoPicture->setFixedSize(320, 240);
  settle();
  loadVideo();
  window->forwardButton->click();
  window->forwardButton->click();
  settle();

  std::string error;
  auto decoder = corvane::VideoDecoder::open(files.video, error);
  ASSERT_TRUE(decoder) << error;
  ASSERT_TRUE(decoder->advance());
  ASSERT_TRUE(decoder->advance());
  platform::PixelBufferRef frame = decoder->currentBuffer();
  ASSERT_TRUE(frame);
  EXPECT_EQ(testmedia::markerIndex(frame->baseAddress(0), frame->bytesPerRow(0), frame->width()),
            2);
  QImage expected = corvane::ImageExtension::imageWithPixelBuffer(*frame, 1.0);

  QImage shown = window->videoPicture->image();
  EXPECT_LE(maxDifference(shown, expected), 2);
  // What the view draws on screen, too.
  QImage drawn = window->videoPicture->grab().toImage();
  EXPECT_LE(maxDifference(drawn.scaled(expected.size()), expected), 8);
}

// A FIFO or a device in place of the video or a picture is refused at once: the player's queue
// and the main thread go on, and the player keeps what it had.
TEST_F(PlayerControllerTest, AVideoOrPictureThatIsNoRegularFileIsRefusedWithoutWaiting) {
  testsupport::TempDir dir;
  const std::string fifo = dir.file("clip.mp4");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_symlink("/dev/zero", dir.file("zero.png"));
  for (const std::string& path : {fifo, dir.file("zero.png"), dir.path()}) {
    std::string error;
    EXPECT_FALSE(corvane::VideoDecoder::open(path, error)) << path;
    EXPECT_NE(error.find(path + ": "), std::string::npos) << error;
  }
  player->loadVideo(QString::fromStdString(fifo));
  settle();
  EXPECT_FALSE(player->setupComplete->value());

  player->mode->setValue(PlayerMode::image);
  player->loadImages({QString::fromStdString(fifo), QString::fromStdString(dir.file("zero.png")),
                      QString::fromStdString(files.png)});
  settle();
  EXPECT_EQ(text(window->totalCountLabel), "1");  // only the real picture
}

// A file chosen in the window that cannot be played: the window says which and why, the clip
// before plays on, and the word goes once a file plays.
TEST_F(PlayerControllerTest, AClipThatCannotBePlayedShowsWhyWhileTheOneBeforePlaysOn) {
  testsupport::TempDir dir;
  std::ofstream(dir.file("empty.mp4")).flush();
  std::filesystem::create_directory(dir.file("x.mp4"));
  loadVideo();
  window->videoPlayButton->click();
  settle();
  EXPECT_TRUE(window->refusalLabel->isHidden());
  struct Case {
    std::string path, shown;
  } cases[] = {
      {dir.file("empty.mp4"), "empty.mp4 could not be played: cannot read the file (Invalid data "
                              "found when processing input)"},
      {dir.file("x.mp4"), "x.mp4 could not be played: cannot read the file (" + dir.file("x.mp4")},
      {dir.file("missing.mp4"), "missing.mp4 could not be played: cannot read the file"},
  };
  for (const Case& c : cases) {
    player->loadVideo(QString::fromStdString(c.path));
    settle();
    EXPECT_FALSE(window->refusalLabel->isHidden()) << c.path;
    EXPECT_TRUE(text(window->refusalLabel).startsWith(QString::fromStdString(c.shown)))
        << text(window->refusalLabel).toStdString();
    EXPECT_EQ(text(window->fileNameLabel), "clip.mp4");
    EXPECT_TRUE(window->videoPlayButton->isSelected);
  }
  loadVideo();
  EXPECT_TRUE(window->refusalLabel->isHidden());
}
