// The face model's faster layers compute what OpenCV's own compute: each shape against OpenCV's
// layer on the same random input (with and without a following ReLU, which both fold in), the
// shapes they leave to OpenCV, and the whole face model on a photograph.
#include <gtest/gtest.h>

#include <memory>
#include <opencv2/dnn.hpp>
#include <opencv2/dnn/all_layers.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include "selvo/BlazeFaceLayers.h"
#include "selvo/PersonDetector.h"

namespace {

cv::Mat RandomBlob(int n, int c, int h, int w, uint64_t seed) {
  int shape[4] = {n, c, h, w};
  cv::Mat blob(4, shape, CV_32F);
  cv::RNG rng(seed);
  rng.fill(blob, cv::RNG::UNIFORM, -2.0, 2.0);
  return blob;
}

struct Conv {
  const char* name;
  int batch, cin, cout, h, w;
  int kernel, stride, pad, group;
  bool bias, relu;
  bool ours;  // whether the faster layer takes it
};

// A net of one convolution (and a ReLU after it), set up and run inside or outside the scope.
cv::Mat RunConv(const Conv& c, const cv::Mat& input, bool faster, bool* oursUsed) {
  std::unique_ptr<selvo::BlazeFaceLayers> scope;
  if (faster) scope = std::make_unique<selvo::BlazeFaceLayers>();
  cv::dnn::LayerParams lp;
  lp.name = "conv";
  lp.type = "Convolution";
  int k[2] = {c.kernel, c.kernel}, s[2] = {c.stride, c.stride}, d[2] = {1, 1};
  int p[4] = {c.pad, c.pad, c.pad, c.pad};
  lp.set("kernel_size", cv::dnn::DictValue::arrayInt(k, 2));
  lp.set("stride", cv::dnn::DictValue::arrayInt(s, 2));
  lp.set("dilation", cv::dnn::DictValue::arrayInt(d, 2));
  if (c.pad > 0) lp.set("pad", cv::dnn::DictValue::arrayInt(p, 4));
  lp.set("num_output", c.cout);
  if (c.group > 1) lp.set("group", c.group);
  int wshape[4] = {c.cout, c.cin / c.group, c.kernel, c.kernel};
  cv::Mat weights(4, wshape, CV_32F);
  cv::RNG rng(7);
  rng.fill(weights, cv::RNG::UNIFORM, -0.5, 0.5);
  lp.blobs.push_back(weights);
  if (c.bias) {
    cv::Mat bias(1, c.cout, CV_32F);
    rng.fill(bias, cv::RNG::UNIFORM, -1.0, 1.0);
    lp.blobs.push_back(bias);
  }
  cv::dnn::Net net;
  int id = net.addLayerToPrev(lp.name, lp.type, lp);
  if (c.relu) {
    cv::dnn::LayerParams relu;
    net.addLayerToPrev("relu", "ReLU", relu);
  }
  net.setInput(input);
  cv::Mat out = net.forward().clone();
  *oursUsed = net.getLayer(id).dynamicCast<cv::dnn::ConvolutionLayer>().empty();
  return out;
}

cv::Mat RunSum(const cv::Mat& a, const cv::Mat& b, bool relu, bool faster, bool* oursUsed) {
  std::unique_ptr<selvo::BlazeFaceLayers> scope;
  if (faster) scope = std::make_unique<selvo::BlazeFaceLayers>();
  cv::dnn::Net net;
  net.setInputsNames({"a", "b"});
  cv::dnn::LayerParams lp;
  int id = net.addLayer("sum", "Eltwise", lp);
  net.connect(0, 0, id, 0);
  net.connect(0, 1, id, 1);
  if (relu) {
    cv::dnn::LayerParams r;
    net.addLayerToPrev("relu", "ReLU", r);
  }
  net.setInput(a, "a");
  net.setInput(b, "b");
  cv::Mat out = net.forward().clone();
  *oursUsed = net.getLayer(id).dynamicCast<cv::dnn::EltwiseLayer>().empty();
  return out;
}

// A depthwise convolution and a 1x1 convolution after it (the model's block), and a ReLU.
cv::Mat RunBlock(int channels, int cout, const cv::Mat& input, bool faster) {
  std::unique_ptr<selvo::BlazeFaceLayers> scope;
  if (faster) scope = std::make_unique<selvo::BlazeFaceLayers>();
  cv::RNG rng(5);
  auto params = [&](const char* name, int kernel, int cin, int cout, int group) {
    cv::dnn::LayerParams lp;
    lp.name = name;
    lp.type = "Convolution";
    int k[2] = {kernel, kernel}, one[2] = {1, 1}, p[4] = {1, 1, 1, 1};
    lp.set("kernel_size", cv::dnn::DictValue::arrayInt(k, 2));
    lp.set("stride", cv::dnn::DictValue::arrayInt(one, 2));
    lp.set("dilation", cv::dnn::DictValue::arrayInt(one, 2));
    if (kernel == 3) lp.set("pad", cv::dnn::DictValue::arrayInt(p, 4));
    lp.set("num_output", cout);
    if (group > 1) lp.set("group", group);
    int wshape[4] = {cout, cin / group, kernel, kernel};
    cv::Mat weights(4, wshape, CV_32F);
    rng.fill(weights, cv::RNG::UNIFORM, -0.5, 0.5);
    lp.blobs.push_back(weights);
    cv::Mat bias(1, cout, CV_32F);
    rng.fill(bias, cv::RNG::UNIFORM, -1.0, 1.0);
    lp.blobs.push_back(bias);
    return lp;
  };
  cv::dnn::Net net;
  cv::dnn::LayerParams dw = params("dw", 3, channels, channels, channels);
  cv::dnn::LayerParams pw = params("pw", 1, channels, cout, 1);
  cv::dnn::LayerParams relu;
  net.addLayerToPrev(dw.name, dw.type, dw);
  net.addLayerToPrev(pw.name, pw.type, pw);
  net.addLayerToPrev("relu", "ReLU", relu);
  net.setInput(input);
  return net.forward().clone();
}

double RelativeDifference(const cv::Mat& a, const cv::Mat& b) {
  return cv::norm(a, b, cv::NORM_INF) / std::max(1.0, cv::norm(b, cv::NORM_INF));
}

}  // namespace

