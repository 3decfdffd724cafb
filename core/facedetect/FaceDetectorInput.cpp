#include "facedetect/FaceDetectorInput.h"

#include <opencv2/dnn.hpp>
#include <opencv2/imgproc.hpp>

namespace orlith {

std::optional<FaceDetectorInput> FaceDetectorInput::fromNV12(const uint8_t* luma,
                                                              size_t lumaStride,
                                                              const uint8_t* chroma,
                                                              size_t chromaStride, int width,
                                                              int height) {
  if (!luma || !chroma || width < 2 || height < 2) return std::nullopt;
  cv::Mat y(height, width, CV_8UC1, const_cast<uint8_t*>(luma), lumaStride);
  cv::Mat uv(height / 2, width / 2, CV_8UC2, const_cast<uint8_t*>(chroma), chromaStride);
  cv::Mat rgb;
  cv::cvtColorTwoPlane(y, uv, rgb, cv::COLOR_YUV2RGB_NV12);
  // Scale to fit, centred on a black square.
  double g = double(kSide) / std::max(width, height);
  int w = std::max(1, int(std::lround(width * g))), h = std::max(1, int(std::lround(height * g)));
  cv::Mat square(kSide, kSide, CV_8UC3, cv::Scalar(0, 0, 0));
  cv::Mat scaled;
  cv::resize(rgb, scaled, cv::Size(w, h), 0, 0, cv::INTER_AREA);
  scaled.copyTo(square(cv::Rect((kSide - w) / 2, (kSide - h) / 2, w, h)));
  return FaceDetectorInput(cv::dnn::blobFromImage(square, 1.0, cv::Size(), cv::Scalar(), false));
}

std::optional<cv::Mat> FaceDetectorInput::featureValue(const std::string& name) const {
  if (name != "input0") return std::nullopt;
  return input0_;
}

}  // namespace orlith
