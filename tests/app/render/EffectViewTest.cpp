// The effect pass on real and synthetic frames.
#include <gtest/gtest.h>

#include <QTransform>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <thread>

#include "ManualClock.h"
#include "RenderTestImages.h"
#include "log/LogManager.h"
#include "render/EffectView.h"

using namespace corvane;
using platform::PixelBuffer;
using platform::PixelBufferRef;
using platform::PixelFormat;

namespace {

PixelBufferRef uniformFrame(int w, int h, uint8_t y, uint8_t u = 128, uint8_t v = 128) {
  auto frame = PixelBuffer::create(w, h, PixelFormat::NV12FullRange);
  for (int r = 0; r < h; ++r) std::memset(frame->baseAddress(0) + r * frame->bytesPerRow(0), y, w);
  for (int r = 0; r < h / 2; ++r) {
    uint8_t* row = frame->baseAddress(1) + r * frame->bytesPerRow(1);
    for (int c = 0; c < w / 2; ++c) {
      row[2 * c] = u;
      row[2 * c + 1] = v;
    }
  }
  return frame;
}

QImage textureImage(const compute::Texture& t) {
  QImage image(t.width(), t.height(), QImage::Format_ARGB32);
  for (int y = 0; y < t.height(); ++y)
    std::memcpy(image.scanLine(y), t.row(y), size_t(t.width()) * 4);
  return image;
}

double meanGreen(const QImage& image) {
  double sum = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) sum += qGreen(image.pixel(x, y));
  return sum / (double(image.width()) * image.height());
}

class EffectViewTest : public ::testing::Test {
 protected:
  EffectViewTest() : context(4), view({}, manager, context) {}
  QImage effectImage() {
    auto t = manager.effectTexture();
    return t ? textureImage(*t) : QImage();
  }

  MetalContext context;
  MetalManager manager;
  EffectView view;
};

struct CountingDelegate : MetalViewDelegate {
  int calls = 0;
  PixelBufferRef last;
  void metalViewDidOutput(const PixelBufferRef& buffer) override {
    ++calls;
    last = buffer;
  }
};

}  // namespace

TEST_F(EffectViewTest, NoFrameDoesNothing) {
  ASSERT_TRUE(view.hasPipeline());
  for (auto& [name, callback] : manager.sbuDic()) callback();
  EXPECT_FALSE(manager.effectTexture());
  EXPECT_FALSE(view.effectsPixelBuffer());
}

TEST_F(EffectViewTest, NeutralPassIsTheFullRangeConversionOfARealFrame) {
  QImage photo = rendertest::loadPhoto("sample1.jpg");
  auto frame = rendertest::toNV12(photo);
  if (!frame) GTEST_SKIP() << "no test photo: run scripts/setup";
  CountingDelegate delegate;
  view.outputDelegate = &delegate;
  manager.notifyFrame(frame);
  auto difference = rendertest::compare(effectImage(), rendertest::fromNV12(*frame));
  EXPECT_LE(difference.max, 3);
  EXPECT_LT(difference.mean, 0.7);
  // The first frame's output becomes the reference and goes to the delegate.
  ASSERT_TRUE(view.effectsPixelBuffer());
  EXPECT_EQ(delegate.calls, 1);
  EXPECT_EQ(delegate.last, view.effectsPixelBuffer());
  EXPECT_EQ(std::memcmp(view.effectsPixelBuffer()->baseAddress(0), frame->baseAddress(0),
                        frame->bytesPerRow(0) * size_t(frame->height())),
            0);
}

TEST_F(EffectViewTest, LightingLiftsAndLowersARealFrameButKeepsBlackAndWhite) {
  auto frame = rendertest::toNV12(rendertest::loadPhoto("sample2.jpg"));
  if (!frame) GTEST_SKIP() << "no test photo: run scripts/setup";
  manager.notifyFrame(frame);
  double before = meanGreen(effectImage().scaled(480, 270));
  manager.brightness = 0.75f;
  manager.notifyFrame(frame);
  double after = meanGreen(effectImage().scaled(480, 270));
  EXPECT_GT(after - before, 15);
  EXPECT_LT(after - before, 45);
  manager.brightness = 0.25f;
  manager.notifyFrame(frame);
  EXPECT_LT(meanGreen(effectImage().scaled(480, 270)), before - 15);
  // A curve, not a lift: black stays black and white stays white at every lighting.
  for (float lighting : {0.0f, 0.75f, 1.0f}) {
    manager.brightness = lighting;
    manager.notifyFrame(uniformFrame(64, 32, 0));
    EXPECT_EQ(qGreen(effectImage().pixel(5, 5)), 0) << lighting;
    manager.notifyFrame(uniformFrame(64, 32, 255));
    EXPECT_EQ(qGreen(effectImage().pixel(5, 5)), 255) << lighting;
  }
}

