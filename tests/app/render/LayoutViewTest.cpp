// Composition of known ROI pairs over a real panorama.
#include <gtest/gtest.h>

#include <fstream>
#include <opencv2/imgproc.hpp>
#include <thread>

#include "ManualClock.h"
#include "RenderTestImages.h"
#include "dispatch/MainQueue.h"
#include "dispatch/SerialQueue.h"
#include "log/LogManager.h"
#include "render/LayoutView.h"

using namespace corvane;

namespace {

cv::Mat matOf(const QImage& image) {
  return cv::Mat(image.height(), image.width(), CV_8UC4, const_cast<uchar*>(image.constBits()),
                 size_t(image.bytesPerLine()));
}

QImage imageOf(const cv::Mat& mat) {
  QImage image(mat.data, mat.cols, mat.rows, qsizetype(mat.step), QImage::Format_ARGB32);
  return image.copy();
}

// The reference tile: the crop scaled with OpenCV's bilinear resize.
QImage referenceTile(const QImage& source, QRect crop, QSize size) {
  cv::Mat out;
  cv::resize(matOf(source)(cv::Rect(crop.x(), crop.y(), crop.width(), crop.height())), out,
             cv::Size(size.width(), size.height()), 0, 0, cv::INTER_LINEAR);
  return imageOf(out);
}

LayoutRoiPair pair(QRectF src, QRectF dst, std::vector<int64_t> edges = {0, 0, 0, 0}) {
  LayoutRoiPair p;
  p.src_rect = {src.x(), src.y(), src.width(), src.height(), 1};
  p.dst_rect = {dst.x(), dst.y(), dst.width(), dst.height(), 1};
  p.type = 1;
  p.edge_config = std::move(edges);
  return p;
}

// The inside of a tile, away from its edges, where the crop's own border rules do not matter.
QImage inner(const QImage& image, QRect rect, int margin = 4) {
  return image.copy(rect.adjusted(margin, margin, -margin, -margin));
}

class LayoutViewTest : public ::testing::Test {
 protected:
  LayoutViewTest() : context(4) {
    panorama = rendertest::makePanorama(3840, 1080);
    manager.exchangeEffectTexture(rendertest::toTexture(panorama));
    view = std::make_unique<LayoutView>(nullptr, manager, context);
    LayoutView::Environment environment;
    environment.speakColor = QColor(255, 0, 0);
    view->setEnvironment(environment);
  }
  QImage output() {
    auto buffer = view->mode == LayoutMode::navigator ? manager.vxdPixelBuffer()
                                                      : manager.controlPixelBuffer();
    return buffer ? rendertest::toImage(*buffer) : QImage();
  }

  MetalContext context;
  MetalManager manager;
  QImage panorama;
  std::unique_ptr<LayoutView> view;
};

}  // namespace

TEST_F(LayoutViewTest, TilesMatchTheReferenceCropAndScale) {
  const QRect crops[] = {
      {0, 0, 1920, 1080}, {1000, 200, 800, 450}, {2000, 300, 1280, 720}, {3000, 100, 640, 360}};
  const QRect tiles[] = {
      {0, 0, 640, 360}, {640, 0, 640, 360}, {0, 360, 640, 360}, {640, 360, 640, 360}};
  for (int i = 0; i < 4; ++i) view->roiPairList.push_back(pair(crops[i], tiles[i]));
  view->updateEffectFrame();
  QImage out = output();
  ASSERT_EQ(out.size(), QSize(1280, 720));
  EXPECT_FALSE(view->isVisible());  // composed without being shown
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    QImage expected = referenceTile(panorama, crops[i], tiles[i].size());
    auto d = rendertest::compare(inner(out, tiles[i]),
                                 inner(expected, QRect(QPoint(0, 0), tiles[i].size())));
    EXPECT_LE(d.max, 4);
    EXPECT_LT(d.mean, 0.6);
  }
}