TEST(BlazeFaceLayersTest, ConvolutionsMatchOpenCVs) {
  // The model's shapes, odd sizes where the loops have remainders, and shapes left to OpenCV.
  const Conv cases[] = {
      {"1x1 24 to 24 at 128, ReLU", 1, 24, 24, 128, 128, 1, 1, 0, 1, true, true, true},
      {"1x1 96 to 96 at 8, no bias", 1, 96, 96, 8, 8, 1, 1, 0, 1, false, false, true},
      {"1x1 96 to 6 (heads)", 1, 96, 6, 8, 8, 1, 1, 0, 1, true, false, true},
      {"1x1 5 to 7 at 5x7, batch 2", 2, 5, 7, 5, 7, 1, 1, 0, 1, true, true, true},
      {"depthwise 24 at 128", 1, 24, 24, 128, 128, 3, 1, 1, 24, false, false, true},
      {"depthwise 96 at 16, bias, ReLU", 1, 96, 96, 16, 16, 3, 1, 1, 96, true, true, true},
      {"depthwise 3 at 1x1", 1, 3, 3, 1, 1, 3, 1, 1, 3, true, false, true},
      {"depthwise 5 at 2x9, batch 2", 2, 5, 5, 2, 9, 3, 1, 1, 5, true, false, true},
      {"depthwise of stride 2: OpenCV's", 1, 24, 24, 17, 17, 3, 2, 0, 24, false, false, false},
      {"1x1 of stride 2: OpenCV's", 1, 8, 8, 16, 16, 1, 2, 0, 1, true, false, false},
      {"5x5 full: OpenCV's", 1, 1, 24, 20, 20, 5, 2, 2, 1, true, true, false},
      {"grouped 1x1: OpenCV's", 1, 8, 8, 16, 16, 1, 1, 0, 2, true, false, false},
  };
  for (const Conv& c : cases) {
    SCOPED_TRACE(c.name);
    cv::Mat input = RandomBlob(c.batch, c.cin, c.h, c.w, 11);
    bool ours = false, reference = false;
    cv::Mat fast = RunConv(c, input, true, &ours);
    cv::Mat slow = RunConv(c, input, false, &reference);
    EXPECT_EQ(ours, c.ours);
    EXPECT_FALSE(reference);
    ASSERT_EQ(fast.size, slow.size);
    EXPECT_LE(RelativeDifference(fast, slow), 1e-5);
    double lowest = 0;
    cv::minMaxIdx(fast.reshape(1, 1), &lowest);
    EXPECT_EQ(lowest >= 0, c.relu);
  }
}