TEST_F(EffectViewTest, GammaFollowsThePowerLaw) {
  manager.gamma = 2.2f;
  manager.notifyFrame(uniformFrame(64, 32, 64));
  QImage image = effectImage();
  int expected = int(std::lround(std::pow(64 / 255.0, 1.1 / 2.2) * 255));  // 128
  EXPECT_NEAR(qGreen(image.pixel(10, 10)), expected, 1);
  EXPECT_NEAR(qRed(image.pixel(63, 31)), expected, 1);
  // The render state's own 1.1 leaves the mid-tones as they are.
  manager.gamma = 1.1f;
  manager.notifyFrame(uniformFrame(64, 32, 64));
  EXPECT_EQ(qGreen(effectImage().pixel(5, 5)), 64);
}

TEST_F(EffectViewTest, MirrorFlipsARealFrameExactly) {
  auto frame = rendertest::toNV12(rendertest::loadPhoto("sample3.jpg"));
  if (!frame) GTEST_SKIP() << "no test photo: run scripts/setup";
  manager.notifyFrame(frame);
  QImage plain = effectImage();
  manager.mirror = true;
  manager.notifyFrame(frame);
  QImage mirrored = effectImage();
  EXPECT_EQ(mirrored, plain.mirrored(true, false));
}

TEST_F(EffectViewTest, NoiseReductionSettlesOnAStillPicture) {
  QImage photo = rendertest::loadPhoto("sample4.jpg").scaled(960, 540);
  auto clean = rendertest::toNV12(photo);
  if (!clean) GTEST_SKIP() << "no test photo: run scripts/setup";
  manager.denoise = MetalManager::denoiseLevel(1.0);
  // A clean still picture: the output is the picture itself from the first frame on.
  for (int i = 0; i < 3; ++i) manager.notifyFrame(clean);
  auto settled = view.effectsPixelBuffer();
  EXPECT_EQ(
      std::memcmp(settled->baseAddress(0), clean->baseAddress(0), clean->bytesPerRow(0) * 540), 0);
  // With sensor noise the output converges and stays closer to the picture than any frame.
  std::mt19937 random(7);
  std::normal_distribution<double> noise(0, 4);
  double inputError = 0, outputError = 0, change = 0;
  PixelBufferRef previous;
  for (int i = 0; i < 40; ++i) {
    auto frame = PixelBuffer::create(960, 540, PixelFormat::NV12FullRange);
    frame->copyFrom(*clean);
    for (int y = 0; y < 540; ++y)
      for (int x = 0; x < 960; ++x) {
        uint8_t& p = frame->baseAddress(0)[y * frame->bytesPerRow(0) + x];
        p = uint8_t(std::clamp(int(p + std::lround(noise(random))), 0, 255));
      }
    manager.notifyFrame(frame);
    if (i >= 30) {
      auto out = view.effectsPixelBuffer();
      for (int y = 100; y < 440; y += 3)
        for (int x = 100; x < 860; x += 3) {
          int c = clean->baseAddress(0)[y * clean->bytesPerRow(0) + x];
          inputError += std::abs(frame->baseAddress(0)[y * frame->bytesPerRow(0) + x] - c);
          outputError += std::abs(out->baseAddress(0)[y * out->bytesPerRow(0) + x] - c);
          change += std::abs(out->baseAddress(0)[y * out->bytesPerRow(0) + x] -
                             previous->baseAddress(0)[y * previous->bytesPerRow(0) + x]);
        }
    }
    previous = view.effectsPixelBuffer();
  }
  EXPECT_LT(outputError, inputError * 0.75);
  EXPECT_LT(change, inputError);  // steady: frame to frame the output moves less than the noise
}