TEST_F(LayoutViewTest, EdgesAreDrawnInTheSpeakerColour) {
  // edge_config [1, 0, 0, 2]: top and right only.
  view->roiPairList.push_back(pair({1000, 200, 800, 450}, {100, 100, 400, 300}, {1, 0, 0, 2}));
  view->updateEffectFrame();
  QImage out = output();
  const QRgb red = qRgb(255, 0, 0);
  for (int y = 100; y < 103; ++y) EXPECT_EQ(out.pixel(300, y), red) << y;
  EXPECT_NE(out.pixel(300, 103), red);
  for (int x = 497; x < 500; ++x) EXPECT_EQ(out.pixel(x, 250), red) << x;
  EXPECT_NE(out.pixel(496, 250), red);
  EXPECT_NE(out.pixel(100, 250), red);          // no left edge
  EXPECT_NE(out.pixel(300, 399), red);          // no bottom edge
  EXPECT_EQ(out.pixel(99, 99), qRgb(0, 0, 0));  // outside every tile
  EXPECT_EQ(view->dstList[0].edge_top, true);
  EXPECT_EQ(view->dstList[0].edge_right, true);
  EXPECT_FALSE(view->dstList[0].edge_bottom || view->dstList[0].edge_left);
}

TEST_F(LayoutViewTest, ACropAcrossTheSeamContinuesSeamlessly) {
  // Columns 3600..3839 then 0..239 of the panorama, doubled.
  view->roiPairList.push_back(pair({3600, 300, 480, 270}, {0, 0, 960, 540}));
  view->updateEffectFrame();
  QImage rolled(3840, 1080, QImage::Format_ARGB32);
  cv::Mat r = matOf(rolled), p = matOf(panorama);
  p(cv::Rect(3600, 0, 240, 1080)).copyTo(r(cv::Rect(0, 0, 240, 1080)));
  p(cv::Rect(0, 0, 3600, 1080)).copyTo(r(cv::Rect(240, 0, 3600, 1080)));
  QImage expected = referenceTile(rolled, {0, 300, 480, 270}, {960, 540});
  QImage out = output();
  auto d = rendertest::compare(inner(out, {0, 0, 960, 540}), inner(expected, {0, 0, 960, 540}));
  EXPECT_LE(d.max, 4);
  EXPECT_LT(d.mean, 0.6);
  // Around the seam itself (output columns 470..490) nothing jumps.
  auto seam = rendertest::compare(out.copy(470, 10, 20, 500), expected.copy(470, 10, 20, 500));
  EXPECT_LE(seam.max, 4);
}

TEST_F(LayoutViewTest, PairsPastTwentyAreIgnored) {
  for (int i = 0; i < 25; ++i)
    view->roiPairList.push_back(pair({double(i * 150), 400, 150, 150},
                                     {double(i % 5) * 256, double(i / 5) * 144, 256, 144}));
  view->updateEffectFrame();
  QImage out = output();
  EXPECT_EQ(view->dstList.size(), 20u);
  for (int i = 0; i < 25; ++i) {
    QRect tile(i % 5 * 256, i / 5 * 144, 256, 144);
    QImage expected = referenceTile(panorama, {i * 150, 400, 150, 150}, tile.size());
    QImage drawn = inner(out, tile, 8);
    if (i < 20) {
      EXPECT_LT(rendertest::compare(drawn, inner(expected, {0, 0, 256, 144}, 8)).mean, 1.0) << i;
    } else {
      QImage black(drawn.size(), QImage::Format_ARGB32);
      black.fill(Qt::black);
      EXPECT_EQ(rendertest::compare(drawn, black).max, 0) << i;
    }
  }
}

TEST_F(LayoutViewTest, AnEmptyListLeavesThePreviousPicture) {
  view->roiPairList.push_back(pair({0, 0, 1920, 1080}, {0, 0, 1280, 720}));
  view->updateEffectFrame();
  auto first = manager.vxdPixelBuffer();
  ASSERT_TRUE(first);
  view->roiPairList.clear();
  view->updateEffectFrame();
  EXPECT_EQ(manager.vxdPixelBuffer(), first);
}

