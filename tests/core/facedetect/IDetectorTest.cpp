#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <vector>

#include "TempDir.h"
#include "facedetect/FaceDetectorSource.h"
#include "facedetect/IDetector.h"

using orlith::Bbox;
using orlith::FaceDetectorSource;
using orlith::IDetector;

namespace {

constexpr size_t kN = IDetector::kPriorCount;

// Model outputs with every prior at background, then the given faces switched on.
struct Tensors {
  std::vector<float> boxes = std::vector<float>(kN * 4, 0.0f);
  std::vector<float> scores = std::vector<float>(kN * 2, 0.0f);
  void face(size_t prior, float score, float d0 = 0, float d1 = 0, float d2 = 0, float d3 = 0) {
    scores[2 * prior] = 1 - score;
    scores[2 * prior + 1] = score;
    boxes[4 * prior] = d0;
    boxes[4 * prior + 1] = d1;
    boxes[4 * prior + 2] = d2;
    boxes[4 * prior + 3] = d3;
  }
  std::vector<IDetector::Rect> decode(double W, double H, bool is360 = false) const {
    return IDetector::decode(boxes.data(), kN, scores.data(), kN, kN, W, H, is360);
  }
};

// The index of the prior of level 0 at (row, col), size choice 0 or 1.
size_t level0(int row, int col, int size) { return (size_t(row) * 240 + col) * 2 + size; }

}  // namespace

TEST(IDetectorPriors, TableHasThreeLevelsInOrder) {
  const auto& t = IDetector::priorTable();
  ASSERT_EQ(t.size(), kN * 4);
  EXPECT_FLOAT_EQ(t[0], 4.0f / 1920);
  EXPECT_FLOAT_EQ(t[2], 16.0f / 1920);
  EXPECT_FLOAT_EQ(t[6], 32.0f / 1920);  // the second size of the first cell
  size_t firstOfLevel1 = 2 * 240 * 240;
  EXPECT_FLOAT_EQ(t[4 * firstOfLevel1], 8.0f / 1920);
  EXPECT_FLOAT_EQ(t[4 * firstOfLevel1 + 2], 64.0f / 1920);
  size_t firstOfLevel2 = firstOfLevel1 + 2 * 120 * 120;
  EXPECT_FLOAT_EQ(t[4 * firstOfLevel2 + 2], 256.0f / 1920);
  size_t last = kN - 1;
  EXPECT_FLOAT_EQ(t[4 * last], 59.5f * 32 / 1920);
  EXPECT_FLOAT_EQ(t[4 * last + 1], 59.5f * 32 / 1920);
  EXPECT_FLOAT_EQ(t[4 * last + 3], 512.0f / 1920);
}

TEST(IDetectorDecode, OneFaceComesOutWhereItsPriorIs) {
  Tensors t;
  t.face(level0(100, 50, 1), 0.9f);  // centre (404, 804), side 32
  auto rects = t.decode(1920, 1920);
  ASSERT_EQ(rects.size(), 1u);
  EXPECT_NEAR(rects[0].x, 404 - 16, 1e-3);
  EXPECT_NEAR(rects[0].y, 804 - 16, 1e-3);
  EXPECT_NEAR(rects[0].width, 32, 1e-3);
}

TEST(IDetectorDecode, ThresholdsAreStrict) {
  Tensors t;
  t.face(level0(10, 10, 1), 0.6f);   // exactly the confidence: dropped
  t.face(level0(50, 50, 0), 0.61f);  // kept
  auto rects = t.decode(1920, 1920);
  ASSERT_EQ(rects.size(), 1u);
  EXPECT_NEAR(rects[0].width, 16, 1e-3);

  Tensors tiny;  // 16-pixel prior shrunk to 4 x 4: area 16, below 25
  tiny.face(level0(50, 50, 0), 0.9f, 0, 0, 5 * std::log(0.25f), 5 * std::log(0.25f));
  EXPECT_TRUE(tiny.decode(1920, 1920).empty());
}

TEST(IDetectorDecode, OverlapsKeepTheHigherScore) {
  Tensors t;
  t.face(level0(100, 100, 0), 0.7f);
  t.face(level0(100, 100, 1), 0.95f);  // same centre, 16 inside 32: ratio 0.29
  t.face(level0(200, 200, 0), 0.8f);   // elsewhere
  auto rects = t.decode(1920, 1920);
  ASSERT_EQ(rects.size(), 2u);
  EXPECT_NEAR(rects[0].width, 32, 1e-3);  // highest score first
  EXPECT_NEAR(rects[1].width, 16, 1e-3);
}

TEST(IDetectorDecode, RatioOfExactlyTheLimitKeepsBoth) {
  Bbox a{0, 0, 3, 4, 60, 0.9f};
  Bbox b{0, 0, 3, 4, 60, 0.8f};
  EXPECT_FLOAT_EQ(IDetector::overlapRatio(a, b), 0.2f);
  EXPECT_EQ(IDetector::suppress({a, b}).size(), 2u);
  Bbox c{0, 0, 3, 4, 50, 0.8f};
  EXPECT_EQ(IDetector::suppress({a, c}).size(), 1u);
}

