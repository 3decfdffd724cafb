#include "CorrelationTarget.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>

namespace selvo {

namespace {
constexpr float kPadding = 2.0f;   // window side / target side
constexpr int kTemplateSide = 48;  // the window's longer side in the template
constexpr float kLearnRate = 0.1f;
constexpr float kLostBelow = 6.0f;   // peak-to-sidelobe ratio of a lost target
constexpr float kFoundAbove = 8.0f;  // ... and of one found again
constexpr float kScaleStep = 1.04f;
constexpr float kScalePenalty = 0.985f;  // prefer the present size when peaks are close
constexpr int kSidelobeGap = 5;          // half the side of the square around the peak
constexpr float kMinGrowth = 0.5f;       // bounds of the size against the starting size
constexpr float kMaxGrowth = 2.0f;

// Complex division a / b per element, b being the real-valued power spectrum.
void divideSpectrum(const cv::Mat& a, const cv::Mat& b, cv::Mat& out) {
  out.create(a.size(), a.type());
  for (int y = 0; y < a.rows; ++y) {
    const cv::Vec2f* pa = a.ptr<cv::Vec2f>(y);
    const cv::Vec2f* pb = b.ptr<cv::Vec2f>(y);
    cv::Vec2f* po = out.ptr<cv::Vec2f>(y);
    for (int x = 0; x < a.cols; ++x) {
      float d = pb[x][0] + 1e-3f;
      po[x] = cv::Vec2f(pa[x][0] / d, pa[x][1] / d);
    }
  }
}

float parabolaPeak(float left, float centre, float right) {
  float d = left - 2 * centre + right;
  return std::abs(d) < 1e-6f ? 0.0f : std::clamp(0.5f * (left - right) / d, -0.5f, 0.5f);
}
}  // namespace

cv::Rect2f CorrelationTarget::Window(const cv::Rect2f& box, float scale) const {
  float w = box.width * kPadding * scale, h = box.height * kPadding * scale;
  float cx = box.x + box.width / 2, cy = box.y + box.height / 2;
  return {cx - w / 2, cy - h / 2, w, h};
}

void CorrelationTarget::Prepare(cv::Mat& patch) const {
  // Log lifts the dark parts; zero mean and unit variance make the filter blind to lighting.
  cv::log(patch + 1.0f, patch);
  cv::Scalar mean, stddev;
  cv::meanStdDev(patch, mean, stddev);
  patch = (patch - mean[0]) / (stddev[0] + 1e-5);
  patch = patch.mul(hann_);
}

bool CorrelationTarget::Start(const LumaPyramid& frame, const cv::Rect2f& box) {
  if (!(box.width >= 4 && box.height >= 4) || !frame.Base().data) return false;
  box_ = box;
  startSize_ = box.size();
  lost_ = false;
  float longer = std::max(box.width, box.height) * kPadding;
  float f = kTemplateSide / longer;
  size_.width = cv::getOptimalDFTSize(std::max(16, int(std::lround(box.width * kPadding * f))));
  size_.height = cv::getOptimalDFTSize(std::max(16, int(std::lround(box.height * kPadding * f))));
  cv::createHanningWindow(hann_, size_, CV_32F);

  // A Gaussian peak at the centre is what the filter should answer to the target.
  cv::Mat g(size_, CV_32F);
  float sigma = 2.0f;
  for (int y = 0; y < size_.height; ++y)
    for (int x = 0; x < size_.width; ++x) {
      float dx = x - size_.width / 2.0f, dy = y - size_.height / 2.0f;
      g.at<float>(y, x) = std::exp(-(dx * dx + dy * dy) / (2 * sigma * sigma));
    }
  cv::dft(g, target_, cv::DFT_COMPLEX_OUTPUT);

  frame.Sample(Window(box_, 1.0f), size_, patch_);
  cv::Mat base = patch_.clone();
  numerator_ = cv::Mat::zeros(target_.size(), target_.type());
  denominator_ = cv::Mat::zeros(target_.size(), target_.type());
  // Train on the target and slightly turned and rescaled copies of it, so the first frames
  // already tolerate a little change.
  const float turns[] = {0, -6, 6, -3, 3, 0, 0, 0};
  const float scales[] = {1, 1, 1, 0.96f, 1.04f, 0.93f, 1.07f, 1};
  for (int i = 0; i < 8; ++i) {
    cv::Mat m = cv::getRotationMatrix2D(cv::Point2f(size_.width / 2.0f, size_.height / 2.0f),
                                        turns[i], scales[i]);
    cv::Mat warped;
    cv::warpAffine(base, warped, m, size_, cv::INTER_LINEAR, cv::BORDER_REFLECT);
    Prepare(warped);
    cv::dft(warped, spectrum_, cv::DFT_COMPLEX_OUTPUT);
    cv::Mat a, b;
    cv::mulSpectrums(target_, spectrum_, a, 0, true);
    cv::mulSpectrums(spectrum_, spectrum_, b, 0, true);
    numerator_ += a;
    denominator_ += b;
  }
  divideSpectrum(numerator_, denominator_, filter_);
  psr_ = kFoundAbove * 2;
  return true;
}

float CorrelationTarget::Respond(const cv::Mat& patch, cv::Point2f* offset, float* psr) {
  cv::dft(patch, spectrum_, cv::DFT_COMPLEX_OUTPUT);
  cv::mulSpectrums(spectrum_, filter_, product_, 0, false);
  cv::idft(product_, response_, cv::DFT_REAL_OUTPUT | cv::DFT_SCALE);

  double peak;
  cv::Point at;
  cv::minMaxLoc(response_, nullptr, &peak, nullptr, &at);
  auto value = [&](int x, int y) {
    return response_.at<float>(std::clamp(y, 0, response_.rows - 1),
                               std::clamp(x, 0, response_.cols - 1));
  };
  float px = at.x + parabolaPeak(value(at.x - 1, at.y), float(peak), value(at.x + 1, at.y));
  float py = at.y + parabolaPeak(value(at.x, at.y - 1), float(peak), value(at.x, at.y + 1));
  *offset = {px - size_.width / 2.0f, py - size_.height / 2.0f};

  // Peak-to-sidelobe ratio: the peak against the response outside a small square around it.
  cv::Rect all(0, 0, response_.cols, response_.rows);
  cv::Rect gap = cv::Rect(at.x - kSidelobeGap, at.y - kSidelobeGap, 2 * kSidelobeGap + 1,
                          2 * kSidelobeGap + 1) &
                 all;
  double sum = cv::sum(response_)[0], squares = response_.dot(response_);
  cv::Mat inner = response_(gap);
  sum -= cv::sum(inner)[0];
  squares -= inner.dot(inner);
  double n = double(all.area() - gap.area());
  double mean = sum / n, var = std::max(0.0, squares / n - mean * mean);
  *psr = float((peak - mean) / (std::sqrt(var) + 1e-6));
  return float(peak);
}

void CorrelationTarget::Learn(const cv::Mat& patch, float rate) {
  cv::dft(patch, spectrum_, cv::DFT_COMPLEX_OUTPUT);
  cv::Mat a, b;
  cv::mulSpectrums(target_, spectrum_, a, 0, true);
  cv::mulSpectrums(spectrum_, spectrum_, b, 0, true);
  cv::addWeighted(numerator_, 1 - rate, a, rate, 0, numerator_);
  cv::addWeighted(denominator_, 1 - rate, b, rate, 0, denominator_);
  divideSpectrum(numerator_, denominator_, filter_);
}

bool CorrelationTarget::Follow(const LumaPyramid& frame) {
  const LumaPlane& plane = frame.Base();
  if (size_.empty() || !frame.Base().data) return false;
  ++frames_;
  // Look at three sizes; the best peak wins, the present size by a small margin.
  const float scales[] = {1.0f, 1.0f / kScaleStep, kScaleStep};
  float bestPeak = -1, bestPsr = 0, bestScale = 1;
  cv::Point2f bestOffset;
  for (float s : scales) {
    frame.Sample(Window(box_, s), size_, patch_);
    Prepare(patch_);
    cv::Point2f offset;
    float psr;
    float peak = Respond(patch_, &offset, &psr);
    if (s != 1.0f) peak *= kScalePenalty;
    if (peak > bestPeak) {
      bestPeak = peak, bestPsr = psr, bestScale = s, bestOffset = offset;
    }
    // A lost target is only looked for at its last size; sizes change slowly, so they are
    // looked at on every other frame.
    if (lost_ || (frames_ & 1)) break;
  }
  psr_ = bestPsr;
  if (lost_ ? bestPsr < kFoundAbove : bestPsr < kLostBelow) {
    lost_ = true;
    return false;
  }
  lost_ = false;
  // Template pixels to frame pixels.
  cv::Rect2f window = Window(box_, bestScale);
  float fx = window.width / size_.width, fy = window.height / size_.height;
  float cx = box_.x + box_.width / 2 + bestOffset.x * fx;
  float cy = box_.y + box_.height / 2 + bestOffset.y * fy;
  // The size may drift only so far from the one it started with, and never past the picture.
  float grow = std::clamp(box_.width * bestScale / startSize_.width, kMinGrowth, kMaxGrowth);
  grow = std::min(grow, float(plane.height) / startSize_.height);
  float w = startSize_.width * grow, h = startSize_.height * grow;
  if (plane.is360) {
    cx = std::fmod(cx, float(plane.width));
    if (cx < 0) cx += plane.width;
  } else {
    cx = std::clamp(cx, 0.0f, float(plane.width));
  }
  cy = std::clamp(cy, 0.0f, float(plane.height));
  box_ = {cx - w / 2, cy - h / 2, w, h};

  frame.Sample(Window(box_, 1.0f), size_, patch_);
  Prepare(patch_);
  Learn(patch_, kLearnRate);
  return true;
}

float CorrelationTarget::Confidence() const {
  if (lost_) return 0.0f;
  return std::clamp(psr_ / 20.0f, 0.05f, 1.0f);
}

}  // namespace selvo
