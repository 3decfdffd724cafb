#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "ManualClock.h"
#include "TempDir.h"
#include "TestMedia.h"
#include "camera/PlayerManager.h"
#include "dispatch/MainQueue.h"
#include "log/LogManager.h"
#include "util/Converter.h"

using corvane::PlayerManager;
using corvane::PlayerMode;
using corvane::PlayerStatus;
using platform::MainQueue;
using platform::PixelBufferRef;
using platform::PixelFormat;
using namespace std::chrono_literals;

namespace {

struct Media {
  testsupport::TempDir dir;
  std::string h264, mjpeg, audioFirst, audioOnly, truncated, truncatedFast, corrupted, notVideo;
  std::string png, jpg, oddPng, missing;
  std::string thinVideo, thinPng;  // 16 x 4000: its preview would be 1280 x 320000
  QImage pngImage, jpgImage;
};

Media* media = nullptr;

void writeOrFail(testmedia::VideoSpec spec, const QImage& photo) {
  std::string error;
  int w = spec.width, h = spec.height;
  ASSERT_TRUE(testmedia::writeVideo(
      spec, [&](int i) { return testmedia::markedFrame(photo, w, h, i); }, error))
      << spec.path << ": " << error;
}

void truncateCopy(const std::string& from, const std::string& to, double fraction) {
  auto size = std::filesystem::file_size(from);
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::resize_file(to, uintmax_t(double(size) * fraction));
}

std::string logText() {
  std::ifstream in(corvane::LogManager::shared().logFilePath());
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

class PlayerManagerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    media = new Media();
    Media& m = *media;
    QImage photo1 = testmedia::photo("sample1.jpg"), photo2 = testmedia::photo("sample2.jpg");
    ASSERT_FALSE(photo1.isNull()) << "the test photographs are missing";
    m.h264 = m.dir.file("clip.mp4");
    m.mjpeg = m.dir.file("clip.avi");
    m.audioFirst = m.dir.file("audio-first.mp4");
    m.audioOnly = m.dir.file("audio-only.mp4");
    m.truncated = m.dir.file("truncated.mp4");
    m.truncatedFast = m.dir.file("truncated-faststart.mp4");
    m.notVideo = m.dir.file("notes.mp4");
    writeOrFail({.path = m.h264}, photo1);
    writeOrFail({.path = m.mjpeg, .encoder = "mjpeg"}, photo1);
    writeOrFail(
        {.path = m.audioFirst, .width = 352, .height = 288, .frames = 8, .audioFirst = true},
        photo2);
    writeOrFail({.path = m.audioOnly, .audioOnly = true}, photo2);
    // With B-frames, so frames arrive out of order from the file.
    writeOrFail({.path = m.dir.file("fast.mp4"), .frames = 30, .bframes = 2, .faststart = true},
                photo1);
    truncateCopy(m.h264, m.truncated, 0.5);
    truncateCopy(m.dir.file("fast.mp4"), m.truncatedFast, 0.5);
    m.corrupted = m.dir.file("corrupted.mp4");
    truncateCopy(m.dir.file("fast.mp4"), m.corrupted, 1.0);
    {
      // Garbage over a stretch of the picture data, past the index at the front.
      std::fstream f(m.corrupted, std::ios::in | std::ios::out | std::ios::binary);
      f.seekp(std::streamoff(std::filesystem::file_size(m.corrupted) * 6 / 10));
      std::string garbage(4096, '\xA5');
      f.write(garbage.data(), std::streamsize(garbage.size()));
    }
    std::ofstream(m.notVideo) << "this is not a video\n";

    m.png = m.dir.file("a.png");
    m.jpg = m.dir.file("b.jpg");
    m.oddPng = m.dir.file("odd.png");
    m.missing = m.dir.file("missing.png");
    m.pngImage = photo1.scaled(400, 300).convertToFormat(QImage::Format_RGB32);
    m.jpgImage = testmedia::photo("sample3.jpg").scaled(200, 150);
    ASSERT_TRUE(m.pngImage.save(QString::fromStdString(m.png)));
    ASSERT_TRUE(m.jpgImage.save(QString::fromStdString(m.jpg), "JPEG", 95));
    ASSERT_TRUE(photo2.scaled(641, 481).save(QString::fromStdString(m.oddPng)));
    m.thinVideo = m.dir.file("thin.mp4");
    writeOrFail({.path = m.thinVideo, .width = 16, .height = 4000, .frames = 3}, photo1);
    m.thinPng = m.dir.file("thin.png");
    ASSERT_TRUE(photo1.scaled(16, 4000).save(QString::fromStdString(m.thinPng)));
  }
  static void TearDownTestSuite() {
    delete media;
    media = nullptr;
  }

