#include "MeetingRoomPicture.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "RoomSet.h"
#include "TestPictures.h"

namespace testsupport {

namespace {

// How dark a backlit person comes out when the camera exposes for the window, and the light
// left at the far end of the room.
constexpr float kBacklitGain = 0.42f;
constexpr float kDimGain = 0.4f;

// Fills the box with `fill`, x wrapped round the turn.
void FillWrapped(cv::Mat& room, const RoomBox& box, const cv::Scalar& fill) {
  int x = int(std::lround(box.x)), w = int(std::lround(box.width));
  cv::Rect r(x, int(std::lround(box.y)), w, int(std::lround(box.height)));
  for (int shift : {0, -room.cols}) {
    cv::Rect s = (r + cv::Point(shift, 0)) & cv::Rect(0, 0, room.cols, room.rows);
    if (s.area() > 0) room(s).setTo(fill);
  }
}

// The person's body below the shoulders: a jacket of one colour, drawn before the head and
// shoulders so that their own shoulders come over it.
void DrawTorso(cv::Mat& room, const MeetingPerson& p, float gain) {
  static const cv::Scalar kJackets[] = {
      {70, 52, 40}, {90, 90, 92}, {40, 36, 100}, {120, 110, 95}, {45, 60, 45}};
  float fh = p.face.height, sq = MeetingRoomSet::TurnedWidth(p.turn);
  cv::Scalar c = kJackets[size_t(p.photoFace) % 5] * gain;
  float cx = p.face.x + p.face.width / 2;
  cv::Point2f centre(cx, p.face.y + MeetingRoomSet::kTorsoCentre * fh);
  cv::Size2f axes(MeetingRoomSet::kTorsoHalfWidth * fh * sq, MeetingRoomSet::kTorsoHalfHeight * fh);
  for (float shift : {0.0f, -float(room.cols), float(room.cols)})
    cv::ellipse(room, cv::RotatedRect(centre + cv::Point2f(shift, 0), axes * 2.0f, 0), c,
                cv::FILLED, cv::LINE_AA);
}

// The far end's light: kDimGain inside [from, to] (round the turn), back to full over a ramp.
float ColumnGain(int x, int width, float from, float to) {
  if (from == to) return 1.0f;
  float ramp = 0.03f * float(width);
  float w = float(width), fx = float(x);
  float len = std::fmod(to - from + w, w);
  float d = std::fmod(fx - from + w, w);  // how far past `from`
  float outside;
  if (d <= len)
    outside = 0;
  else
    outside = std::min(d - len, w - d);  // distance to the nearer end
  float t = std::clamp(outside / ramp, 0.0f, 1.0f);
  return kDimGain + (1.0f - kDimGain) * t;
}

}  // namespace

visiontest::Panorama MeetingRoomPicture::Render(const MeetingRoom& room) {
  visiontest::Panorama p;
  p.width = room.width;
  p.height = room.height;
  p.is360 = room.is360;
  p.bgr = visiontest::RoomBackground(room.width, room.height, false);
  for (const RoomBox& w : room.windows) FillWrapped(p.bgr, w, cv::Scalar(244, 246, 247));
  for (const MeetingPerson& person : room.people) {
    float gain = person.light == RoomLight::backlit ? kBacklitGain : 1.0f;
    DrawTorso(p.bgr, person, gain);
    cv::Rect2f face = visiontest::PlaceLabelledFace(
        p.bgr, room.is360, person.photoFace, int(std::lround(person.face.height)),
        int(std::lround(person.face.x)), int(std::lround(person.face.y)), gain, person.turn);
    p.faces.push_back(face);
  }
  // The far end in the dark, then the sensor's noise over everything.
  for (int x = 0; x < p.width; ++x) {
    float g = ColumnGain(x, p.width, room.dimFrom, room.dimTo);
    if (g >= 1.0f) continue;
    cv::Mat column = p.bgr.col(x);
    column.convertTo(column, -1, g);
  }
  cv::Mat noise(p.bgr.size(), CV_16SC3), wide;
  cv::RNG rng(uint64_t(room.width) * 31 + room.people.size());
  rng.fill(noise, cv::RNG::NORMAL, 0, 4);
  p.bgr.convertTo(wide, CV_16SC3);
  wide += noise;
  wide.convertTo(p.bgr, CV_8UC3);
  // The camera's MJPEG.
  RgbPicture rgb;
  rgb.width = p.width;
  rgb.height = p.height;
  cv::Mat rgbMat;
  cv::cvtColor(p.bgr, rgbMat, cv::COLOR_BGR2RGB);
  rgb.pixels.assign(rgbMat.datastart, rgbMat.dataend);
  std::vector<uint8_t> jpeg = encodeJpeg(rgb, room.jpegQuality);
  p.bgr = cv::imdecode(jpeg, cv::IMREAD_COLOR);
  p.luma = visiontest::ToLuma(p.bgr);
  return p;
}

}  // namespace testsupport
