#include "BlazeFaceModel.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "BlazeFaceLayers.h"
#include "OrlithLog.h"

namespace selvo {

namespace {
constexpr int kValuesPerBox = 16;  // box (4) and six key points (12)
constexpr int kCells16 = 16 * 16 * 2;
constexpr int kCells8 = 8 * 8 * 6;

int dim(const cv::Mat& m, int i) { return i < m.dims ? m.size[i] : 1; }
}  // namespace

BlazeFaceModel::BlazeFaceModel() {
  // SSD anchors of the back model: stride 16 with two anchors per cell, then stride 32 with
  // six (three layers of two share that grid). Fixed anchor size: only the centres matter.
  anchors_.reserve(kAnchorCount);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x)
      for (int a = 0; a < 2; ++a) anchors_.push_back({(x + 0.5f) / 16.f, (y + 0.5f) / 16.f});
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      for (int a = 0; a < 6; ++a) anchors_.push_back({(x + 0.5f) / 8.f, (y + 0.5f) / 8.f});
  SetChannels(3);
}

void BlazeFaceModel::SetChannels(int channels) {
  channels_ = channels;
  int shape[4] = {1, kInputSide, kInputSide, channels};
  blob_.create(4, shape, CV_32F);
}

void BlazeFaceModel::FoldGreyInput() {
  // A probe with some structure, so that a wrong fold shows in the outputs.
  cv::Mat probe(kInputSide, kInputSide, CV_8UC1);
  for (int y = 0; y < kInputSide; ++y)
    for (int x = 0; x < kInputSide; ++x) probe.at<uint8_t>(y, x) = uint8_t((x * 7 + y * 13) % 256);
  if (!RunNetwork(probe)) return;
  std::vector<cv::Mat> expected;
  for (const cv::Mat& o : outputs_) expected.push_back(o.clone());

  int conv = -1;
  for (const auto& name : net_.getLayerNames()) {
    int id = net_.getLayerId(name);
    if (net_.getLayer(id)->type == "Convolution") {
      conv = id;
      break;
    }
  }
  if (conv < 0) return;
  cv::Mat w = net_.getParam(conv, 0);
  if (w.dims != 4 || w.size[1] != 3 || w.type() != CV_32F) return;
  int shape[4] = {w.size[0], 1, w.size[2], w.size[3]};
  cv::Mat folded(4, shape, CV_32F);
  const int plane = w.size[2] * w.size[3];
  for (int o = 0; o < w.size[0]; ++o) {
    const float* src = w.ptr<float>() + size_t(o) * 3 * plane;
    float* dst = folded.ptr<float>() + size_t(o) * plane;
    for (int i = 0; i < plane; ++i) dst[i] = src[i] + src[plane + i] + src[2 * plane + i];
  }
  net_.setParam(conv, 0, folded);
  SetChannels(1);
  bool same = RunNetwork(probe) && outputs_.size() == expected.size();
  for (size_t i = 0; same && i < expected.size(); ++i) {
    double scale = std::max(1.0, cv::norm(expected[i], cv::NORM_INF));
    same = outputs_[i].total() == expected[i].total() &&
           cv::norm(outputs_[i], expected[i], cv::NORM_INF) <= 1e-4 * scale;
  }
  if (same) return;
  net_.setParam(conv, 0, w);
  SetChannels(3);
}