  void SetUp() override {
    player = std::make_unique<PlayerManager>(clock);
    player->setOutputBuffer([this](PixelBufferRef buffer) {
      int marker =
          testmedia::markerIndex(buffer->baseAddress(0), buffer->bytesPerRow(0), buffer->width());
      std::lock_guard lock(mutex);
      markers.push_back(marker);
      last = buffer;
      onQueue.push_back(player->videoOutputQueue().isCurrent() ||
                        player->pushImageQueue().isCurrent());
    });
  }
  void TearDown() override {
    player.reset();
    MainQueue::shared().drain();
  }

  // Runs what the player queued, on its queues and the main queue, until all is quiet.
  void settle() {
    for (int i = 0; i < 20; ++i) {
      player->videoOutputQueue().drain();
      player->pushImageQueue().drain();
      if (MainQueue::shared().drain() == 0 && player->videoOutputQueue().pendingCount() == 0)
        return;
    }
  }
  void tick(platform::Clock::Duration by) {
    clock.advance(by);
    settle();
  }
  std::vector<int> delivered() {
    std::lock_guard lock(mutex);
    return markers;
  }
  void forget() {
    std::lock_guard lock(mutex);
    markers.clear();
  }
  // Plays from now for `ticks` frames of a tenth of a second.
  void playFor(int ticks) {
    player->play();
    settle();
    tick(0ms);
    for (int i = 0; i < ticks; ++i) tick(100ms);
  }
  void openVideo(const std::string& path) {
    player->loadVideo(QString::fromStdString(path));
    settle();
  }

  testsupport::ManualClock clock;
  std::unique_ptr<PlayerManager> player;
  std::mutex mutex;
  std::vector<int> markers;
  std::vector<bool> onQueue;
  PixelBufferRef last;
};

// ---- video

TEST_F(PlayerManagerTest, StartsWithNoFile) {
  EXPECT_FALSE(player->hasValidAsset());
  EXPECT_EQ(player->fileName(), "No File");
  EXPECT_EQ(player->frameSize(), QSizeF(0, 0));
  EXPECT_EQ(player->status->value(), PlayerStatus::noFile);
  EXPECT_EQ(player->mode->value(), PlayerMode::video);
  EXPECT_FALSE(player->setupComplete->value());
  EXPECT_EQ(corvane::playerModeFromRaw(2), std::nullopt);
  EXPECT_EQ(corvane::playerStatusFromRaw(-1), std::nullopt);
  EXPECT_EQ(corvane::playerStatusFromRaw(2), PlayerStatus::pause);
}

TEST_F(PlayerManagerTest, OpeningAVideoSetsItUpPausedAndShowsTheFirstFrame) {
  std::vector<bool> setups;
  player->setupComplete->bind([&](bool ok) {
    setups.push_back(ok);
    EXPECT_TRUE(delivered().empty());  // the source is announced before its first frame
  });
  openVideo(media->h264);
  EXPECT_TRUE(player->hasValidAsset());
  EXPECT_EQ(player->fileName(), "clip.mp4");
  EXPECT_EQ(player->frameSize(), QSizeF(320, 240));
  EXPECT_NEAR(player->duration(), 1.5, 0.11);
  EXPECT_EQ(player->status->value(), PlayerStatus::pause);
  EXPECT_EQ(setups, std::vector<bool>{true});
  ASSERT_EQ(delivered(), std::vector<int>{0});
  EXPECT_TRUE(onQueue.at(0));
  ASSERT_TRUE(last);
  EXPECT_EQ(last->format(), PixelFormat::NV12FullRange);
  EXPECT_EQ(last->width(), 320);
  EXPECT_EQ(last->height(), 240);
}

TEST_F(PlayerManagerTest, VideoFramesAreFullRange) {
  // Video-range frames (white 235, black 16) are what made file pictures look washed out.
  openVideo(media->h264);
  ASSERT_TRUE(last);
  const uint8_t* row = last->baseAddress(0) + last->bytesPerRow(0) * 228;
  EXPECT_GE(row[40], 250);
  EXPECT_LE(row[280], 5);
  const uint8_t* chroma = last->baseAddress(1) + last->bytesPerRow(1) * 114;
  EXPECT_NEAR(chroma[40], 128, 3);
  EXPECT_NEAR(chroma[41], 128, 3);
}

