#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <tuple>

#include "TestFiles.h"

namespace {

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  return text;
}

// "0x2245" -> "2245", as udev writes the ids (four lower-case hex digits, no prefix).
std::string udevId(const std::string& configId) {
  std::string id = lower(configId);
  if (id.rfind("0x", 0) == 0) id = id.substr(2);
  while (id.size() < 4) id = "0" + id;
  return id;
}

// The (subsystem, vendor, product) triples of the rules that tag a node for the seat's user.
std::set<std::tuple<std::string, std::string, std::string>> taggedNodes(const std::string& rules) {
  std::set<std::tuple<std::string, std::string, std::string>> tagged;
  std::istringstream lines(rules);
  std::regex subsystem(R"re(SUBSYSTEM=="([a-z0-9]+)")re");
  std::regex vendor(R"re(ATTRS?\{idVendor\}=="([0-9a-f]{4})")re");
  std::regex product(R"re(ATTRS?\{idProduct\}=="([0-9a-f]{4})")re");
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line[0] == '#' || line.find("TAG+=\"uaccess\"") == std::string::npos)
      continue;
    std::smatch s, v, p;
    if (!std::regex_search(line, s, subsystem) || !std::regex_search(line, v, vendor)) continue;
    std::string productId = std::regex_search(line, p, product) ? p[1].str() : "*";
    tagged.insert({s[1].str(), v[1].str(), productId});
  }
  return tagged;
}

}  // namespace

// The camera's USB, video and HID nodes must be open to the user at the seat for every camera
// id the configuration accepts; a changed id in one file and not the other fails here.
TEST(UdevRules, TagEveryCameraIdTheShippedConfigurationsCarry) {
  auto tagged =
      taggedNodes(testsupport::readFile(CORVANE_SOURCE_DIR "/packaging/70-corvane-studio.rules"));
  ASSERT_FALSE(tagged.empty());
  for (const char* config : {CORVANE_SOURCE_DIR "/resources/app/Custom config.json",
                             CORVANE_SOURCE_DIR "/resources/updater/Custom config.json"}) {
    nlohmann::json json = nlohmann::json::parse(testsupport::readFile(config));
    ASSERT_TRUE(json["camera_vid"].is_array()) << config;
    ASSERT_EQ(json["camera_vid"].size(), json["camera_pid"].size()) << config;
    ASSERT_FALSE(json["camera_vid"].empty()) << config;
    for (size_t i = 0; i < json["camera_vid"].size(); ++i) {
      std::string vid = udevId(json["camera_vid"][i].get<std::string>());
      std::string pid = udevId(json["camera_pid"][i].get<std::string>());
      for (const char* node : {"usb", "video4linux", "hidraw"}) {
        bool covered = tagged.count({node, vid, pid}) || tagged.count({node, vid, "*"});
        EXPECT_TRUE(covered) << config << ": no uaccess rule for the " << node << " node of " << vid
                             << ":" << pid;
      }
    }
  }
}

// Every device the rules open to the seat's user is one the suite talks to: the ids the shipped
// configurations name, the audio device's update enumeration and the microphone array. A rule
// without a product id would open every product of a vendor.
TEST(UdevRules, TagOnlyTheProductsTheSuiteTalksTo) {
  auto tagged =
      taggedNodes(testsupport::readFile(CORVANE_SOURCE_DIR "/packaging/70-corvane-studio.rules"));
  std::set<std::pair<std::string, std::string>> known = {{"2886", "0018"}};
  for (const char* config : {CORVANE_SOURCE_DIR "/resources/app/Custom config.json",
                             CORVANE_SOURCE_DIR "/resources/updater/Custom config.json"}) {
    nlohmann::json json = nlohmann::json::parse(testsupport::readFile(config));
    for (size_t i = 0; i < json["camera_vid"].size(); ++i)
      known.insert({udevId(json["camera_vid"][i].get<std::string>()),
                    udevId(json["camera_pid"][i].get<std::string>())});
  }
  nlohmann::json updater = nlohmann::json::parse(
      testsupport::readFile(CORVANE_SOURCE_DIR "/resources/updater/Updater config.json"));
  auto hex = [](int id) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", id & 0xffff);
    return std::string(text);
  };
  std::string audioVendor = hex(updater["vid_audio"].get<int>());
  known.insert({audioVendor, hex(updater["pid_audio"].get<int>())});
  known.insert({audioVendor, "5fff"});  // the audio device while it takes a firmware update
  for (const auto& [subsystem, vendor, product] : tagged) {
    EXPECT_NE(product, "*") << subsystem << " rule for vendor " << vendor << " names no product";
    EXPECT_TRUE(known.count({vendor, product}))
        << subsystem << " rule for " << vendor << ":" << product << " names no device of the suite";
  }
  EXPECT_TRUE(tagged.count({"hidraw", audioVendor, hex(updater["pid_audio"].get<int>())}));
  EXPECT_TRUE(tagged.count({"hidraw", audioVendor, "5fff"}));
}
