#pragma once

#include <memory>
#include <optional>
#include <opencv2/dnn.hpp>
#include <string>

#include "facedetect/FaceDetectorInput.h"
#include "facedetect/FaceDetectorOutput.h"

namespace orlith {

// The face model "FaceDetector.onnx" run through OpenCV's dnn module.
class FaceDetector {
 public:
  static constexpr const char* kModelFileName = "FaceDetector.onnx";

  // None, with `error` set, when the model file is missing or cannot be read.
  static std::unique_ptr<FaceDetector> load(const std::string& modelPath, std::string* error);

  // Runs the model; none when the run fails.
  std::optional<FaceDetectorOutput> prediction(const FaceDetectorInput& input);

 private:
  explicit FaceDetector(cv::dnn::Net net) : model_(std::move(net)) {}
  cv::dnn::Net model_;
};

}  // namespace orlith