TEST_F(PlayerManagerTest, PlaysEveryFrameInOrderAtItsTimeAndLoopsAtTheEnd) {
  openVideo(media->h264);
  forget();
  player->play();
  EXPECT_EQ(player->status->value(), PlayerStatus::playing);
  settle();
  tick(0ms);
  EXPECT_EQ(delivered(), std::vector<int>{1});
  tick(50ms);  // half a frame: nothing new is due
  EXPECT_EQ(delivered(), std::vector<int>{1});
  tick(50ms);
  for (int i = 0; i < 15; ++i) tick(100ms);
  std::vector<int> want;
  for (int i = 1; i < 15; ++i) want.push_back(i);
  for (int i = 0; i < 3; ++i) want.push_back(i);  // the end wraps to the start
  EXPECT_EQ(delivered(), want);
  EXPECT_NEAR(player->currentTime->value(), 0.2, 0.01);
}

TEST_F(PlayerManagerTest, PauseStopsTheFramesAndPlayGoesOnFromThere) {
  openVideo(media->h264);
  player->play();
  settle();
  tick(0ms);
  tick(100ms);
  player->pause();
  settle();
  EXPECT_EQ(player->status->value(), PlayerStatus::pause);
  forget();
  for (int i = 0; i < 10; ++i) tick(100ms);
  EXPECT_TRUE(delivered().empty());
  player->play();
  settle();
  tick(0ms);
  EXPECT_EQ(delivered(), std::vector<int>{3});
}

TEST_F(PlayerManagerTest, SteppingGoesOneFrameEitherWayAcrossKeyFrames) {
  openVideo(media->h264);
  for (int i = 0; i < 7; ++i) player->stepForward();
  settle();
  EXPECT_EQ(player->status->value(), PlayerStatus::pause);
  for (int i = 0; i < 4; ++i) player->stepBackward();  // back past the key frame at 5
  settle();
  EXPECT_EQ(delivered(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 6, 5, 4, 3}));
  EXPECT_NEAR(player->currentTime->value(), 0.3, 0.01);
  player->stepForward();
  settle();
  EXPECT_EQ(delivered().back(), 4);
}

TEST_F(PlayerManagerTest, SteppingStopsAtBothEnds) {
  openVideo(media->h264);
  player->stepBackward();
  settle();
  EXPECT_EQ(delivered(), std::vector<int>{0});
  for (int i = 0; i < 20; ++i) player->stepForward();
  settle();
  auto got = delivered();
  EXPECT_EQ(got.size(), 15u);
  EXPECT_EQ(got.back(), 14);
  player->play();  // at the end, play starts again from the beginning
  settle();
  tick(0ms);
  EXPECT_EQ(delivered().back(), 0);
}

TEST_F(PlayerManagerTest, StepBeforeOpeningDoesNothing) {
  player->stepForward();
  player->stepBackward();
  settle();
  EXPECT_TRUE(delivered().empty());
}

TEST_F(PlayerManagerTest, PlaysAnMJPEGAVI) {
  openVideo(media->mjpeg);
  EXPECT_EQ(player->frameSize(), QSizeF(320, 240));
  player->play();
  settle();
  tick(0ms);
  for (int i = 0; i < 13; ++i) tick(100ms);
  std::vector<int> want;
  for (int i = 0; i < 15; ++i) want.push_back(i);
  EXPECT_EQ(delivered(), want);
  const uint8_t* row = last->baseAddress(0) + last->bytesPerRow(0) * 228;
  EXPECT_GE(row[40], 250);
  EXPECT_LE(row[280], 5);
  player->stepBackward();
  settle();
  EXPECT_EQ(delivered().back(), 13);
}