bool BlazeFaceModel::Load(const std::string& path) {
  loaded_ = false;
  try {
    // The net's layers are made at its first run, the probe below: the faster ones where they
    // apply.
    BlazeFaceLayers faster;
    net_ = cv::dnn::readNetFromONNX(path);
    if (net_.empty()) {
      ORLITH_LOG_ERROR("face model " + path + " could not be read");
      return false;
    }
    outputNames_.clear();
    for (const auto& n : net_.getUnconnectedOutLayersNames()) outputNames_.push_back(n);
    SetChannels(3);
    // Probe once with a grey picture: this checks the shapes and warms the network up.
    cv::Mat grey(kInputSide, kInputSide, CV_8UC1, cv::Scalar(128));
    if (!RunNetwork(grey) || outputs_.size() != 4) {
      ORLITH_LOG_ERROR("face model " + path + " does not have the expected outputs");
      return false;
    }
    // Tell the outputs apart by shape rather than by name.
    int s16 = -1, s8 = -1, b16 = -1, b8 = -1;
    for (int i = 0; i < 4; ++i) {
      const cv::Mat& o = outputs_[i];
      int n = dim(o, 1), k = dim(o, 2);
      if (n == kCells16 && k == 1) s16 = i;
      if (n == kCells8 && k == 1) s8 = i;
      if (n == kCells16 && k == kValuesPerBox) b16 = i;
      if (n == kCells8 && k == kValuesPerBox) b8 = i;
    }
    if (s16 < 0 || s8 < 0 || b16 < 0 || b8 < 0) {
      ORLITH_LOG_ERROR("face model " + path + " does not have the expected outputs");
      return false;
    }
    scores16_ = s16, scores8_ = s8, boxes16_ = b16, boxes8_ = b8;
    FoldGreyInput();
    loaded_ = true;
    return true;
  } catch (const std::exception& e) {
    ORLITH_LOG_ERROR("face model " + path + " could not be loaded: " + e.what());
    return false;
  }
}

bool BlazeFaceModel::RunNetwork(const cv::Mat& input) {
  // NHWC, RGB in [-1, 1]: the luma replicated into the three channels, or once when folded.
  if (channels_ == 1) {
    cv::Mat plane(kInputSide, kInputSide, CV_32F, blob_.ptr<float>());
    input.convertTo(plane, CV_32F, 2.0 / 255.0, -1.0);
  } else {
    float* dst = blob_.ptr<float>();
    for (int y = 0; y < kInputSide; ++y) {
      const uint8_t* row = input.ptr<uint8_t>(y);
      for (int x = 0; x < kInputSide; ++x) {
        float v = row[x] * (2.0f / 255.0f) - 1.0f;
        dst[0] = v;
        dst[1] = v;
        dst[2] = v;
        dst += 3;
      }
    }
  }
  try {
    net_.setInput(blob_);
    net_.forward(outputs_, outputNames_);
    return true;
  } catch (const std::exception& e) {
    ORLITH_LOG_ERROR(std::string("face model run failed: ") + e.what());
    return false;
  }
}

std::vector<rect> BlazeFaceModel::Run(const cv::Mat& input, float minScore) {
  std::vector<rect> faces;
  if (!loaded_ || input.rows != kInputSide || input.cols != kInputSide || input.type() != CV_8UC1)
    return faces;
  if (!RunNetwork(input)) return faces;
  // Compare raw scores against the logit of the threshold: the sigmoid is only needed for the
  // few that pass.
  float p = std::min(std::max(minScore, 1e-6f), 1.0f - 1e-6f);
  float minLogit = std::log(p / (1.0f - p));
  const float* scores[2] = {outputs_[scores16_].ptr<float>(), outputs_[scores8_].ptr<float>()};
  const float* boxes[2] = {outputs_[boxes16_].ptr<float>(), outputs_[boxes8_].ptr<float>()};
  const float side = float(kInputSide);
  for (int i = 0; i < kAnchorCount; ++i) {
    int part = i < kCells16 ? 0 : 1;
    int j = part == 0 ? i : i - kCells16;
    float raw = scores[part][j];
    if (!(raw >= minLogit)) continue;
    raw = std::min(std::max(raw, -100.0f), 100.0f);
    const float* r = boxes[part] + size_t(j) * kValuesPerBox;
    float cx = r[0] + anchors_[i].cx * side;
    float cy = r[1] + anchors_[i].cy * side;
    float w = r[2], h = r[3];
    if (!(w > 0 && h > 0)) continue;
    faces.push_back({cx - w / 2, cy - h / 2, w, h, -1, 1.0f / (1.0f + std::exp(-raw))});
  }
  return faces;
}

}  // namespace selvo