// The depthwise convolution takes the 1x1 convolution after it in and runs both row by row; on
// rows that are not a whole number of blocks wide it runs them one after the other.
TEST(BlazeFaceLayersTest, ADepthwiseAndA1x1ConvolutionTogetherMatchOpenCVs) {
  struct Case {
    int channels, cout, h, w;
  };
  for (const Case& c : {Case{24, 24, 128, 128}, Case{96, 96, 16, 16}, Case{24, 48, 32, 32},
                        Case{6, 5, 8, 8}, Case{3, 7, 5, 9}}) {
    SCOPED_TRACE(std::to_string(c.channels) + " at " + std::to_string(c.h) + "x" +
                 std::to_string(c.w));
    cv::Mat input = RandomBlob(1, c.channels, c.h, c.w, 13);
    cv::Mat fast = RunBlock(c.channels, c.cout, input, true);
    cv::Mat slow = RunBlock(c.channels, c.cout, input, false);
    ASSERT_EQ(fast.size, slow.size);
    EXPECT_LE(RelativeDifference(fast, slow), 1e-5);
  }
}

TEST(BlazeFaceLayersTest, TheSumOfTwoBranchesMatchesOpenCVs) {
  for (bool relu : {false, true})
    for (const auto& shape : std::vector<std::vector<int>>{{1, 24, 128, 128}, {2, 3, 5, 7}}) {
      SCOPED_TRACE(std::string(relu ? "ReLU " : "") + std::to_string(shape[1]));
      cv::Mat a = RandomBlob(shape[0], shape[1], shape[2], shape[3], 1);
      cv::Mat b = RandomBlob(shape[0], shape[1], shape[2], shape[3], 2);
      bool ours = false, reference = false;
      cv::Mat fast = RunSum(a, b, relu, true, &ours);
      cv::Mat slow = RunSum(a, b, relu, false, &reference);
      EXPECT_TRUE(ours);
      EXPECT_FALSE(reference);
      ASSERT_EQ(fast.size, slow.size);
      EXPECT_LE(cv::norm(fast, slow, cv::NORM_INF), 1e-6);
      EXPECT_EQ(cv::countNonZero(fast.reshape(1, 1) < 0) == 0, relu);
    }
}

// Two scopes at once (two detectors set up together) share one registration; after both, nets
// get OpenCV's layers again.
TEST(BlazeFaceLayersTest, ScopesNestAndEndCleanly) {
  const Conv c{"1x1", 1, 8, 8, 4, 4, 1, 1, 0, 1, true, false, true};
  cv::Mat input = RandomBlob(1, 8, 4, 4, 3);
  bool ours = false;
  {
    selvo::BlazeFaceLayers outer;
    RunConv(c, input, true, &ours);
    EXPECT_TRUE(ours);
    RunConv(c, input, false, &ours);
    EXPECT_TRUE(ours);  // still inside the outer scope
  }
  RunConv(c, input, false, &ours);
  EXPECT_FALSE(ours);
}

// The whole model with the faster layers gives OpenCV's outputs on a photograph.
TEST(BlazeFaceLayersTest, TheFaceModelGivesOpenCVsOutputs) {
  const std::string path =
      std::string(CORVANE_ASSETS_DIR) + "/models/" + selvo::PersonDetector::kModelFileName;
  cv::Mat photo =
      cv::imread(std::string(CORVANE_ASSETS_DIR) + "/photos/sample2.jpg", cv::IMREAD_GRAYSCALE);
  ASSERT_FALSE(photo.empty());
  cv::Mat tile;
  cv::resize(photo(cv::Rect(0, 0, photo.rows, photo.rows)), tile, cv::Size(256, 256), 0, 0,
             cv::INTER_AREA);
  int shape[4] = {1, 256, 256, 3};
  cv::Mat blob(4, shape, CV_32F);
  float* d = blob.ptr<float>();
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x, d += 3) d[0] = d[1] = d[2] = tile.at<uint8_t>(y, x) / 127.5f - 1;
  auto run = [&](bool faster) {
    std::unique_ptr<selvo::BlazeFaceLayers> scope;
    if (faster) scope = std::make_unique<selvo::BlazeFaceLayers>();
    cv::dnn::Net net = cv::dnn::readNetFromONNX(path);
    std::vector<cv::Mat> outputs;
    net.setInput(blob);
    net.forward(outputs, net.getUnconnectedOutLayersNames());
    for (cv::Mat& o : outputs) o = o.clone();
    return outputs;
  };
  std::vector<cv::Mat> fast = run(true), slow = run(false);
  ASSERT_EQ(fast.size(), 4u);
  ASSERT_EQ(slow.size(), 4u);
  for (size_t i = 0; i < fast.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_LE(RelativeDifference(fast[i], slow[i]), 1e-4);
  }
}