TEST_F(LayoutViewTest, NoEffectTextureDrawsNothing) {
  MetalManager empty;
  LayoutView other(nullptr, empty, context);
  other.roiPairList.push_back(pair({0, 0, 100, 100}, {0, 0, 100, 100}));
  other.updateEffectFrame();
  EXPECT_FALSE(empty.vxdPixelBuffer());
  EXPECT_EQ(other.src_width, 0);
}

TEST_F(LayoutViewTest, ControlViewSizeAndBorderedPairs) {
  view->mode = LayoutMode::control;
  auto plain = pair({0, 0, 3840, 1080}, {0, 0, 1280, 360});
  auto bordered = pair({1000, 200, 800, 450}, {100, 50, 400, 225});
  bordered.has_border = true;
  view->roiPairList = {plain, bordered};
  view->updateEffectFrame();
  EXPECT_EQ(manager.controlSize(), QSizeF(1280, 360));
  QImage out = output();
  ASSERT_EQ(out.size(), QSize(1280, 360));
  // The bordered pair is an empty slot: the panorama shows through where it would be.
  QImage expected = referenceTile(panorama, {0, 0, 3840, 1080}, {1280, 360});
  EXPECT_LT(
      rendertest::compare(inner(out, {100, 50, 400, 225}), inner(expected, {100, 50, 400, 225}))
          .mean,
      0.6);
  EXPECT_EQ(view->dstList[1].width, 0.0f);
  EXPECT_FALSE(manager.vxdPixelBuffer());
  // 3840 x 1090: 363.33 gives 363, odd, so 364.
  manager.exchangeEffectTexture(
      compute::Texture::create(3840, 1090, compute::TextureFormat::BGRA8Unorm));
  view->updateEffectFrame();
  EXPECT_EQ(manager.controlSize(), QSizeF(1280, 364));
}

TEST_F(LayoutViewTest, ThumbnailTileShowsTheCentredCropOfThePlaceholder) {
  auto thumb = pair({0, 0, 0, 0}, {0, 0, 320, 180});
  thumb.isThumbnail = true;
  view->roiPairList = {thumb};
  view->updateEffectFrame();
  EXPECT_FLOAT_EQ(view->srcList[0].x, 960);
  EXPECT_FLOAT_EQ(view->srcList[0].y, 0);
  EXPECT_FLOAT_EQ(view->srcList[0].width, 1920);
  EXPECT_FLOAT_EQ(view->srcList[0].height, 1080);
  EXPECT_TRUE(view->srcList[0].isThumbnail && view->dstList[0].isThumbnail);
  if (view->thumbnail.isNull()) GTEST_SKIP() << "resources not built";
  // The same kind of crop of the placeholder picture: full height, centred, the tile's aspect.
  QImage placeholder = view->thumbnail.convertToFormat(QImage::Format_ARGB32);
  auto expectCrop = [&](QRect tile) {
    int h = placeholder.height(), w = tile.width() * h / tile.height();
    QImage expected =
        referenceTile(placeholder, {(placeholder.width() - w) / 2, 0, w, h}, tile.size());
    auto d =
        rendertest::compare(inner(output(), tile), inner(expected, QRect({0, 0}, tile.size())));
    EXPECT_LT(d.mean, 1.0) << tile.width();
  };
  expectCrop({0, 0, 320, 180});
  // A narrower tile shows the middle of the placeholder, undistorted.
  thumb.dst_rect = {400, 0, 90, 180, 0};
  view->roiPairList = {thumb};
  view->updateEffectFrame();
  expectCrop({400, 0, 90, 180});
}

TEST_F(LayoutViewTest, RemapTablesAreReusedWhileATileStaysPut) {
  view->roiPairList = {pair({0, 0, 1920, 1080}, {0, 0, 640, 360}),
                       pair({2000, 0, 1920, 1080}, {640, 0, 640, 360})};
  view->updateEffectFrame();
  EXPECT_EQ(view->lastRemapRebuilds(), 20u);  // first frame: every slot
  view->updateEffectFrame();
  EXPECT_EQ(view->lastRemapRebuilds(), 0u);
  view->roiPairList[1].src_rect.x = 2010;
  view->updateEffectFrame();
  EXPECT_EQ(view->lastRemapRebuilds(), 1u);
}