TEST_F(PlayerManagerTest, TakesTheSizeFromTheVideoStreamWhenAudioComesFirst) {
  openVideo(media->audioFirst);
  EXPECT_TRUE(player->hasValidAsset());
  EXPECT_EQ(player->frameSize(), QSizeF(352, 288));
  ASSERT_TRUE(last);
  EXPECT_EQ(last->width(), 352);
  for (int i = 0; i < 7; ++i) player->stepForward();
  settle();
  EXPECT_EQ(delivered(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
}

TEST_F(PlayerManagerTest, FilesWithoutAPlayableVideoFailClearlyAndChangeNothing) {
  struct Case {
    std::string path, reason;
  } cases[] = {{media->notVideo, "cannot read the file"},
               {media->audioOnly, "the file has no video stream"},
               {media->truncated, "cannot read the file"},
               {media->missing, "cannot read the file"}};
  for (const Case& c : cases) {
    openVideo(c.path);
    std::string name = std::filesystem::path(c.path).filename().string();
    EXPECT_NE(logText().find("cannot play " + name + ": " + c.reason), std::string::npos) << name;
    EXPECT_FALSE(player->hasValidAsset()) << name;
    EXPECT_EQ(player->status->value(), PlayerStatus::noFile) << name;
    EXPECT_FALSE(player->setupComplete->value()) << name;
  }
  EXPECT_TRUE(delivered().empty());
}

// A clip whose pictures the render pass cannot draw is refused when it is opened, in one line,
// as an unreadable one is: never drawn and failed in the log with every frame.
TEST_F(PlayerManagerTest, AClipOfASizeThatCannotBeDrawnIsRefusedWhenOpened) {
  size_t before = logText().size();
  openVideo(media->thinVideo);
  tick(1s);
  std::string lines = logText().substr(before);
  const std::string refusal =
      "cannot play thin.mp4: the picture size 16 x 4000 cannot be drawn: its preview would be "
      "1280 x 320000 (2 to 16384 high)";
  EXPECT_NE(lines.find(refusal), std::string::npos) << lines;
  EXPECT_EQ(lines.find(refusal), lines.rfind(refusal));
  EXPECT_FALSE(player->hasValidAsset());
  EXPECT_EQ(player->status->value(), PlayerStatus::noFile);
  EXPECT_FALSE(player->setupComplete->value());
  EXPECT_TRUE(delivered().empty());
  // A clip that can be drawn opens after it as usual.
  openVideo(media->h264);
  EXPECT_TRUE(player->hasValidAsset());
  EXPECT_EQ(player->frameSize(), QSizeF(320, 240));

  // A picture of that size is not taken either; the others are.
  player->mode->setValue(PlayerMode::image);
  player->loadImages({QString::fromStdString(media->thinPng), QString::fromStdString(media->png)});
  EXPECT_NE(logText().find("cannot show image " + media->thinPng +
                           ": the picture size 16 x 4000 cannot be drawn"),
            std::string::npos);
  EXPECT_EQ(player->images().size(), 1u);
  EXPECT_EQ(player->frameSize(), QSizeF(400, 300));
}

// A frame of more pixels than a machine's memory has room for while it plays: refused at once,
// from the size its header gives, before a first picture that would take seconds to decode.
TEST_F(PlayerManagerTest, AClipTooLargeForMemoryIsRefusedWhenOpened) {
  std::string clip = media->dir.file("huge.avi");
  QImage grey(16, 16, QImage::Format_RGB32);
  grey.fill(Qt::gray);
  std::string error;
  ASSERT_TRUE(testmedia::writeVideo(
      {.path = clip, .encoder = "mjpeg", .width = 8192, .height = 4400, .frames = 1},
      [&](int) { return grey.scaled(8192, 4400); }, error))
      << error;
  size_t before = logText().size();
  openVideo(clip);
  std::string lines = logText().substr(before);
  EXPECT_NE(lines.find("cannot play huge.avi: the picture size 8192 x 4400 cannot be drawn: its "
                       "36.0 million pixels a frame would need about 2.0 GB of memory to play"),
            std::string::npos)
      << lines;
  EXPECT_FALSE(player->hasValidAsset());
  EXPECT_EQ(player->refusal->value().fileName, "huge.avi");
}

TEST_F(PlayerManagerTest, AFailedFileLeavesThePlayingOneInPlace) {
  openVideo(media->h264);
  player->loadVideo(QString::fromStdString(media->notVideo));
  settle();
  EXPECT_EQ(player->fileName(), "clip.mp4");
  player->stepForward();
  settle();
  EXPECT_EQ(delivered().back(), 1);
}

TEST_F(PlayerManagerTest, ATruncatedFilePlaysWhatItHasThenLoops) {
  openVideo(media->truncatedFast);
  ASSERT_TRUE(player->hasValidAsset());
  player->play();
  settle();
  tick(0ms);
  for (int i = 0; i < 40; ++i) tick(100ms);
  auto got = delivered();
  ASSERT_GT(got.size(), 20u);
  // Frames run in order up to where the file ends, then start again at 0.
  auto wrap = std::find(got.begin() + 1, got.end(), 0);
  ASSERT_NE(wrap, got.end());
  for (auto it = got.begin() + 1; it != wrap; ++it) EXPECT_EQ(*it, *(it - 1) + 1);
  EXPECT_LT(*(wrap - 1), 29);
}

TEST_F(PlayerManagerTest, ACorruptedFilePlaysOnWithoutCrashing) {
  openVideo(media->corrupted);
  ASSERT_TRUE(player->hasValidAsset());
  player->play();
  settle();
  tick(0ms);
  for (int i = 0; i < 70; ++i) tick(100ms);
  auto got = delivered();
  EXPECT_GT(got.size(), 40u);
  // It went round: the first frame shows again after the damaged stretch.
  EXPECT_GE(std::count(got.begin(), got.end(), 0), 2);
}

// ---- pictures

TEST_F(PlayerManagerTest, PicturesPlayAtOnceAndArePushedTenTimesASecond) {
  player->mode->setValue(PlayerMode::image);
  player->loadImages({QString::fromStdString(media->png), QString::fromStdString(media->missing),
                      QString::fromStdString(media->jpg)});
  EXPECT_EQ(player->images().size(), 2u);
  EXPECT_TRUE(player->setupComplete->value());
  EXPECT_EQ(player->status->value(), PlayerStatus::playing);
  EXPECT_EQ(player->frameSize(), QSizeF(400, 300));
  EXPECT_EQ(player->currentIndex(), 0);
  tick(0ms);
  EXPECT_EQ(delivered().size(), 1u);
  for (int i = 0; i < 10; ++i) tick(100ms);
  EXPECT_EQ(delivered().size(), 11u);
  EXPECT_TRUE(onQueue.back());
  ASSERT_TRUE(last);
  EXPECT_EQ(last->format(), PixelFormat::NV12FullRange);
  EXPECT_EQ(last->width(), 400);
  EXPECT_EQ(last->height(), 300);
  // The shown buffer holds the first picture, converted.
  auto want = player->createPixelBuffer(400, 300);
  corvane::Converter::pixelBuffer(*want, media->pngImage);
  EXPECT_EQ(std::memcmp(last->baseAddress(0), want->baseAddress(0), last->bytesPerRow(0) * 300), 0);
}

TEST_F(PlayerManagerTest, PauseStopsThePushesAndPlayMakesANewTimer) {
  player->mode->setValue(PlayerMode::image);
  player->loadImages({QString::fromStdString(media->png)});
  tick(0ms);
  player->pause();
  EXPECT_EQ(player->status->value(), PlayerStatus::pause);
  forget();
  for (int i = 0; i < 5; ++i) tick(100ms);
  EXPECT_TRUE(delivered().empty());
  player->play();
  tick(0ms);
  tick(100ms);
  EXPECT_EQ(delivered().size(), 2u);
}

TEST_F(PlayerManagerTest, SteppingThroughPicturesWrapsAroundBothWays) {
  player->mode->setValue(PlayerMode::image);
  player->loadImages({QString::fromStdString(media->png), QString::fromStdString(media->jpg),
                      QString::fromStdString(media->png)});
  ASSERT_EQ(player->images().size(), 3u);
  player->stepForward();
  player->stepForward();
  EXPECT_EQ(player->currentIndex(), 2);
  player->stepForward();
  EXPECT_EQ(player->currentIndex(), 0);
  player->stepBackward();
  EXPECT_EQ(player->currentIndex(), 2);
  player->stepBackward();
  EXPECT_EQ(player->currentIndex(), 1);
  // The smaller picture is drawn at the top left and leaves the rest black, not the last picture.
  PixelBufferRef shown = player->imagePixel();
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown->width(), 400);
  EXPECT_EQ(shown->baseAddress(0)[shown->bytesPerRow(0) * 299 + 399], 0);
  EXPECT_EQ(shown->baseAddress(1)[shown->bytesPerRow(1) * 149 + 398], 128);
  tick(0ms);
  EXPECT_EQ(last, shown);
}

TEST_F(PlayerManagerTest, AStepWhilePausedShowsTheNewPicture) {
  player->mode->setValue(PlayerMode::image);
  player->loadImages({QString::fromStdString(media->png), QString::fromStdString(media->jpg)});
  player->pause();
  settle();
  forget();
  player->stepForward();
  settle();
  EXPECT_EQ(delivered().size(), 1u);
  EXPECT_EQ(last, player->imagePixel());
}

TEST_F(PlayerManagerTest, ASecondChoiceKeepsTheFirstPicturesInFront) {
  player->mode->setValue(PlayerMode::image);
  player->loadImages({QString::fromStdString(media->jpg)});
  player->loadImages({QString::fromStdString(media->png)});
  ASSERT_EQ(player->images().size(), 2u);
  EXPECT_EQ(player->images()[0].size(), QSize(200, 150));
  EXPECT_EQ(player->frameSize(), QSizeF(200, 150));
}

TEST_F(PlayerManagerTest, NoReadablePictureReportsNoSetup) {
  player->mode->setValue(PlayerMode::image);
  std::vector<bool> setups;
  player->setupComplete->bind([&](bool ok) { setups.push_back(ok); });
  player->loadImages(
      {QString::fromStdString(media->missing), QString::fromStdString(media->notVideo)});
  settle();
  EXPECT_EQ(setups, std::vector<bool>{false});
  EXPECT_EQ(player->status->value(), PlayerStatus::noFile);
  player->stepForward();
  tick(100ms);
  EXPECT_TRUE(delivered().empty());
}

TEST_F(PlayerManagerTest, AnOddSizedPictureGivesAnEvenFrame) {
  player->mode->setValue(PlayerMode::image);
  player->loadImages({QString::fromStdString(media->oddPng)});
  EXPECT_EQ(player->frameSize(), QSizeF(640, 480));
  tick(0ms);
  ASSERT_TRUE(last);
  EXPECT_EQ(last->width(), 640);
  EXPECT_EQ(last->height(), 480);
}

TEST_F(PlayerManagerTest, PicturesAfterAVideoStopTheVideo) {
  openVideo(media->h264);
  player->play();
  settle();
  tick(0ms);
  player->mode->setValue(PlayerMode::image);
  player->loadImages({QString::fromStdString(media->png)});
  tick(0ms);
  forget();
  tick(100ms);
  // Only the picture push: one frame of 400 x 300, no video frame.
  EXPECT_EQ(delivered().size(), 1u);
  EXPECT_EQ(last->width(), 400);
}

TEST_F(PlayerManagerTest, CreatePixelBufferMakesBlackFullRangeOrLogs) {
  auto buffer = player->createPixelBuffer(64, 32);
  ASSERT_TRUE(buffer);
  EXPECT_EQ(buffer->format(), PixelFormat::NV12FullRange);
  EXPECT_EQ(buffer->baseAddress(0)[0], 0);
  EXPECT_EQ(buffer->baseAddress(1)[0], 128);
  EXPECT_FALSE(player->createPixelBuffer(0, 32));
  EXPECT_NE(logText().find("Error: could not create resized pixel buffer: "), std::string::npos);
}

TEST_F(PlayerManagerTest, FrameObserversSeeEveryFrameHandedOutUntilRemoved) {
  std::mutex seenMutex;
  std::vector<PixelBufferRef> seen;
  int id = player->addFrameObserver([&](PixelBufferRef buffer) {
    std::lock_guard lock(seenMutex);
    seen.push_back(buffer);
  });
  openVideo(media->h264);
  player->stepForward();
  settle();
  {
    std::lock_guard lock(seenMutex);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen.back(), last);  // the same frame the consumer got
  }
  player->removeFrameObserver(id);
  player->stepForward();
  settle();
  std::lock_guard lock(seenMutex);
  EXPECT_EQ(seen.size(), 2u);
  EXPECT_EQ(delivered().size(), 3u);
}

