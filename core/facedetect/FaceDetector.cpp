#include "facedetect/FaceDetector.h"

#include <filesystem>

#include "OrlithLog.h"

namespace orlith {

std::unique_ptr<FaceDetector> FaceDetector::load(const std::string& modelPath,
                                                 std::string* error) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(modelPath, ec)) {
    if (error) *error = "no face model at " + modelPath;
    return nullptr;
  }
  try {
    cv::dnn::Net net = cv::dnn::readNetFromONNX(modelPath);
    if (net.empty()) {
      if (error) *error = "the face model " + modelPath + " holds no network";
      return nullptr;
    }
    net.setPreferableBackend(cv::dnn::DNN_BACKEND_OPENCV);
    net.setPreferableTarget(cv::dnn::DNN_TARGET_CPU);
    return std::unique_ptr<FaceDetector>(new FaceDetector(std::move(net)));
  } catch (const cv::Exception& e) {
    if (error) *error = "the face model " + modelPath + " cannot be read: " + e.what();
    return nullptr;
  }
}

std::optional<FaceDetectorOutput> FaceDetector::prediction(const FaceDetectorInput& input) {
  try {
    model_.setInput(input.input0());
    std::vector<std::string> names = {"1598", "1799"};
    std::vector<cv::Mat> outs;
    model_.forward(outs, names);
    std::map<std::string, cv::Mat> provider;
    for (size_t i = 0; i < outs.size() && i < names.size(); ++i) provider[names[i]] = outs[i];
    return FaceDetectorOutput(std::move(provider));
  } catch (const cv::Exception& e) {
    ORLITH_LOG_ERROR(std::string("face model run failed: ") + e.what());
    return std::nullopt;
  }
}

}  // namespace orlith