TEST_F(LayoutViewTest, PerspectiveTileLooksAtItsSourceRectangle) {
  LayoutView::Environment environment = view->environment();
  environment.enablePerspectiveProjection = true;
  environment.camera.projection = {ProjectionType::eqt, 360, 180, 360, 100, 3840, 1080};
  environment.camera.verticalFov = VerticalFovMode::mid;
  view->setEnvironment(environment);
  auto focus = pair({1500, 400, 480, 270}, {0, 0, 1280, 720});
  focus.type = 11;
  view->roiPairList = {focus};
  view->updateEffectFrame();
  EXPECT_TRUE(view->dstList[0].project.activate);
  EXPECT_FALSE(view->srcList[0].project.activate);
  // Around its centre a perspective view is the crop itself, to within the lens's stretch.
  QImage out = output();
  QImage expected = referenceTile(panorama, {1500, 400, 480, 270}, {1280, 720});
  auto d = rendertest::compare(out.copy(600, 320, 80, 80), expected.copy(600, 320, 80, 80));
  EXPECT_LT(d.mean, 6.0);
  EXPECT_EQ(view->lastRemapRebuilds(), 20u);
  view->updateEffectFrame();
  EXPECT_EQ(view->lastRemapRebuilds(), 0u);
  // The control view never projects.
  view->mode = LayoutMode::control;
  view->updateEffectFrame();
  EXPECT_FALSE(view->dstList[0].project.activate);
}

TEST_F(LayoutViewTest, NavigatorTilesCarryTheEffect) {
  view->roiPairList = {pair({0, 0, 1920, 1080}, {0, 0, 640, 360})};
  view->updateEffectFrame();
  EXPECT_FLOAT_EQ(view->dstList[0].effect.ratio, 0.25f);
  EXPECT_FALSE(view->dstList[0].effect.enable);
  EXPECT_FLOAT_EQ(view->srcList[0].effect.ratio, 1.0f);
  EXPECT_EQ(view->dstList[0].tag_width, 300.0f);
}

TEST_F(LayoutViewTest, ABusyReadBackGivesNoPictureForThatFrame) {
  view->roiPairList = {pair({0, 0, 1920, 1080}, {0, 0, 640, 360})};
  view->updateEffectFrame();
  ASSERT_TRUE(manager.vxdPixelBuffer());
  manager.isBusy = true;
  view->updateEffectFrame();
  EXPECT_FALSE(manager.vxdPixelBuffer());
  EXPECT_FALSE(manager.isBusy.load());
  view->updateEffectFrame();
  EXPECT_TRUE(manager.vxdPixelBuffer());
}

// Busy frames, and pictures that cannot be drawn, come with every frame: the day log (and the
// system log, which gets warnings) hears of them a few times, not once a frame.
TEST_F(LayoutViewTest, LinesWrittenWithEveryFrameAreRateLimited) {
  testsupport::ManualClock clock;
  testsupport::ScopedClock scoped{clock};
  auto count = [](const std::string& text) {
    std::ifstream file(LogManager::shared().logFilePath());
    size_t n = 0;
    for (std::string line; std::getline(file, line);)
      n += line.find("[Warning]") != std::string::npos && line.find(text) != std::string::npos;
    return n;
  };
  view->roiPairList = {pair({0, 0, 1920, 1080}, {0, 0, 640, 360})};
  size_t busyBefore = count("#### MetalManager isBusy");
  for (int i = 0; i < 50; ++i) {
    manager.isBusy = true;
    view->updateEffectFrame();
  }
  EXPECT_GE(count("#### MetalManager isBusy") - busyBefore, 1u);
  EXPECT_LE(count("#### MetalManager isBusy") - busyBefore, LogManager::kFrameLineBurst);

  // A panorama whose preview would be 320000 high cannot be composed, frame after frame.
  LayoutView control(nullptr, manager, context);
  control.mode = LayoutMode::control;
  control.roiPairList = view->roiPairList;
  manager.exchangeEffectTexture(rendertest::toTexture(rendertest::makePanorama(16, 4000)));
  size_t drawBefore = count("LayoutView draw: return due to currentDrawable");
  for (int i = 0; i < 50; ++i) control.updateEffectFrame();
  EXPECT_GE(count("LayoutView draw: return due to currentDrawable") - drawBefore, 1u);
  EXPECT_LE(count("LayoutView draw: return due to currentDrawable") - drawBefore,
            LogManager::kFrameLineBurst);
}