TEST_F(EffectViewTest, NoiseReductionLetsMotionThrough) {
  manager.denoise = 6;
  manager.notifyFrame(uniformFrame(64, 32, 40));
  manager.notifyFrame(uniformFrame(64, 32, 200));  // a change far beyond noise
  EXPECT_EQ(view.effectsPixelBuffer()->baseAddress(0)[5], 200);
}

TEST_F(EffectViewTest, EffectTextureFollowsTheFrameShapeNotOnlyItsPixelCount) {
  manager.denoise = 6;
  manager.notifyFrame(uniformFrame(2560, 1440, 100));
  ASSERT_TRUE(manager.effectTexture());
  EXPECT_EQ(manager.effectTexture()->width(), 2560);
  EXPECT_EQ(manager.selvoBuffer()->height(), 1080);
  // Same pixel count, other proportions: a texture of the new shape, and the old output is
  // no reference (no blending of a 2560-wide picture into a 3840-wide one).
  manager.notifyFrame(uniformFrame(3840, 960, 110));
  auto t = manager.effectTexture();
  EXPECT_EQ(t->width(), 3840);
  EXPECT_EQ(t->height(), 960);
  EXPECT_EQ(qGreen(textureImage(*t).pixel(3839, 959)), 110);
  EXPECT_EQ(manager.selvoBuffer()->width(), 1920);
  EXPECT_EQ(manager.selvoBuffer()->height(), 480);
  EXPECT_EQ(view.effectsPixelBuffer()->width(), 3840);
}

TEST_F(EffectViewTest, AFrameThatCannotBeSetUpIsSkippedWhole) {
  manager.notifyFrame(uniformFrame(128, 64, 90));
  auto texture = manager.effectTexture();
  auto reference = view.effectsPixelBuffer();
  QImage before = textureImage(*texture);
  // A BGRA buffer has no chroma plane: no textures, so no dispatch.
  manager.notifyFrame(PixelBuffer::create(128, 64, PixelFormat::BGRA));
  EXPECT_EQ(manager.effectTexture(), texture);
  EXPECT_EQ(textureImage(*manager.effectTexture()), before);
  EXPECT_EQ(view.effectsPixelBuffer(), reference);
  // The next good frame goes through.
  manager.notifyFrame(uniformFrame(128, 64, 30));
  EXPECT_EQ(qGreen(effectImage().pixel(0, 0)), 30);
}

// A photo the assets lack gives no frame, and the case using it skips.
TEST(RenderTestImages, AMissingPhotoGivesNoFrame) {
  EXPECT_EQ(rendertest::toNV12(rendertest::loadPhoto("no-such-photo.jpg")), nullptr);
  EXPECT_EQ(rendertest::toNV12(QImage()), nullptr);
  EXPECT_TRUE(rendertest::toNV12(QImage(4, 2, QImage::Format_ARGB32)));
}

TEST_F(EffectViewTest, AnalysisSizeCopy) {
  EXPECT_EQ(EffectView::selvoHeight(3840, 1080), 540);
  EXPECT_EQ(EffectView::selvoHeight(3840, 1090), 546);  // 545 is odd
  EXPECT_EQ(EffectView::selvoHeight(1920, 1080), 1080);
  auto frame = rendertest::toNV12(rendertest::makePanorama(3840, 1080));
  manager.notifyFrame(frame);
  auto selvo = manager.selvoBuffer();
  ASSERT_TRUE(selvo);
  EXPECT_EQ(selvo->width(), 1920);
  EXPECT_EQ(selvo->height(), 540);
  // A 2:1 copy: each sample is the mean of its 2 x 2 block.
  for (int y : {0, 101, 539})
    for (int x : {0, 777, 1919}) {
      const uint8_t* s = frame->baseAddress(0);
      size_t row = frame->bytesPerRow(0);
      int mean = (s[2 * y * row + 2 * x] + s[2 * y * row + 2 * x + 1] +
                  s[(2 * y + 1) * row + 2 * x] + s[(2 * y + 1) * row + 2 * x + 1] + 2) /
                 4;
      EXPECT_NEAR(selvo->baseAddress(0)[y * selvo->bytesPerRow(0) + x], mean, 1) << x << "," << y;
    }
}

