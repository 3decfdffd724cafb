#pragma once

#include <opencv2/core.hpp>
#include <optional>
#include <string>
#include <vector>

namespace orlith {

// The model's one input, "input0": the frame scaled to fit a 1920 x 1920 square, centred,
// as a 1 x 3 x 1920 x 1920 RGB float blob (values 0..255).
class FaceDetectorInput {
 public:
  static constexpr int kSide = 1920;

  explicit FaceDetectorInput(cv::Mat blob) : input0_(std::move(blob)) {}
  // From an NV12 frame's planes; none when the frame is empty.
  static std::optional<FaceDetectorInput> fromNV12(const uint8_t* luma, size_t lumaStride,
                                                   const uint8_t* chroma, size_t chromaStride,
                                                   int width, int height);

  std::vector<std::string> featureNames() const { return {"input0"}; }
  // The blob for "input0"; none for any other name.
  std::optional<cv::Mat> featureValue(const std::string& name) const;
  const cv::Mat& input0() const { return input0_; }

 private:
  cv::Mat input0_;
};

}  // namespace orlith
