#include "facedetect/FaceDetectorOutput.h"

namespace orlith {

std::vector<std::string> FaceDetectorOutput::featureNames() const {
  std::vector<std::string> names;
  for (const auto& [name, value] : provider_) names.push_back(name);
  return names;
}

std::optional<cv::Mat> FaceDetectorOutput::featureValue(const std::string& name) const {
  auto it = provider_.find(name);
  if (it == provider_.end()) return std::nullopt;
  return it->second;
}

}  // namespace orlith