TEST_F(LayoutViewTest, APictureHeldByAReaderIsNeverDrawnOver) {
  view->roiPairList = {pair({0, 0, 1920, 1080}, {0, 0, 1280, 720})};
  view->updateEffectFrame();
  auto held = manager.vxdPixelBuffer();
  QImage before = rendertest::toImage(*held);
  view->roiPairList = {pair({1920, 0, 1920, 1080}, {0, 0, 1280, 720})};
  for (int i = 0; i < 3; ++i) view->updateEffectFrame();
  EXPECT_EQ(rendertest::toImage(*held), before);
  EXPECT_NE(manager.vxdPixelBuffer(), held);
}

TEST_F(LayoutViewTest, TheWidgetShowsTheComposedPicture) {
  view->roiPairList = {pair({0, 0, 1920, 1080}, {0, 0, 1280, 720})};
  view->resize(640, 360);
  view->show();
  view->updateEffectFrame();
  QImage shown = view->grab().toImage().convertToFormat(QImage::Format_ARGB32);
  QImage expected = output().scaled(shown.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  EXPECT_LT(rendertest::compare(shown, expected).mean, 8.0);
}

TEST(LayoutViewEnvironment, TakesTheConfiguredColourPerspectiveAndFields) {
  ConfigManager config(ConfigManager::Environment{});
  config.speakColor = QColor(10, 20, 30);
  config.enablePerspectiveProjection = false;
  config.fov1Value = 61;
  config.fov2Value = 82;
  config.fov3Value = 103;
  LayoutView::Environment base;
  base.wrapSource = false;
  auto environment = base.withConfiguration(config);
  EXPECT_EQ(environment.speakColor, QColor(10, 20, 30));
  EXPECT_FALSE(environment.enablePerspectiveProjection);
  EXPECT_EQ(environment.camera.fov1Value, 61);
  EXPECT_EQ(environment.camera.fov3Value, 103);
  EXPECT_FALSE(environment.wrapSource);  // not the configuration's
  // No configured colour: the one before stays.
  config.speakColor.reset();
  EXPECT_EQ(base.withConfiguration(config).speakColor, base.speakColor);
}

// The window's way: the work on the render queue, the picture back on the main thread with the
// pairs it was composed from.
TEST_F(LayoutViewTest, ComposedOnTheRenderQueueAndPresentedOnTheMainThread) {
  std::vector<LayoutRoiPair> pairs = {pair({1000, 200, 800, 450}, {0, 0, 1280, 720})};
  view->setRoiPairs(pairs);
  std::vector<std::thread::id> composedOn;
  std::vector<size_t> pairsWhenComposed;
  QObject::connect(view.get(), &LayoutView::composed, [&](const auto& picture, const auto& source) {
    EXPECT_TRUE(picture);
    EXPECT_TRUE(source);
    composedOn.push_back(std::this_thread::get_id());
    pairsWhenComposed.push_back(view->roiPairList.size());
  });
  platform::PixelBufferRef sent;
  std::thread::id sentOn;
  view->composeAsync({}, [&](const platform::PixelBufferRef& picture) {
    sent = picture;
    sentOn = std::this_thread::get_id();
  });
  // Pairs set after the hand-over wait for the next composition.
  view->setRoiPairs({});
  context.renderQueue->drain();
  EXPECT_FALSE(manager.vxdPixelBuffer());  // nothing is stored off the main thread
  platform::MainQueue::shared().drain();
  ASSERT_TRUE(sent);
  EXPECT_EQ(sent, manager.vxdPixelBuffer());
  EXPECT_EQ(sent, view->composedPixelBuffer());
  EXPECT_EQ(sentOn, std::this_thread::get_id());
  EXPECT_EQ(composedOn, std::vector<std::thread::id>{std::this_thread::get_id()});
  // Announced with the pairs it was composed from.
  EXPECT_EQ(pairsWhenComposed, std::vector<size_t>{1});
  auto d = rendertest::compare(
      inner(output(), {0, 0, 1280, 720}),
      inner(referenceTile(panorama, {1000, 200, 800, 450}, {1280, 720}), {0, 0, 1280, 720}));
  EXPECT_LT(d.mean, 0.6);
}

TEST_F(LayoutViewTest, APreviewFollowingFramesComposesAfterEveryEffectPass) {
  view->mode = LayoutMode::control;
  view->setRoiPairs({pair({0, 0, 3840, 1080}, {0, 0, 1280, 360})});
  view->followFrames();
  auto frame = platform::PixelBuffer::create(64, 32, platform::PixelFormat::NV12FullRange);
  int presented = 0;
  QObject::connect(view.get(), &LayoutView::composed, [&] { ++presented; });
  for (int i = 0; i < 3; ++i) {
    context.renderQueue->async([&] { manager.notifyFrame(frame); });
    context.renderQueue->drain();
    platform::MainQueue::shared().drain();
  }
  EXPECT_EQ(presented, 3);
  ASSERT_TRUE(manager.controlPixelBuffer());
  EXPECT_EQ(manager.controlPixelBuffer()->width(), 1280);
  // Gone: no more compositions, none of its work left behind.
  view.reset();
  EXPECT_EQ(manager.sbuDic().size(), 0u);
  manager.notifyFrame(frame);
  context.renderQueue->drain();
  platform::MainQueue::shared().drain();
}

// A main thread that does not come round (a quit waiting for the render queue) is handed the
// newest picture only: each waiting picture would hold its drawable, and every pass after it
// would take a new picture-sized buffer.
TEST_F(LayoutViewTest, PicturesComposedWhileTheMainThreadIsAwayReplaceTheOneWaiting) {
  view->mode = LayoutMode::control;
  view->setRoiPairs({pair({0, 0, 3840, 1080}, {0, 0, 1280, 360})});
  view->followFrames();
  std::vector<platform::PixelBufferRef> presented;
  QObject::connect(view.get(), &LayoutView::composed,
                   [&](const auto& picture, const auto&) { presented.push_back(picture); });
  size_t mostWaiting = 0;
  for (int i = 0; i < 20; ++i) {
    auto frame = platform::PixelBuffer::create(64, 32, platform::PixelFormat::NV12FullRange);
    context.renderQueue->async([&, frame] { manager.notifyFrame(frame); });
    context.renderQueue->drain();
    mostWaiting = std::max(mostWaiting, platform::MainQueue::shared().pendingCount());
  }
  platform::MainQueue::shared().drain();
  EXPECT_LE(mostWaiting, 1u);
  ASSERT_EQ(presented.size(), 1u);
  EXPECT_EQ(presented[0], manager.controlPixelBuffer());
}

TEST_F(LayoutViewTest, AViewGoingWhileItsCompositionWaitsIsNotTouched) {
  view->setRoiPairs({pair({0, 0, 1920, 1080}, {0, 0, 1280, 720})});
  view->composeAsync();
  view.reset();  // waits for the queue: the composition runs first, its picture is not shown
  platform::MainQueue::shared().drain();
  EXPECT_TRUE(manager.vxdPixelBuffer() == nullptr);
}

// A source that is gone: the picture held goes, the widget paints dark, and pictures composed
// meanwhile (one already on its way to the main thread among them) are neither shown nor
// handed on, until pictures are shown again.
TEST_F(LayoutViewTest, PicturesNotShownLeaveTheWidgetDarkAndAreNotHandedOn) {
  for (LayoutMode mode : {LayoutMode::navigator, LayoutMode::control}) {
    SCOPED_TRACE(int(mode));
    view->mode = mode;
    view->setRoiPairs({pair({0, 0, 1920, 1080}, {0, 0, 1280, 720})});
    view->resize(320, 180);
    view->show();
    view->updateEffectFrame();
    ASSERT_TRUE(view->composedPixelBuffer());
    ASSERT_FALSE(output().isNull());
    int presented = 0, handedOn = 0;
    auto counter = QObject::connect(view.get(), &LayoutView::composed, [&] { ++presented; });
    view->composeAsync({}, [&](const platform::PixelBufferRef&) { ++handedOn; });
    context.renderQueue->drain();  // composed, on its way to the main thread
    view->setShowsPictures(false);
    EXPECT_FALSE(view->showsPictures());
    EXPECT_FALSE(view->composedPixelBuffer());
    EXPECT_TRUE(output().isNull());
    platform::MainQueue::shared().drain();
    view->updateEffectFrame();
    EXPECT_EQ(presented, 0);
    EXPECT_EQ(handedOn, 0);
    EXPECT_FALSE(view->composedPixelBuffer());
    EXPECT_TRUE(output().isNull());
    QImage shown = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < shown.height(); y += 17)
      for (int x = 0; x < shown.width(); x += 17)
        ASSERT_EQ(shown.pixel(x, y), qRgb(0, 0, 0)) << x << "," << y;
    // Shown again: the next composition is the picture.
    view->setShowsPictures(true);
    view->composeAsync({}, [&](const platform::PixelBufferRef&) { ++handedOn; });
    context.renderQueue->drain();
    platform::MainQueue::shared().drain();
    EXPECT_EQ(presented, 1);
    EXPECT_EQ(handedOn, 1);
    EXPECT_TRUE(view->composedPixelBuffer());
    EXPECT_FALSE(output().isNull());
    QObject::disconnect(counter);
  }
}