TEST_F(EffectViewTest, AReaderKeepsThePictureItTookWhileTheNextPassRuns) {
  manager.notifyFrame(uniformFrame(256, 128, 50));
  auto held = manager.effectTexture();
  for (uint8_t v : {60, 70, 80}) manager.notifyFrame(uniformFrame(256, 128, v));
  EXPECT_EQ(qGreen(textureImage(*held).pixel(100, 100)), 50);
  EXPECT_NE(manager.effectTexture(), held);
  EXPECT_EQ(qGreen(effectImage().pixel(100, 100)), 80);
}

TEST_F(EffectViewTest, FramesFromACaptureQueueNeverShowAHalfWrittenTexture) {
  std::atomic<bool> done{false};
  std::thread capture([&] {
    for (int i = 0; i < 60; ++i) manager.notifyFrame(uniformFrame(640, 360, i % 2 ? 200 : 20));
    done = true;
  });
  int checked = 0;
  while (!done) {
    auto t = manager.effectTexture();
    if (!t) continue;
    uint8_t first = t->row(0)[1], last = t->row(359)[639 * 4 + 1];
    EXPECT_EQ(first, last);
    ++checked;
  }
  capture.join();
  EXPECT_GT(checked, 0);
}

TEST(EffectViewLifetime, AGoneViewIgnoresFrames) {
  MetalContext context(2);
  MetalManager manager;
  { EffectView view({}, manager, context); }
  manager.notifyFrame(uniformFrame(64, 32, 10));
  EXPECT_FALSE(manager.effectTexture());
  // Its name stays taken: a second view of the class is not subscribed again.
  EffectView second({}, manager, context);
  manager.notifyFrame(uniformFrame(64, 32, 10));
  EXPECT_FALSE(manager.effectTexture());
}

TEST_F(EffectViewTest, TheFirstFrameIsLoggedAsHavingNoReference) {
  auto& log = LogManager::shared();
  ASSERT_TRUE(log.hasFile());
  auto countLines = [&](const std::string& text) {
    std::ifstream file(log.logFilePath());
    std::string line;
    int n = 0;
    while (std::getline(file, line)) n += line.find(text) != std::string::npos;
    return n;
  };
  int before = countLines("effectsPixelBuffer is nil");
  manager.notifyFrame(uniformFrame(64, 32, 10));
  EXPECT_EQ(countLines("effectsPixelBuffer is nil"), before + 1);
  manager.notifyFrame(uniformFrame(64, 32, 10));
  EXPECT_EQ(countLines("effectsPixelBuffer is nil"), before + 1);
  // A frame that cannot be set up says so.
  manager.notifyFrame(PixelBuffer::create(64, 32, PixelFormat::BGRA));
  EXPECT_GE(countLines("y_texture and uv_texture is nil"), 1);
}

// A frame whose analysis copy cannot be made fails again with every frame: the log hears of it
// a few times, then once every while with the count of what was left out.
TEST_F(EffectViewTest, AFailureWithEveryFrameWritesARateLimitedLog) {
  testsupport::ManualClock clock;
  testsupport::ScopedClock scoped{clock};
  auto& log = LogManager::shared();
  auto lines = [&] {
    std::ifstream file(log.logFilePath());
    std::vector<std::string> found;
    for (std::string line; std::getline(file, line);)
      if (line.find("EffectView.cpp") != std::string::npos &&
          (line.find("[Warning]") != std::string::npos ||
           line.find("[Error]") != std::string::npos))
        found.push_back(line);
    return found;
  };
  size_t before = lines().size();
  // 16 x 4000: its analysis copy would be 1920 x 480000.
  auto thin = uniformFrame(16, 4000, 90);
  for (int i = 0; i < 60; ++i) manager.notifyFrame(thin);
  auto written = lines();
  EXPECT_GE(written.size() - before, 1u);
  EXPECT_LE(written.size() - before, LogManager::kFrameLineBurst);
  EXPECT_NE(written.back().find("y_texture_selvo and uv_texture_selvo is nil"), std::string::npos)
      << written.back();
  // The next interval opens with the count of the lines left out.
  clock.advance(LogManager::kFrameLineInterval);
  manager.notifyFrame(thin);
  written = lines();
  ASSERT_GT(written.size() - before, 1u);
  EXPECT_NE(written[written.size() - 2].find("similar lines left out) Error: could not create"),
            std::string::npos)
      << written[written.size() - 2];
}