TEST_F(PlayerManagerTest, FrameObserversGetFramesAlsoWithoutAConsumer) {
  player->setOutputBuffer(nullptr);
  std::atomic<int> seen{0};
  player->addFrameObserver([&](PixelBufferRef) { ++seen; });
  player->mode->setValue(PlayerMode::image);
  player->loadImages({QString::fromStdString(media->png)});
  tick(100ms);
  EXPECT_GE(seen.load(), 1);
}

TEST_F(PlayerManagerTest, AfterCloseNoFrameIsHandedOut) {
  std::atomic<int> observed{0};
  player->addFrameObserver([&](PixelBufferRef) { ++observed; });
  openVideo(media->h264);
  player->play();
  settle();
  tick(0ms);
  tick(100ms);
  ASSERT_GT(delivered().size(), 1u);
  player->close();
  forget();
  int before = observed.load();
  tick(500ms);
  player->stepForward();
  settle();
  EXPECT_TRUE(delivered().empty());
  EXPECT_EQ(observed.load(), before);
}

// ---- one source at a time

// Pictures, then the mode back to video as the diagnostics window's Open file sets it: play and
// pause reach the pictures that play, never a video left behind, and the pictures' source is
// the only one handing out frames.
TEST_F(PlayerManagerTest, PlayAndPauseReachTheSourceThatPlaysWhateverTheMode) {
  openVideo(media->h264);
  player->play();
  settle();
  tick(0ms);
  player->mode->setValue(PlayerMode::image);
  player->loadImages({QString::fromStdString(media->png)});
  settle();
  // The video is closed with its decoder: no file of it is left to name.
  EXPECT_FALSE(player->hasValidAsset());
  EXPECT_EQ(player->fileName(), "No File");
  EXPECT_EQ(player->asset(), std::nullopt);
  player->mode->setValue(PlayerMode::video);
  player->pause();
  settle();
  forget();
  for (int i = 0; i < 10; ++i) tick(100ms);
  EXPECT_TRUE(delivered().empty()) << "a pause stops the pictures that play";
  playFor(10);
  // Ten a second, all of them the picture: no second source beside it.
  EXPECT_EQ(delivered().size(), 11u);
  EXPECT_EQ(last->width(), 400);
}

