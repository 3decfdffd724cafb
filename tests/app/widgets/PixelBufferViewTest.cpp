#include <gtest/gtest.h>

#include <future>

#include "dispatch/MainQueue.h"
#include "util/Converter.h"
#include "widgets/PixelBufferView.h"

using corvane::PixelBufferView;
using platform::MainQueue;
using platform::PixelBuffer;
using platform::PixelBufferRef;
using platform::PixelFormat;

namespace {

// An NV12 frame of one colour.
PixelBufferRef frameOf(QColor color, int width = 64, int height = 48) {
  PixelBufferRef frame = PixelBuffer::create(width, height, PixelFormat::NV12FullRange);
  QImage picture(width, height, QImage::Format_RGB32);
  picture.fill(color);
  corvane::Converter::pixelBuffer(*frame, picture);
  return frame;
}

QColor centre(const QImage& image) {
  return image.pixelColor(image.width() / 2, image.height() / 2);
}

bool near(QColor a, QColor b) {
  return std::abs(a.red() - b.red()) <= 3 && std::abs(a.green() - b.green()) <= 3 &&
         std::abs(a.blue() - b.blue()) <= 3;
}

}  // namespace

class PixelBufferViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    view.resize(64, 48);
    view.show();
  }
  void settle() {
    view.convertQueue().drain();
    MainQueue::shared().drain();
  }
  PixelBufferView view;
};

TEST_F(PixelBufferViewTest, DrawsTheFrameFittedIntoTheView) {
  view.receiver()(frameOf(Qt::red));
  settle();
  EXPECT_EQ(view.shownCount(), 1u);
  EXPECT_EQ(view.image().size(), QSize(64, 48));
  EXPECT_TRUE(near(centre(view.image()), Qt::red));
  EXPECT_TRUE(near(centre(view.grab().toImage()), Qt::red));
}

TEST_F(PixelBufferViewTest, OnlyTheNewestOfTheFramesWaitingIsConverted) {
  // Hold the conversion queue while three frames arrive.
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  view.convertQueue().async([released] { released.wait(); });
  auto receive = view.receiver();
  receive(frameOf(Qt::red));
  receive(frameOf(Qt::green));
  receive(frameOf(Qt::blue));
  release.set_value();
  settle();
  // The conversion queued behind the hold finds only the newest frame waiting.
  EXPECT_EQ(view.shownCount(), 1u);
  EXPECT_TRUE(near(centre(view.image()), Qt::blue));
}

TEST_F(PixelBufferViewTest, ALargeFrameIsConvertedAtTheSizeShown) {
  view.receiver()(frameOf(Qt::white, 640, 480));
  settle();
  EXPECT_EQ(view.image().size(), QSize(64, 48));
  EXPECT_DOUBLE_EQ(PixelBufferView::fitScale({3840, 1080}, {960, 540}), 0.25);
  EXPECT_DOUBLE_EQ(PixelBufferView::fitScale({320, 240}, {640, 480}), 1.0);  // never enlarged
  EXPECT_DOUBLE_EQ(PixelBufferView::fitScale({320, 240}, {}), 1.0);
}

TEST_F(PixelBufferViewTest, AHiddenViewKeepsTheNewestFrameForWhenItShows) {
  view.hide();
  view.receiver()(frameOf(Qt::red));
  view.receiver()(frameOf(Qt::green));
  settle();
  EXPECT_EQ(view.shownCount(), 0u);
  view.show();
  settle();
  EXPECT_EQ(view.shownCount(), 1u);
  EXPECT_TRUE(near(centre(view.image()), Qt::green));
}

TEST_F(PixelBufferViewTest, AReceiverOutlivingItsViewDropsFrames) {
  PixelBufferView::Receiver receive;
  {
    PixelBufferView shortLived;
    shortLived.show();
    receive = shortLived.receiver();
    receive(frameOf(Qt::red));
  }
  receive(frameOf(Qt::red));
  MainQueue::shared().drain();
  SUCCEED();
}