namespace {

// The pass pixel by pixel as it is defined: mirror, noise reduction toward the previous output,
// brightness and gamma on luma, full-range BT.601 in 8.8 fixed point.
struct ReferencePass {
  int level = 0;
  bool mirror = false;
  float brightness = 0.5f, gamma = 1.1f;

  static int reduce(int sample, int reference, int level) {
    int d = reference - sample;
    int m = 32 - std::abs(d);
    int t = d * level * std::max(m, 0);
    return sample + ((t + (t < 0 ? 255 : 0)) >> 8);
  }
  uint8_t luma(int y) const {
    float lighting = std::clamp(brightness, 0.0f, 1.0f);
    float exponent = (gamma > 0.01f ? 1.1f / gamma : 1.0f) * std::exp2(2.0f * (0.5f - lighting));
    return uint8_t(std::lround(std::pow(y / 255.0f, exponent) * 255.0f));
  }
  static uint8_t clampByte(int v) { return uint8_t(std::clamp(v, 0, 255)); }

  // The NV12 output and the BGRA picture of `frame` against `previous` (none: no reduction).
  void run(const PixelBuffer& frame, const PixelBuffer* previous, std::vector<uint8_t>& nv12,
           std::vector<uint32_t>& bgra) const {
    int w = frame.width(), h = frame.height(), cw = w / 2;
    nv12.assign(size_t(w) * h * 3 / 2, 0);
    bgra.assign(size_t(w) * h, 0);
    uint8_t* oy = nv12.data();
    uint8_t* ouv = nv12.data() + size_t(w) * h;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        int s = frame.baseAddress(0)[y * frame.bytesPerRow(0) + (mirror ? w - 1 - x : x)];
        if (previous && level > 0)
          s = reduce(s, previous->baseAddress(0)[y * previous->bytesPerRow(0) + x], level);
        oy[y * w + x] = uint8_t(s);
      }
    for (int y = 0; y < h / 2; ++y)
      for (int c = 0; c < cw; ++c)
        for (int k = 0; k < 2; ++k) {
          int s =
              frame.baseAddress(1)[y * frame.bytesPerRow(1) + 2 * (mirror ? cw - 1 - c : c) + k];
          if (previous && level > 0)
            s = reduce(s, previous->baseAddress(1)[y * previous->bytesPerRow(1) + 2 * c + k],
                       level);
          ouv[y * w + 2 * c + k] = uint8_t(s);
        }
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        int l = luma(oy[y * w + x]);
        int cu = ouv[y / 2 * w + x / 2 * 2] - 128, cv = ouv[y / 2 * w + x / 2 * 2 + 1] - 128;
        int b = (454 * cu + 128) >> 8, g = (88 * cu + 183 * cv + 128) >> 8,
            r = (359 * cv + 128) >> 8;
        bgra[size_t(y) * w + x] = uint32_t(clampByte(l + b)) | uint32_t(clampByte(l - g)) << 8 |
                                  uint32_t(clampByte(l + r)) << 16 | 0xFF000000u;
      }
  }
};

// The first row of two NV12 pictures of one size that differs ("plane P row Y"), or "".
std::string firstDifference(const PixelBuffer& a, const PixelBuffer& b) {
  for (int p = 0; p < 2; ++p)
    for (int y = 0; y < a.planeHeight(p); ++y)
      if (std::memcmp(a.baseAddress(p) + y * a.bytesPerRow(p),
                      b.baseAddress(p) + y * b.bytesPerRow(p),
                      size_t(a.planeWidth(p)) * size_t(p + 1)) != 0)
        return "plane " + std::to_string(p) + " row " + std::to_string(y);
  return "";
}

PixelBufferRef noiseFrame(int w, int h, uint32_t seed) {
  auto frame = PixelBuffer::create(w, h, PixelFormat::NV12FullRange);
  std::mt19937 random(seed);
  for (int p = 0; p < 2; ++p)
    for (int y = 0; y < frame->planeHeight(p); ++y)
      for (size_t x = 0; x < size_t(frame->planeWidth(p)) * (p + 1); ++x)
        frame->baseAddress(p)[y * frame->bytesPerRow(p) + x] = uint8_t(random());
  return frame;
}

}  // namespace