// The preview is composed at the size its widget shows, never larger than the control size,
// and at the control size while it is not shown; on the render queue as on the caller's
// thread. What it shows stays the picture the full-size composition showed scaled down.
TEST_F(LayoutViewTest, APreviewIsComposedAtTheSizeItIsShown) {
  const auto whole = pair({0, 0, 3840, 1080}, {0, 0, 1280, 360});
  view->mode = LayoutMode::control;
  view->roiPairList = {whole};
  view->updateEffectFrame();
  const QImage full = output();
  ASSERT_EQ(full.size(), QSize(1280, 360));
  struct Case {
    QSize widget;
    bool shown;
    QSize expected;
  };
  for (const Case& c :
       {Case{{640, 180}, true, {640, 180}}, Case{{963, 271}, true, {963, 271}},
        Case{{1600, 450}, true, {1280, 360}}, Case{{640, 180}, false, {1280, 360}}}) {
    SCOPED_TRACE(testing::Message()
                 << c.widget.width() << "x" << c.widget.height() << " shown " << c.shown);
    view->resize(c.widget);
    view->setVisible(c.shown);
    view->updateEffectFrame();
    QImage out = output();
    ASSERT_EQ(out.size(), c.expected);
    QImage expected = full.scaled(out.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    auto d = rendertest::compare(out, expected);
    EXPECT_LT(d.mean, 3.0);
    // The render queue's compositions take the size the widget has now.
    view->setRoiPairs({whole});
    view->composeAsync();
    context.renderQueue->drain();
    platform::MainQueue::shared().drain();
    ASSERT_TRUE(manager.controlPixelBuffer());
    EXPECT_EQ(manager.controlPixelBuffer()->width(), c.expected.width());
    EXPECT_EQ(manager.controlPixelBuffer()->height(), c.expected.height());
  }
  // Resized while shown: the next composition on the render queue follows.
  view->resize(480, 135);
  view->show();
  view->composeAsync();
  context.renderQueue->drain();
  platform::MainQueue::shared().drain();
  EXPECT_EQ(manager.controlPixelBuffer()->width(), 480);
}
