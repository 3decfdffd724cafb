#include "facedetect/IDetector.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>

#include "AppExecutionMode.h"
#include "GeneralPrinter.h"
#include "OrlithLog.h"
#include "selvo/SelvoFactory.h"

namespace orlith {

namespace {
constexpr float kConfidence = 0.6f;
constexpr float kMinArea = 25.0f;
constexpr float kOverlap = 0.2f;

// The framework's copy of the execution-mode detection, asked with its printer off.
bool runningTranslated() {
  GeneralPrinter::enabled = false;
  return AppExecutionMode::current() == AppExecutionMode::emulated;
}
}  // namespace

IDetector& IDetector::shared() {
  static IDetector detector(
      runningTranslated(),
      (std::filesystem::path(selvo::GetSelvoResourceFolder()) / FaceDetector::kModelFileName)
          .string());
  return detector;
}

IDetector::IDetector(bool runningTranslated, const std::string& modelPath)
    : runningWithRosetta_(runningTranslated) {
  ORLITH_LOG_INFO(std::string("[IDetector] Studio running with rosetta:") +
                  (runningTranslated ? "true" : "false"));
  std::string error;
  visionModel_ = FaceDetector::load(modelPath, &error);
  if (!visionModel_) ORLITH_LOG_WARNING("face detector unavailable: " + error);
}

IDetector::~IDetector() { visionQueue_.drain(); }

void IDetector::setSrcType(bool is360) {
  std::lock_guard lock(mutex_);
  srcType_ = is360;
}

void IDetector::detect(const platform::PixelBufferRef& buffer) {
  if (!buffer || buffer->format() != platform::PixelFormat::NV12FullRange) return;
  {
    std::lock_guard lock(mutex_);
    srcWidth_ = buffer->width();
    srcHeight_ = buffer->height();
    if (inDetect_ || !visionModel_) return;
    time_ = double(std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count());
    inDetect_ = true;
  }
  visionQueue_.async([this, buffer] {
    auto input = FaceDetectorInput::fromNV12(buffer->baseAddress(0), buffer->bytesPerRow(0),
                                             buffer->baseAddress(1), buffer->bytesPerRow(1),
                                             buffer->width(), buffer->height());
    std::optional<FaceDetectorOutput> output;
    if (input) output = visionModel_->prediction(*input);
    auto boxes = output ? output->featureValue("1598") : std::nullopt;
    auto scores = output ? output->featureValue("1799") : std::nullopt;
    if (!output || !scores || !boxes || scores->type() != CV_32F || boxes->type() != CV_32F) {
      // A failed or unexpected run ends this detection without results; the next frame may try.
      if (output) ORLITH_LOG_ERROR("face model gave no usable outputs");
      finishDetection({});
      return;
    }
    size_t covered = scores->dims >= 2 ? size_t(scores->size[1]) : 0;
    double W, H;
    bool is360;
    {
      std::lock_guard lock(mutex_);
      W = srcWidth_;
      H = srcHeight_;
      is360 = srcType_;
    }
    cv::Mat b = boxes->isContinuous() ? *boxes : boxes->clone();
    cv::Mat s = scores->isContinuous() ? *scores : scores->clone();
    finishDetection(decode(b.ptr<float>(), b.total() / 4, s.ptr<float>(), s.total() / 2, covered, W,
                           H, is360));
  });
}

void IDetector::finishDetection(std::vector<Rect> rects) {
  std::lock_guard lock(mutex_);
  origRects_ = rects;
  adjustRects_ = std::move(rects);
  rectsCount_ = int64_t(origRects_.size());
  isUpdated_ = true;
  inDetect_ = false;
}

const std::vector<float>& IDetector::priorTable() {
  static const std::vector<float> table = [] {
    std::vector<float> t;
    t.reserve(kPriorCount * 4);
    const int steps[3] = {8, 16, 32};
    const int sizes[3][2] = {{16, 32}, {64, 128}, {256, 512}};
    for (int level = 0; level < 3; ++level) {
      int cells = kInputSide / steps[level];
      for (int row = 0; row < cells; ++row) {
        for (int col = 0; col < cells; ++col) {
          for (int m : sizes[level]) {
            t.push_back(float((col + 0.5) * steps[level] / kInputSide));
            t.push_back(float((row + 0.5) * steps[level] / kInputSide));
            t.push_back(float(m) / kInputSide);
            t.push_back(float(m) / kInputSide);
          }
        }
      }
    }
    return t;
  }();
  return table;
}

float IDetector::overlapRatio(const Bbox& a, const Bbox& b) {
  float iw = std::max(0.0f, std::min(a.x2, b.x2) - std::max(a.x1, b.x1) + 1);
  float ih = std::max(0.0f, std::min(a.y2, b.y2) - std::max(a.y1, b.y1) + 1);
  float inter = iw * ih;
  return inter / (a.area + b.area - inter);
}

std::vector<Bbox> IDetector::suppress(std::vector<Bbox> boxes) {
  std::stable_sort(boxes.begin(), boxes.end(),
                   [](const Bbox& a, const Bbox& b) { return a.score < b.score; });
  std::vector<size_t> work(boxes.size());
  for (size_t i = 0; i < work.size(); ++i) work[i] = i;
  std::vector<Bbox> kept;
  while (!work.empty()) {
    const Bbox taken = boxes[work.back()];
    work.pop_back();
    kept.push_back(taken);
    std::erase_if(work, [&](size_t i) { return overlapRatio(boxes[i], taken) > kOverlap; });
  }
  return kept;
}

std::vector<IDetector::Rect> IDetector::decode(const float* boxes, size_t boxRows,
                                               const float* scores, size_t scoreRows,
                                               size_t priorsCovered, double W, double H,
                                               bool srcType) {
  std::vector<Rect> out;
  if (!scores || !boxes || W <= 0) return out;
  const auto& priors = priorTable();
  // Never read past the table or what the model delivered.
  size_t n = std::min({priorsCovered, kPriorCount, boxRows, scoreRows});
  struct Candidate {
    float x1, y1, x2, y2, score;
  };
  std::vector<Candidate> candidates;
  for (size_t i = 0; i < n; ++i) {
    float score = scores[2 * i + 1];
    if (!(score > kConfidence)) continue;
    const float* p = &priors[4 * i];
    const float* d = &boxes[4 * i];
    float cx = p[0] + d[0] * 0.1f * p[2];
    float cy = p[1] + d[1] * 0.1f * p[3];
    float w = p[2] * std::exp(0.2f * d[2]);
    float h = p[3] * std::exp(0.2f * d[3]);
    float x1 = cx - w / 2, y1 = cy - h / 2;
    candidates.push_back({x1 * kInputSide, y1 * kInputSide, (x1 + w) * kInputSide,
                          (y1 + h) * kInputSide, score});
  }
  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const Candidate& a, const Candidate& b) { return a.score < b.score; });
  float scale = float(W) / float(kInputSide);
  float hi = float(W) - 1;
  std::vector<Bbox> bboxes;
  for (const auto& c : candidates) {
    Bbox b;
    b.x1 = std::clamp(c.x1 * scale, 0.0f, hi);
    b.y1 = std::clamp(c.y1 * scale, 0.0f, hi);
    b.x2 = std::clamp(c.x2 * scale, 0.0f, hi);
    b.y2 = std::clamp(c.y2 * scale, 0.0f, hi);
    b.area = (b.x2 - b.x1) * (b.y2 - b.y1);
    b.score = c.score;
    if (b.area > kMinArea) bboxes.push_back(b);
  }
  float offset = (float(W) - float(H)) / 2;
  double g = W / kInputSide;
  if (srcType) g *= 1.0909090909090908;
  for (const auto& b : suppress(std::move(bboxes))) {
    out.push_back({b.x1 / g, (b.y1 - offset) / g, (b.x2 - b.x1) / g, (b.y2 - b.y1) / g});
  }
  return out;
}

bool IDetector::isUpdated() const {
  std::lock_guard lock(mutex_);
  return isUpdated_;
}

void IDetector::setIsUpdated(bool updated) {
  std::lock_guard lock(mutex_);
  isUpdated_ = updated;
}

bool IDetector::inDetect() const {
  std::lock_guard lock(mutex_);
  return inDetect_;
}

int64_t IDetector::rectsCount() const {
  std::lock_guard lock(mutex_);
  return rectsCount_;
}

std::vector<IDetector::Rect> IDetector::origRects() const {
  std::lock_guard lock(mutex_);
  return origRects_;
}

std::vector<IDetector::Rect> IDetector::adjustRects() const {
  std::lock_guard lock(mutex_);
  return adjustRects_;
}

double IDetector::srcWidth() const {
  std::lock_guard lock(mutex_);
  return srcWidth_;
}

double IDetector::srcHeight() const {
  std::lock_guard lock(mutex_);
  return srcHeight_;
}

bool IDetector::srcType() const {
  std::lock_guard lock(mutex_);
  return srcType_;
}

void IDetector::waitUntilIdle() { visionQueue_.drain(); }

}  // namespace orlith
