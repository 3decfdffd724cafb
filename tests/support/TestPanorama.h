#pragma once

#include <opencv2/core.hpp>
#include <string>
#include <vector>

namespace visiontest {

// One group photo put into a panorama: scaled to heightFraction of the panorama's height,
// vertically centred, its left edge at x (wrapping round a 360-degree panorama).
struct Placement {
  std::string photo;
  int x = 0;
  float heightFraction = 1.0f;
};

// A panorama composed of labelled photos, with the true face boxes in its pixels (x in
// [0, width), a box may pass the right edge of a 360-degree panorama).
struct Panorama {
  int width = 0;
  int height = 0;
  bool is360 = false;
  cv::Mat bgr;
  cv::Mat luma;  // the NV12 luma plane of bgr, packed
  std::vector<cv::Rect2f> faces;
};

// The photo (BGR) and its hand-checked face boxes from tests/data/vision/face_boxes.json.
cv::Mat LoadPhoto(const std::string& name);
std::vector<cv::Rect2f> PhotoFaces(const std::string& name);

Panorama Compose(int width, int height, bool is360, const std::vector<Placement>& placements);

// Intersection over union, on a 360-degree panorama also across the seam.
float Overlap(const cv::Rect2f& a, const cv::Rect2f& b, float wrapWidth);

// The luma plane of a BGR picture as an NV12 frame carries it (full range).
cv::Mat ToLuma(const cv::Mat& bgr);

}  // namespace visiontest
