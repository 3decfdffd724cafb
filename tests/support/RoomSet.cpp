#include "RoomSet.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "MeetingRoomSet.h"

namespace visiontest {

namespace {

const std::vector<std::string> kPhotos = {"sample1.jpg", "sample2.jpg", "sample3.jpg",
                                          "sample4.jpg", "sample5.jpg", "sample6.jpg"};

struct FaceRef {
  std::string photo;
  cv::Rect2f box;
};

const std::vector<FaceRef>& AllFaces() {
  static std::vector<FaceRef> faces = [] {
    std::vector<FaceRef> list;
    for (const auto& photo : kPhotos)
      for (const auto& box : PhotoFaces(photo)) list.push_back({photo, box});
    return list;
  }();
  return faces;
}

}  // namespace

cv::Mat RoomBackground(int width, int height, bool bright) {
  cv::Mat room(height, width, CV_8UC3);
  cv::RNG rng(height * 7919 + width);
  for (int y = 0; y < height; ++y) {
    float t = float(y) / float(height);
    cv::Vec3b c;
    if (t < 0.15f)
      c = cv::Vec3b(200, 204, 206);  // ceiling
    else if (t < 0.72f)
      c = cv::Vec3b(uchar(120 - 30 * t), uchar(128 - 30 * t), uchar(136 - 30 * t));  // wall
    else
      c = cv::Vec3b(48, 62, 84);  // table
    room.row(y).setTo(cv::Scalar(c[0], c[1], c[2]));
  }
  // Windows and wall panels at fixed places round the room.
  for (int i = 0; i < 9; ++i) {
    int x = int(width * (i + 0.25) / 9.0);
    int w = int(width / 20.0);
    cv::Rect r(x, int(height * 0.2), w, int(height * 0.45));
    bool window = i % 3 == 0;
    cv::rectangle(room, r, window ? cv::Scalar(225, 225, 220) : cv::Scalar(86, 92, 100),
                  cv::FILLED);
  }
  if (bright) {
    // Windows all round: the wall behind the people is bright.
    cv::Rect band(0, int(height * 0.15), width, int(height * 0.57));
    room(band).setTo(cv::Scalar(236, 238, 240));
  }
  cv::Mat noise(height, width, CV_8UC3);
  rng.fill(noise, cv::RNG::NORMAL, 0, 3);
  room += noise;
  return room;
}

namespace {}  // namespace

// The face centre's place in the cut, the cut's top-left in the room and the blend: see the
// header. A turned face is the cut and its mask squeezed across about the face's centre, the
// far side a little shorter, as a head turned away from the camera looks.
cv::Rect2f PlacePerson(cv::Mat& room, bool is360, const std::string& photoName, const cv::Rect2f& f,
                       int faceHeight, int x, int y, float darken, float turn) {
  cv::Mat photo = LoadPhoto(photoName);
  float s = float(faceHeight) / f.height;
  cv::Rect cut(int(f.x - 0.8f * f.width), int(f.y - 0.5f * f.height), int(2.6f * f.width),
               int(2.6f * f.height));
  cut &= cv::Rect(0, 0, photo.cols, photo.rows);
  cv::Mat person;
  cv::resize(photo(cut), person, cv::Size(), s, s, cv::INTER_AREA);
  // Head and shoulders: an ellipse round the face and a wider one for the shoulders.
  cv::Mat mask(person.size(), CV_32F, cv::Scalar(0));
  cv::Point2f fc((f.x + f.width / 2 - cut.x) * s, (f.y + f.height / 2 - cut.y) * s);
  cv::ellipse(mask, fc, cv::Size2f(faceHeight * 0.62f, faceHeight * 0.75f), 0, 0, 360,
              cv::Scalar(1), cv::FILLED);
  cv::ellipse(mask, cv::Point2f(fc.x, fc.y + faceHeight * 1.5f),
              cv::Size2f(faceHeight * 1.2f, faceHeight * 0.8f), 0, 0, 360, cv::Scalar(1),
              cv::FILLED);
  int k = std::max(3, (faceHeight / 8) | 1);
  cv::GaussianBlur(mask, mask, cv::Size(k, k), 0);
  float faceWidth = faceHeight * f.width / f.height;
  float squeeze = testsupport::MeetingRoomSet::TurnedWidth(turn);
  if (turn != 0) {
    float hw = faceWidth / 2, hh = faceHeight / 2.0f;
    float shrink = 1.0f - 0.2f * std::min(1.0f, std::abs(turn));
    float lh = turn > 0 ? hh : hh * shrink, rh = turn > 0 ? hh * shrink : hh;
    cv::Point2f from[4] = {{fc.x - hw, fc.y - hh},
                           {fc.x + hw, fc.y - hh},
                           {fc.x + hw, fc.y + hh},
                           {fc.x - hw, fc.y + hh}};
    cv::Point2f to[4] = {{fc.x - hw * squeeze, fc.y - lh},
                         {fc.x + hw * squeeze, fc.y - rh},
                         {fc.x + hw * squeeze, fc.y + rh},
                         {fc.x - hw * squeeze, fc.y + lh}};
    cv::Mat m = cv::getPerspectiveTransform(from, to);
    cv::warpPerspective(person, person, m, person.size(), cv::INTER_LINEAR, cv::BORDER_REPLICATE);
    cv::warpPerspective(mask, mask, m, mask.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT);
  }
  int left = x - int(std::lround(fc.x - faceWidth * squeeze / 2));
  int top = y - int(std::lround(fc.y - faceHeight / 2.0f));
  for (int r = 0; r < person.rows; ++r) {
    int ry = top + r;
    if (ry < 0 || ry >= room.rows) continue;
    for (int c = 0; c < person.cols; ++c) {
      int rx = left + c;
      if (is360) rx = ((rx % room.cols) + room.cols) % room.cols;
      if (rx < 0 || rx >= room.cols) continue;
      float a = mask.at<float>(r, c);
      if (a <= 0) continue;
      cv::Vec3b p = person.at<cv::Vec3b>(r, c);
      cv::Vec3b& q = room.at<cv::Vec3b>(ry, rx);
      for (int ch = 0; ch < 3; ++ch)
        q[ch] = cv::saturate_cast<uchar>(a * p[ch] * darken + (1 - a) * q[ch]);
    }
  }
  float fx = float(x);
  if (is360) fx = std::fmod(std::fmod(fx, float(room.cols)) + room.cols, float(room.cols));
  return cv::Rect2f(fx, float(y), faceWidth * squeeze, float(faceHeight));
}

int LabelledFaceCount() { return int(AllFaces().size()); }

cv::Rect2f PlaceLabelledFace(cv::Mat& room, bool is360, int index, int faceHeight, int x, int y,
                             float darken, float turn) {
  const auto& faces = AllFaces();
  const FaceRef& face = faces[size_t(index) % faces.size()];
  return PlacePerson(room, is360, face.photo, face.box, faceHeight, x, y, darken, turn);
}

namespace {

void Spoil(cv::Mat& bgr, RoomCondition condition) {
  switch (condition) {
    case RoomCondition::plain:
    case RoomCondition::backlit:
      return;
    case RoomCondition::dim: {
      cv::Mat lut(1, 256, CV_8U);
      for (int i = 0; i < 256; ++i)
        lut.at<uchar>(i) = cv::saturate_cast<uchar>(255.0 * 0.55 * std::pow(i / 255.0, 1.8));
      cv::LUT(bgr, lut, bgr);
      cv::Mat noise(bgr.size(), CV_16SC3);
      cv::RNG rng(4242);
      rng.fill(noise, cv::RNG::NORMAL, 0, 5);
      cv::Mat wide;
      bgr.convertTo(wide, CV_16SC3);
      wide += noise;
      wide.convertTo(bgr, CV_8UC3);
      return;
    }
    case RoomCondition::jpeg40: {
      std::vector<uchar> bytes;
      cv::imencode(".jpg", bgr, bytes, {cv::IMWRITE_JPEG_QUALITY, 40});
      bgr = cv::imdecode(bytes, cv::IMREAD_COLOR);
      return;
    }
    case RoomCondition::blur9: {
      cv::Mat kernel = cv::Mat::ones(1, 9, CV_32F) / 9.0f;
      cv::filter2D(bgr, bgr, -1, kernel, cv::Point(-1, -1), 0, cv::BORDER_REFLECT);
      return;
    }
  }
}

}  // namespace

const char* ConditionName(RoomCondition c) {
  switch (c) {
    case RoomCondition::plain:
      return "plain";
    case RoomCondition::dim:
      return "dim";
    case RoomCondition::backlit:
      return "backlit";
    case RoomCondition::jpeg40:
      return "jpeg40";
    case RoomCondition::blur9:
      return "blur9";
  }
  return "?";
}

std::vector<RoomSpec> RoomSetSpecs() {
  std::vector<RoomSpec> specs;
  int first = 0;
  for (int size : {24, 32, 44, 64, 96}) {
    RoomSpec s;
    s.name = "3840x1080 faces " + std::to_string(size);
    s.faceHeight = size;
    s.first = first;
    first += 5;
    specs.push_back(s);
  }
  for (int size : {32, 64}) {
    RoomSpec s;
    s.name = "4992x1248 faces " + std::to_string(size) + (size == 64 ? " across the seam" : "");
    s.width = 4992;
    s.height = 1248;
    s.faceHeight = size;
    s.seam = size == 64;
    s.first = first;
    first += 5;
    specs.push_back(s);
  }
  for (RoomCondition c :
       {RoomCondition::dim, RoomCondition::backlit, RoomCondition::jpeg40, RoomCondition::blur9}) {
    RoomSpec s;
    s.name = std::string("3840x1080 faces 56 ") + ConditionName(c);
    s.faceHeight = 56;
    s.condition = c;
    s.first = first;
    first += 5;
    specs.push_back(s);
  }
  return specs;
}

Panorama EmptyRoom(int width, int height, bool is360) {
  Panorama p;
  p.width = width;
  p.height = height;
  p.is360 = is360;
  p.bgr = RoomBackground(width, height, false);
  p.luma = ToLuma(p.bgr);
  return p;
}

Panorama ComposeRoom(const RoomSpec& spec) {
  Panorama p;
  p.width = spec.width;
  p.height = spec.height;
  p.is360 = spec.is360;
  p.bgr = RoomBackground(spec.width, spec.height, spec.condition == RoomCondition::backlit);
  const auto& faces = AllFaces();
  cv::RNG rng(uint64_t(spec.faceHeight) * 131 + uint64_t(spec.width));
  for (int i = 0; i < spec.people; ++i) {
    const FaceRef& face = faces[size_t(spec.first + i) % faces.size()];
    // Seats round the room; faces between a third and a half of the way down, the nearer
    // (larger) faces a little lower.
    int x = int((i + 0.5) * spec.width / spec.people) + int(rng.uniform(-60, 60));
    if (spec.seam && i == spec.people - 1) x = spec.width - spec.faceHeight / 2;
    float band = 0.33f + 0.12f * float(rng.uniform(0.0, 1.0));
    int y = int(spec.height * band);
    float darken = spec.condition == RoomCondition::backlit ? 0.4f : 1.0f;
    p.faces.push_back(
        PlacePerson(p.bgr, spec.is360, face.photo, face.box, spec.faceHeight, x, y, darken));
  }
  Spoil(p.bgr, spec.condition);
  p.luma = ToLuma(p.bgr);
  return p;
}

}  // namespace visiontest