// Every output byte of the row loops, in each of their variants and with row lengths that are
// no multiple of any vector width, against the per-pixel definition.
TEST_F(EffectViewTest, EveryOutputIsThePerPixelDefinition) {
  for (int w : {2, 30, 46, 998, 1000})
    for (bool mirror : {false, true})
      for (int level : {0, 3, 6}) {
        for (auto [brightness, gamma] : {std::pair{0.5f, 1.1f}, {0.65f, 1.1f}, {-0.3f, 2.2f}}) {
          SCOPED_TRACE(testing::Message() << w << " mirror " << mirror << " level " << level
                                          << " brightness " << brightness << " gamma " << gamma);
          MetalManager manager;
          EffectView view({}, manager, context);
          manager.mirror = mirror;
          manager.denoise = float(level);
          manager.brightness = brightness;
          manager.gamma = gamma;
          ReferencePass reference{level, mirror, brightness, gamma};
          auto first = noiseFrame(w, 6, uint32_t(w + level));
          // The second frame near the first, so reduction and motion both occur.
          auto second = PixelBuffer::create(w, 6, PixelFormat::NV12FullRange);
          second->copyFrom(*first);
          std::mt19937 random{uint32_t(w)};
          for (int p = 0; p < 2; ++p)
            for (int y = 0; y < second->planeHeight(p); ++y)
              for (size_t x = 0; x < size_t(second->planeWidth(p)) * (p + 1); ++x) {
                uint8_t& v = second->baseAddress(p)[y * second->bytesPerRow(p) + x];
                v = uint8_t(std::clamp(int(v) + int(random() % 81) - 40, 0, 255));
              }
          std::vector<uint8_t> nv12;
          std::vector<uint32_t> bgra;
          manager.notifyFrame(first);
          auto previous = view.effectsPixelBuffer();
          manager.notifyFrame(second);
          reference.run(*second, previous.get(), nv12, bgra);
          auto out = view.effectsPixelBuffer();
          auto picture = manager.effectTexture();
          ASSERT_TRUE(out && picture);
          int mismatches = 0;
          for (int y = 0; y < 6; ++y)
            for (int x = 0; x < w; ++x) {
              mismatches += out->baseAddress(0)[y * out->bytesPerRow(0) + x] != nv12[y * w + x];
              uint32_t p;
              std::memcpy(&p, picture->row(y) + 4 * x, 4);
              mismatches += p != bgra[size_t(y) * w + x];
            }
          for (int y = 0; y < 3; ++y)
            for (int x = 0; x < w; ++x)
              mismatches += out->baseAddress(1)[y * out->bytesPerRow(1) + x] !=
                            nv12[size_t(w) * 6 + y * w + x];
          EXPECT_EQ(mismatches, 0);
        }
      }
}

// The analysis copy at exactly half size, plain and mirrored: each sample the rounded mean of
// its 2 x 2 block, in both planes.
TEST_F(EffectViewTest, HalfSizeAnalysisCopyIsTheBlockMeanExactly) {
  for (bool mirror : {false, true}) {
    SCOPED_TRACE(mirror);
    MetalManager manager;
    EffectView view({}, manager, context);
    manager.mirror = mirror;
    auto frame = noiseFrame(3840, 16, 11);
    manager.notifyFrame(frame);
    auto selvo = manager.selvoBuffer();
    ASSERT_TRUE(selvo);
    ASSERT_EQ(selvo->width(), 1920);
    ASSERT_EQ(selvo->height(), 8);
    int mismatches = 0;
    for (int p = 0; p < 2; ++p) {
      int channels = p + 1, w = selvo->planeWidth(p), srcW = frame->planeWidth(p);
      const uint8_t* s = frame->baseAddress(p);
      size_t row = frame->bytesPerRow(p);
      for (int y = 0; y < selvo->planeHeight(p); ++y)
        for (int i = 0; i < w; ++i)
          for (int c = 0; c < channels; ++c) {
            int x = mirror ? srcW - 2 - 2 * i : 2 * i;
            const uint8_t* a = s + 2 * y * row;
            const uint8_t* b = a + row;
            int mean = (a[x * channels + c] + a[(x + 1) * channels + c] + b[x * channels + c] +
                        b[(x + 1) * channels + c] + 2) >>
                       2;
            mismatches +=
                selvo->baseAddress(p)[y * selvo->bytesPerRow(p) + i * channels + c] != mean;
          }
    }
    EXPECT_EQ(mismatches, 0);
  }
}