TEST_F(PlayerManagerTest, ChangingTheModeClosesTheOtherSourceBeforeTheNewOneOpens) {
  player->setMode(PlayerMode::image);
  player->loadImages({QString::fromStdString(media->png), QString::fromStdString(media->jpg)});
  tick(0ms);
  std::vector<bool> setups;
  player->setupComplete->bind([&](bool ok) { setups.push_back(ok); });
  player->setMode(PlayerMode::image);  // the same kind: the pictures play on
  settle();
  EXPECT_EQ(player->images().size(), 2u);
  EXPECT_EQ(player->status->value(), PlayerStatus::playing);

  player->setMode(PlayerMode::video);
  settle();
  forget();
  for (int i = 0; i < 5; ++i) tick(100ms);
  EXPECT_TRUE(delivered().empty()) << "the pictures' source is closed";
  // The state shown is the source's: no file, no time, not playing.
  EXPECT_TRUE(player->images().empty());
  EXPECT_FALSE(player->imagePixel());
  EXPECT_EQ(player->status->value(), PlayerStatus::noFile);
  EXPECT_EQ(player->currentTime->value(), 0);
  EXPECT_EQ(setups, std::vector<bool>{false});
  EXPECT_EQ(player->mode->value(), PlayerMode::video);

  openVideo(media->h264);
  EXPECT_EQ(player->fileName(), "clip.mp4");
  EXPECT_EQ(player->status->value(), PlayerStatus::pause);
  forget();
  playFor(10);
  // The clip's own ten frames a second, each the next one.
  std::vector<int> want;
  for (int i = 1; i <= 11; ++i) want.push_back(i);
  EXPECT_EQ(delivered(), want);
  EXPECT_EQ(last->width(), 320);

  // And from the video back to pictures the same way.
  player->setMode(PlayerMode::image);
  settle();
  forget();
  tick(500ms);
  EXPECT_TRUE(delivered().empty());
  EXPECT_FALSE(player->hasValidAsset());
  EXPECT_EQ(player->asset(), std::nullopt);
  EXPECT_EQ(player->status->value(), PlayerStatus::noFile);
}

