// Renders the vision room sets for looking at: each panorama of the detector's room set and of the
// meeting rooms with its labelled face boxes drawn, and the labels as JSON. The sets themselves
// are made by the same code the tests use, so what is drawn here is what they measure. With seeds,
// the hold-out meeting rooms of those seeds instead (see MeetingRoomSet::Rooms(seed)).
//   corvane-make-vision-set <output folder> [seed ...]
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "MeetingRoomPicture.h"
#include "MeetingRoomSet.h"
#include "RoomSet.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <output folder> [seed ...]\n", argv[0]);
    return 2;
  }
  std::filesystem::path out(argv[1]);
  std::filesystem::create_directories(out);
  nlohmann::json labels = nlohmann::json::object();
  int n = 0;
  std::vector<std::pair<std::string, visiontest::Panorama>> sets;
  if (argc == 2) {
    for (const auto& spec : visiontest::RoomSetSpecs())
      sets.emplace_back(spec.name, visiontest::ComposeRoom(spec));
    for (const auto& room : testsupport::MeetingRoomSet::Rooms())
      sets.emplace_back(room.name, testsupport::MeetingRoomPicture::Render(room));
  }
  for (int a = 2; a < argc; ++a) {
    unsigned long seed = std::strtoul(argv[a], nullptr, 10);
    if (seed == 0) {
      std::fprintf(stderr, "not a seed: %s\n", argv[a]);
      return 2;
    }
    for (const auto& room : testsupport::MeetingRoomSet::Rooms(unsigned(seed)))
      sets.emplace_back(room.name, testsupport::MeetingRoomPicture::Render(room));
  }
  for (const auto& [name, p] : sets) {
    cv::Mat drawn = p.bgr.clone();
    nlohmann::json boxes = nlohmann::json::array();
    for (const auto& f : p.faces) {
      cv::rectangle(drawn, cv::Rect(f), cv::Scalar(0, 255, 0), 1);
      boxes.push_back({f.x, f.y, f.width, f.height});
    }
    std::string file = "room_" + std::to_string(n++) + ".jpg";
    cv::imwrite((out / file).string(), drawn, {cv::IMWRITE_JPEG_QUALITY, 92});
    labels[file] = {{"name", name}, {"width", p.width}, {"height", p.height}, {"faces", boxes}};
  }
  std::ofstream(out / "labels.json") << labels.dump(1) << "\n";
  std::printf("%d panoramas in %s\n", n, out.string().c_str());
  return 0;
}
