#pragma once

#include <map>
#include <opencv2/core.hpp>
#include <optional>
#include <string>
#include <vector>

namespace orlith {

// What the model returned, by output name.
class FaceDetectorOutput {
 public:
  explicit FaceDetectorOutput(std::map<std::string, cv::Mat> provider)
      : provider_(std::move(provider)) {}

  std::vector<std::string> featureNames() const;
  std::optional<cv::Mat> featureValue(const std::string& name) const;

 private:
  std::map<std::string, cv::Mat> provider_;
};

}  // namespace orlith
