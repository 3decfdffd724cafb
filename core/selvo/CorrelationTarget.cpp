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

bool CorrelationTarget::Start(const LumaPlane& plane, const cv::Rect2f& box) {
  if (!(box.width >= 4 && box.height >= 4) || !plane.data) return false;
  box_ = box;
  lost_ = false;
  float longer = std::max(box.width, box.height) * kPadding;
  float f = kTemplateSide / longer;
  size_.width = std::max(16, int(std::lround(box.width * kPadding * f / 2)) * 2);
  size_.height = std::max(16, int(std::lround(box.height * kPadding * f / 2)) * 2);
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

  LumaCrop::Sample(plane, Window(box_, 1.0f), size_, patch_);
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
  psr_ = kFoundAbove * 2;
  return true;
}

float CorrelationTarget::Respond(const cv::Mat& patch, cv::Point2f* offset, float* psr) {
  cv::dft(patch, spectrum_, cv::DFT_COMPLEX_OUTPUT);
  cv::Mat filter;
  divideSpectrum(numerator_, denominator_, filter);
  cv::mulSpectrums(spectrum_, filter, product_, 0, false);
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
  cv::Mat mask(response_.size(), CV_8UC1, cv::Scalar(255));
  cv::rectangle(mask,
                cv::Rect(at.x - kSidelobeGap, at.y - kSidelobeGap, 2 * kSidelobeGap + 1,
                         2 * kSidelobeGap + 1),
                cv::Scalar(0), cv::FILLED);
  cv::Scalar mean, stddev;
  cv::meanStdDev(response_, mean, stddev, mask);
  *psr = float((peak - mean[0]) / (stddev[0] + 1e-6));
  return float(peak);
}

void CorrelationTarget::Learn(const cv::Mat& patch, float rate) {
  cv::dft(patch, spectrum_, cv::DFT_COMPLEX_OUTPUT);
  cv::Mat a, b;
  cv::mulSpectrums(target_, spectrum_, a, 0, true);
  cv::mulSpectrums(spectrum_, spectrum_, b, 0, true);
  cv::addWeighted(numerator_, 1 - rate, a, rate, 0, numerator_);
  cv::addWeighted(denominator_, 1 - rate, b, rate, 0, denominator_);
}

bool CorrelationTarget::Follow(const LumaPlane& plane) {
  if (size_.empty() || !plane.data) return false;
  // Look at three sizes; the best peak wins, the present size by a small margin.
  const float scales[] = {1.0f, 1.0f / kScaleStep, kScaleStep};
  float bestPeak = -1, bestPsr = 0, bestScale = 1;
  cv::Point2f bestOffset;
  for (float s : scales) {
    LumaCrop::Sample(plane, Window(box_, s), size_, patch_);
    Prepare(patch_);
    cv::Point2f offset;
    float psr;
    float peak = Respond(patch_, &offset, &psr);
    if (s != 1.0f) peak *= kScalePenalty;
    if (peak > bestPeak) {
      bestPeak = peak, bestPsr = psr, bestScale = s, bestOffset = offset;
    }
    if (lost_) break;  // a lost target is only looked for at its last size
  }
  psr_ = bestPsr;
  if (lost_ ? bestPsr < kFoundAbove : bestPsr < kLostBelow) {
    lost_ = true;
    return false;
  }
  lost_ = false;
  // Template pixels to plane pixels.
  cv::Rect2f window = Window(box_, bestScale);
  float fx = window.width / size_.width, fy = window.height / size_.height;
  float cx = box_.x + box_.width / 2 + bestOffset.x * fx;
  float cy = box_.y + box_.height / 2 + bestOffset.y * fy;
  float w = box_.width * bestScale, h = box_.height * bestScale;
  if (plane.is360) {
    cx = std::fmod(cx, float(plane.width));
    if (cx < 0) cx += plane.width;
  } else {
    cx = std::clamp(cx, 0.0f, float(plane.width));
  }
  cy = std::clamp(cy, 0.0f, float(plane.height));
  box_ = {cx - w / 2, cy - h / 2, w, h};

  LumaCrop::Sample(plane, Window(box_, 1.0f), size_, patch_);
  Prepare(patch_);
  Learn(patch_, kLearnRate);
  return true;
}

float CorrelationTarget::Confidence() const {
  if (lost_) return 0.0f;
  return std::clamp(psr_ / 20.0f, 0.05f, 1.0f);
}

}  // namespace selvo