// The program's view writes no analysis-size copy: none is made, the pictures it makes are
// those of a view that writes one, and turning the copy off again lets go of one made before.
TEST_F(EffectViewTest, WithoutTheAnalysisCopyThePicturesStayTheSame) {
  MetalManager plainManager;
  EffectView plain({}, plainManager, context);
  plain.setWritesAnalysisCopy(false);
  for (bool mirror : {false, true}) {
    SCOPED_TRACE(mirror);
    manager.mirror = plainManager.mirror = mirror;
    manager.denoise = plainManager.denoise = 3;
    for (int seed : {1, 2}) {
      auto frame = noiseFrame(640, 160, seed);
      manager.notifyFrame(frame);
      plainManager.notifyFrame(frame);
    }
    EXPECT_TRUE(manager.selvoBuffer());
    EXPECT_FALSE(plainManager.selvoBuffer());
    EXPECT_EQ(textureImage(*plainManager.effectTexture()), textureImage(*manager.effectTexture()));
    auto a = view.effectsPixelBuffer(), b = plain.effectsPixelBuffer();
    ASSERT_TRUE(a && b);
    EXPECT_EQ(firstDifference(*a, *b), "");
  }
  view.setWritesAnalysisCopy(false);
  manager.notifyFrame(uniformFrame(64, 32, 10));
  EXPECT_FALSE(manager.selvoBuffer());
}

// The program's view keeps no reference while noise reduction is off: its pictures are those
// of a view that keeps one, in every variant of the idle pass; the first pass after the
// reduction is turned on takes its frame as it comes, and the passes after it are those of a
// view that had the reduction on from that frame.
TEST_F(EffectViewTest, WithoutAnIdleReferenceThePicturesStayTheSame) {
  for (bool mirror : {false, true})
    for (auto [brightness, gamma] : {std::pair{0.5f, 1.1f}, {0.7f, 1.6f}}) {
      SCOPED_TRACE(testing::Message() << "mirror " << mirror << " brightness " << brightness);
      MetalManager keptManager, leanManager, freshManager;
      EffectView kept({}, keptManager, context), lean({}, leanManager, context),
          fresh({}, freshManager, context);
      lean.setKeepsReferenceWhileIdle(false);
      CountingDelegate delegate;
      lean.outputDelegate = &delegate;
      for (MetalManager* m : {&keptManager, &leanManager, &freshManager}) {
        m->mirror = mirror;
        m->brightness = brightness;
        m->gamma = gamma;
      }
      for (uint32_t seed : {11u, 12u}) {
        auto frame = noiseFrame(998, 8, seed);
        keptManager.notifyFrame(frame);
        leanManager.notifyFrame(frame);
        ASSERT_TRUE(leanManager.effectTexture());
        EXPECT_EQ(textureImage(*leanManager.effectTexture()),
                  textureImage(*keptManager.effectTexture()));
      }
      EXPECT_TRUE(kept.effectsPixelBuffer());
      EXPECT_FALSE(lean.effectsPixelBuffer());
      EXPECT_EQ(delegate.calls, 0);
      // Noise reduction on: the view without a reference goes on as a fresh one does.
      leanManager.denoise = freshManager.denoise = 6;
      auto first = noiseFrame(998, 8, 13);
      auto second = PixelBuffer::create(998, 8, PixelFormat::NV12FullRange);
      second->copyFrom(*first);
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 998; x += 3)
          second->baseAddress(0)[y * second->bytesPerRow(0) + x] ^= 7;
      for (const auto& frame : {first, second}) {
        leanManager.notifyFrame(frame);
        freshManager.notifyFrame(frame);
        EXPECT_EQ(textureImage(*leanManager.effectTexture()),
                  textureImage(*freshManager.effectTexture()));
        auto a = lean.effectsPixelBuffer(), b = fresh.effectsPixelBuffer();
        ASSERT_TRUE(a && b);
        EXPECT_EQ(firstDifference(*a, *b), "");
      }
      EXPECT_EQ(delegate.calls, 2);
    }
}