TEST_F(PlayerManagerTest, AClipThatCannotBePlayedIsToldWhileTheOneBeforePlaysOn) {
  std::vector<PlayerManager::Refusal> told;
  player->refusal->bind([&](const PlayerManager::Refusal& r) { told.push_back(r); });
  openVideo(media->h264);
  player->play();
  settle();
  openVideo(media->audioOnly);
  ASSERT_FALSE(told.empty());
  EXPECT_EQ(told.back(), (PlayerManager::Refusal{"audio-only.mp4", "the file has no video stream",
                                                 media->audioOnly}));
  EXPECT_EQ(player->fileName(), "clip.mp4");
  EXPECT_EQ(player->status->value(), PlayerStatus::playing);
  forget();
  tick(0ms);
  tick(100ms);
  EXPECT_FALSE(delivered().empty()) << "the clip before plays on";
  // A file that plays takes the word back.
  openVideo(media->mjpeg);
  EXPECT_EQ(told.back(), PlayerManager::Refusal{});
}

// ---- time stamps that jump

namespace {

// Two recordings cut together into one MPEG-TS stream: ten frames (markers 0-9) stamped from
// `first` seconds on, then eight (markers 10-17) from `second` seconds on.
std::string cutTogether(const std::string& name, double first, double second) {
  QImage photo = testmedia::photo("sample1.jpg");
  std::string a = media->dir.file(name + ".a.ts"), b = media->dir.file(name + ".b.ts");
  std::string error;
  EXPECT_TRUE(testmedia::writeVideo(
      {.path = a, .frames = 10, .stampOffset = first},
      [&](int i) { return testmedia::markedFrame(photo, 320, 240, i); }, error))
      << error;
  EXPECT_TRUE(testmedia::writeVideo(
      {.path = b, .frames = 8, .stampOffset = second},
      [&](int i) { return testmedia::markedFrame(photo, 320, 240, 10 + i); }, error))
      << error;
  std::string whole = media->dir.file(name + ".ts");
  EXPECT_TRUE(testmedia::concatenate({a, b}, whole));
  return whole;
}

}  // namespace