TEST(IDetectorDecode, BoxesBeyondTheFrameAreClampedInBothAxes) {
  Tensors t;
  t.face(level0(0, 0, 1), 0.9f);  // centre (4, 4), side 32: reaches -12
  auto rects = t.decode(1920, 1920);
  ASSERT_EQ(rects.size(), 1u);
  EXPECT_NEAR(rects[0].x, 0, 1e-3);
  EXPECT_NEAR(rects[0].y, 0, 1e-3);
  EXPECT_NEAR(rects[0].width, 20, 1e-3);
}

TEST(IDetectorDecode, WideFramesAndPanoramas) {
  Tensors t;
  t.face(level0(119, 100, 1), 0.9f);  // centre y 956 in the model square
  auto flat = t.decode(1920, 960);
  ASSERT_EQ(flat.size(), 1u);
  EXPECT_NEAR(flat[0].y, 956 - 16 - 480, 1e-3);  // the 480-pixel vertical offset
  auto pano = t.decode(1920, 960, true);
  ASSERT_EQ(pano.size(), 1u);
  EXPECT_NEAR(pano[0].width, flat[0].width * 11 / 12, 1e-3);
  EXPECT_NEAR(pano[0].x, flat[0].x * 11 / 12, 1e-3);
}

TEST(IDetectorDecode, NeverReadsPastTheTableOrTheDeliveredRows) {
  std::vector<float> boxes(100 * 4, 0.0f), scores(100 * 2, 0.0f);
  scores[2 * 99 + 1] = 0.9f;
  auto rects = IDetector::decode(boxes.data(), 100, scores.data(), 100, 2 * kN, 1920, 1920, false);
  EXPECT_EQ(rects.size(), 1u);
  EXPECT_TRUE(IDetector::decode(boxes.data(), 100, nullptr, 0, kN, 1920, 1920, false).empty());
}

TEST(IDetectorModel, AMissingModelLeavesItUnavailableAndIdle) {
  testsupport::TempDir dir;
  IDetector detector(true, dir.file("FaceDetector.onnx"));
  EXPECT_FALSE(detector.available());
  EXPECT_TRUE(detector.runningWithRosetta());
  auto frame = platform::PixelBuffer::create(640, 480, platform::PixelFormat::NV12FullRange);
  detector.detect(frame);
  EXPECT_EQ(detector.srcWidth(), 640);
  EXPECT_FALSE(detector.inDetect());
  EXPECT_FALSE(detector.isUpdated());
}

TEST(IDetectorModel, TheTranslatedPathIsTakenOnlyWhenTheDetectorCanRun) {
  // The facade switches the library's own detector off when this says "translated": without
  // the model that would leave an emulated run detecting nothing.
  testsupport::TempDir dir;
  IDetector missing(true, dir.file("FaceDetector.onnx"));
  EXPECT_FALSE(FaceDetectorSource(missing).runningWithRosetta());
  IDetector native(false, dir.file("FaceDetector.onnx"));
  EXPECT_FALSE(FaceDetectorSource(native).runningWithRosetta());
  std::string model = std::string(CORVANE_ASSETS_DIR) + "/models/face_detection_back_256x256.onnx";
  if (!std::filesystem::exists(model)) GTEST_SKIP() << "face model not fetched";
  IDetector translated(true, model);
  ASSERT_TRUE(translated.available());
  EXPECT_TRUE(FaceDetectorSource(translated).runningWithRosetta());
}

TEST(IDetectorModel, AnUnreadableModelIsRefused) {
  testsupport::TempDir dir;
  std::ofstream(dir.file("FaceDetector.onnx")) << "not a network";
  IDetector detector(false, dir.file("FaceDetector.onnx"));
  EXPECT_FALSE(detector.available());
}

TEST(IDetectorModel, AModelWithoutTheContractsOutputsEndsTheDetectionCleanly) {
  // A real network whose outputs are not "1598" and "1799": the run fails, and the detector
  // must come back idle instead of staying deaf.
  std::string other = std::string(CORVANE_ASSETS_DIR) + "/models/face_detection_back_256x256.onnx";
  if (!std::filesystem::exists(other)) GTEST_SKIP() << "face model not fetched";
  IDetector detector(true, other);
  ASSERT_TRUE(detector.available());
  auto frame = platform::PixelBuffer::create(640, 320, platform::PixelFormat::NV12FullRange);
  detector.detect(frame);
  detector.detect(frame);  // dropped while busy, or a second clean attempt
  detector.waitUntilIdle();
  EXPECT_FALSE(detector.inDetect());
  EXPECT_TRUE(detector.isUpdated());
  EXPECT_EQ(detector.rectsCount(), 0);
}
