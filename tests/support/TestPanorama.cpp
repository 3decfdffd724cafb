#include "TestPanorama.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace visiontest {

namespace {
const nlohmann::json& labels() {
  static nlohmann::json j = [] {
    std::ifstream in(std::string(CORVANE_TEST_DATA_DIR) + "/vision/face_boxes.json");
    return nlohmann::json::parse(in);
  }();
  return j;
}
}  // namespace

cv::Mat LoadPhoto(const std::string& name) {
  static std::map<std::string, cv::Mat> cache;
  auto it = cache.find(name);
  if (it != cache.end()) return it->second;
  cv::Mat img = cv::imread(std::string(CORVANE_ASSETS_DIR) + "/photos/" + name, cv::IMREAD_COLOR);
  if (img.empty()) std::fprintf(stderr, "test photo %s is missing\n", name.c_str());
  cache[name] = img;
  return img;
}

std::vector<cv::Rect2f> PhotoFaces(const std::string& name) {
  std::vector<cv::Rect2f> faces;
  for (const auto& b : labels()["photos"][name])
    faces.emplace_back(b[0].get<float>(), b[1].get<float>(), b[2].get<float>(), b[3].get<float>());
  return faces;
}

cv::Mat ToLuma(const cv::Mat& bgr) {
  cv::Mat i420;
  cv::cvtColor(bgr, i420, cv::COLOR_BGR2YUV_I420);
  return i420.rowRange(0, bgr.rows).clone();
}

Panorama Compose(int width, int height, bool is360, const std::vector<Placement>& placements) {
  Panorama p;
  p.width = width;
  p.height = height;
  p.is360 = is360;
  // A plain wall behind the photos.
  p.bgr = cv::Mat(height, width, CV_8UC3, cv::Scalar(96, 100, 104));
  for (const Placement& pl : placements) {
    cv::Mat photo = LoadPhoto(pl.photo);
    float scale = height * pl.heightFraction / float(photo.rows);
    cv::Mat scaled;
    cv::resize(photo, scaled, cv::Size(), scale, scale, cv::INTER_AREA);
    int top = (height - scaled.rows) / 2;
    for (int c = 0; c < scaled.cols; ++c) {
      int x = pl.x + c;
      if (is360) x = ((x % width) + width) % width;
      if (x < 0 || x >= width) continue;
      scaled.col(c).copyTo(p.bgr(cv::Rect(x, top, 1, scaled.rows)));
    }
    for (const cv::Rect2f& f : PhotoFaces(pl.photo)) {
      cv::Rect2f r(pl.x + f.x * scale, top + f.y * scale, f.width * scale, f.height * scale);
      if (is360) r.x = std::fmod(std::fmod(r.x, float(width)) + width, float(width));
      p.faces.push_back(r);
    }
  }
  p.luma = ToLuma(p.bgr);
  return p;
}

float Overlap(const cv::Rect2f& a, const cv::Rect2f& b, float wrapWidth) {
  float best = 0;
  for (int k = -1; k <= 1; ++k) {
    if (wrapWidth <= 0 && k != 0) continue;
    cv::Rect2f s(a.x + k * wrapWidth, a.y, a.width, a.height);
    float inter = (s & b).area();
    float uni = s.area() + b.area() - inter;
    if (uni > 0) best = std::max(best, inter / uni);
  }
  return best;
}

}  // namespace visiontest
