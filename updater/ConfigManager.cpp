#include "ConfigManager.h"

#include <filesystem>
#include <iostream>

#include "Bundle.h"
#include "LogManager.h"
#include "Paths.h"
#include "config/LenientJson.h"

namespace updater {

namespace {

using corvane::LenientJson;
using Json = LenientJson::Json;

bool isFile(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

// An array of whole numbers; none for anything else, or for an array holding anything else.
std::optional<std::vector<int64_t>> integerList(const Json& object, const char* key) {
  const Json* value = LenientJson::member(object, key);
  if (!value || !value->is_array()) return std::nullopt;
  std::vector<int64_t> list;
  for (const Json& element : *value) {
    if (!element.is_number()) return std::nullopt;
    auto n = LenientJson::toInteger(element);
    if (!n) return std::nullopt;
    list.push_back(*n);
  }
  return list;
}

// A number that is not an array: "vid_audio": 8192.
std::optional<int64_t> plainInteger(const Json& object, const char* key) {
  const Json* value = LenientJson::member(object, key);
  if (!value || !value->is_number()) return std::nullopt;
  return LenientJson::toInteger(*value);
}

std::string plainText(const std::vector<int64_t>& list) {
  std::string out = "[";
  for (size_t i = 0; i < list.size(); ++i) out += (i ? "," : "") + std::to_string(list[i]);
  return out + "]";
}

void printList(const char* label, const std::vector<std::string>& list) {
  std::string out = label;
  out += "[";
  for (size_t i = 0; i < list.size(); ++i) out += (i ? ", \"" : "\"") + list[i] + "\"";
  std::cout << out << "]\n" << std::flush;
}

}  // namespace

ConfigManager::Environment ConfigManager::Environment::process() {
  Environment env;
  env.resourcePath = [](const std::string& name) {
    return platform::Bundle::main().pathForResource(name);
  };
  std::string library = platform::Paths::localLibrary();
  if (!library.empty()) env.localLibrary = library;
  return env;
}

ConfigManager& ConfigManager::shared() {
  static ConfigManager manager(Environment::process());
  return manager;
}

ConfigManager::ConfigManager(Environment environment) : env_(std::move(environment)) {}

std::string ConfigManager::studioCustomConfigPath() const {
  if (!env_.localLibrary) return {};
  return *env_.localLibrary + "/" + bundleName + "/config/Custom config.json";
}

std::string ConfigManager::kestovaSettingPath() const {
  if (!env_.localLibrary) return {};
  return *env_.localLibrary + "/Studio/config/KestovaSetting.json";
}

void ConfigManager::loadUpdaterConfig() {
  UPDATER_LOG_INFO("loadUpdaterConfig ");
  std::string path;
  if (auto found = env_.resourcePath ? env_.resourcePath("Updater config.json") : std::nullopt) {
    UPDATER_LOG_INFO("loadUpdaterConfig from Bundle");
    path = *found;
  }
  Json json;
  std::string error;
  if (!LenientJson::readFile(path, json, &error)) {
    UPDATER_LOG_ERROR("Load studio JSON error " + error);
    return;
  }
  if (!json.is_object()) return;
  if (auto v = LenientJson::string(json, "company_no")) {
    companyNo = *v;
    UPDATER_LOG_DEBUG("companyNo:" + companyNo);
  }
  if (auto v = LenientJson::string(json, "studio_name")) {
    studioName = *v;
    bundleName = *v;
    UPDATER_LOG_DEBUG("bundleName:" + bundleName);
  }
  if (auto v = plainInteger(json, "vid_audio")) {
    vidAudio = *v;
    UPDATER_LOG_DEBUG("vidAudio:" + std::to_string(vidAudio));
  }
  if (auto v = plainInteger(json, "pid_audio")) {
    pidAudio = *v;
    UPDATER_LOG_DEBUG("pidAudio:" + std::to_string(pidAudio));
  }
  if (auto v = integerList(json, "vid_audio")) {
    audioVids = *v;
    UPDATER_LOG_DEBUG("audioVids:" + plainText(audioVids));
  }
  if (auto v = integerList(json, "pid_audio")) {
    audioPids = *v;
    UPDATER_LOG_DEBUG("audioPids:" + plainText(audioPids));
  }
  if (auto v = LenientJson::stringList(json, "pid_video")) videoPids = *v;
  if (auto v = LenientJson::stringList(json, "vid_video")) videoVids = *v;
  if (auto v = LenientJson::string(json, "cloud_base_url")) cloudBaseURL = *v;
  if (auto v = LenientJson::string(json, "storage_base_url")) storageBaseURL = *v;
}

void ConfigManager::loadCustomConfig() {
  std::string path;
  if (auto found = env_.resourcePath ? env_.resourcePath("Custom config.json") : std::nullopt)
    path = *found;
  if (env_.localLibrary) {
    std::string studio = studioCustomConfigPath();
    if (isFile(studio)) {
      UPDATER_LOG_INFO("loadCustomConfig from Studio folder");
      path = studio;
    } else {
      // The studio's copy is optional: the updater's own is the one looked for second.
      UPDATER_LOG_INFO("Not found custom config JSON");
    }
  }
  Json json;
  std::string error;
  if (!LenientJson::readFile(path, json, &error)) {
    UPDATER_LOG_ERROR("Load custom config JSON error " + error);
    return;
  }
  if (auto v = LenientJson::stringList(json, "camera_name")) {
    cameraNames = *v;
    printList("cameraNames:", cameraNames);
  }
  if (auto v = LenientJson::stringList(json, "camera_pid")) {
    cameraProductIds = *v;
    printList("cameraProductIds:", cameraProductIds);
  }
  if (auto v = LenientJson::stringList(json, "camera_vid")) {
    cameraVendorIds = *v;
    printList("cameraVendorIds:", cameraVendorIds);
  }
}

void ConfigManager::loadKestovaSetting() {
  std::string path = kestovaSettingPath();
  // The setting file is optional (a machine without the studio's settings runs the updater with
  // its defaults): only a file that is there and cannot be read is an error.
  if (!isFile(path)) {
    UPDATER_LOG_INFO("Not found kestova setting JSON" + (path.empty() ? "" : " at " + path) +
                     " (it is optional): the production service is used");
    return;
  }
  Json json;
  std::string error;
  if (!LenientJson::readFile(path, json, &error)) {
    UPDATER_LOG_ERROR("Load kestova setting JSON error " + error);
    return;
  }
  const Json* value = LenientJson::member(json, "isStaging");
  if (value && value->is_boolean()) isStaging = value->get<bool>();
}

std::pair<int64_t, int64_t> ConfigManager::audioIdsForCamera(const std::string& cameraVid,
                                                             const std::string& cameraPid) const {
  if (audioVids.empty()) {
    int64_t vid = vidAudio != 0 ? vidAudio : kDefaultVidAudio;
    int64_t pid = pidAudio != 0 ? pidAudio : kDefaultPidAudio;
    return {vid, pid};
  }
  std::optional<std::pair<int64_t, int64_t>> chosen;
  for (const std::string& vid : videoVids) {
    if (vid != cameraVid) continue;
    for (size_t j = 0; j < videoPids.size(); ++j) {
      if (videoPids[j] != cameraPid) continue;
      if (j < audioVids.size() && j < audioPids.size()) chosen = {audioVids[j], audioPids[j]};
    }
  }
  return chosen.value_or(std::pair<int64_t, int64_t>{kDefaultVidAudio, kDefaultPidAudio});
}

}  // namespace updater