TEST_F(PlayerManagerTest, AJumpInTheTimeStampsPlaysOnFromTheFrameThatJumped) {
  struct Case {
    const char* name;
    double first, second;
    const char* told;  // how the jump is told, after the file's name
  } cases[] = {
      // Read by the demuxer as a counter that wrapped: told as the jump back it is.
      {"back-far", 112, 10, "jump back 102.900 s, from 0.900 s to -102.000 s"},
      {"back-near", 30, 13, "jump back 17.900 s, from 0.900 s to -17.000 s"},
      {"forward", 10, 200, "jump ahead 189.100 s, from 0.900 s to 190.000 s"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string clip = cutTogether(c.name, c.first, c.second);
    size_t logged = logText().size();
    openVideo(clip);
    ASSERT_TRUE(player->hasValidAsset());
    // Its length is the time its frames play: ten and eight frames of a tenth of a second.
    EXPECT_NEAR(player->duration(), 1.8, 0.001);
    playFor(16);
    // Every frame once, in order, at the clip's rate: none skipped, no wait at the jump.
    std::vector<int> want;
    for (int i = 0; i <= 17; ++i) want.push_back(i);
    EXPECT_EQ(delivered(), want);
    // Round the loop once more: the jump is told once.
    for (int i = 0; i < 20; ++i) tick(100ms);
    EXPECT_GE(delivered().size(), 30u);
    std::string lines = logText().substr(logged);
    const std::string told = "the time stamps of " + std::string(c.name) + ".ts " + c.told;
    EXPECT_NE(lines.find(told), std::string::npos) << lines;
    EXPECT_EQ(lines.find(told), lines.rfind(told)) << lines;
    player->pause();
    settle();
    forget();
  }
}

// A clip whose second part runs many frames to one of its first part's: the pacing keeps the
// clip's clock through the fast part, passing over the frames that fall between two ticks.
TEST_F(PlayerManagerTest, AVariableRateClipKeepsItsClockThroughItsFastPart) {
  QImage photo = testmedia::photo("sample1.jpg");
  std::string slow = media->dir.file("vfr.a.ts"), fast = media->dir.file("vfr.b.ts");
  std::string error;
  // One second at 10 frames a second, then 0.4 s at 250.
  ASSERT_TRUE(testmedia::writeVideo(
      {.path = slow, .frames = 10, .gop = 10},
      [&](int i) { return testmedia::markedFrame(photo, 320, 240, i); }, error))
      << error;
  ASSERT_TRUE(testmedia::writeVideo(
      {.path = fast, .fps = 250, .frames = 100, .gop = 250, .stampOffset = 1.0},
      [&](int i) { return testmedia::markedFrame(photo, 320, 240, 10 + i / 25); }, error))
      << error;
  std::string clip = media->dir.file("vfr.ts");
  ASSERT_TRUE(testmedia::concatenate({slow, fast}, clip));
  openVideo(clip);
  ASSERT_TRUE(player->hasValidAsset());
  player->play();
  settle();
  tick(0ms);
  std::vector<double> times, rates;
  for (int i = 0; i < 13; ++i) {
    tick(100ms);
    times.push_back(player->currentTime->value());
    rates.push_back(player->clipRate());
  }
  // The play went on from the first frame, shown when the clip opened: at each tick the frame
  // due then, up to the last one at 1.396 s, never one ahead of its time (within one fast frame,
  // 4 ms). The display link's tick runs on the player's own thread, so on a loaded machine one
  // may read the clock before the step's end: the frame shown then is at most one tick behind,
  // and the next tick catches up. A play that kept to the slow half's pace in the fast half would
  // fall further behind with every tick.
  for (int i = 0; i < 13; ++i) {
    SCOPED_TRACE(i);
    const double due = std::min(0.1 * (i + 2), 1.396);
    EXPECT_LE(times[size_t(i)], due + 0.0045);
    EXPECT_GE(times[size_t(i)], due - 0.1045);
  }
  // The rate told is the clip's own where it plays.
  EXPECT_NEAR(rates[4], 10, 0.01);
  EXPECT_NEAR(rates[11], 250, 1);
}
