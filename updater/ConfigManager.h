#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace updater {

// The updater's settings: its own "Updater config.json" from the resources, the camera lists
// of the shared "Custom config.json" and "isStaging" of "KestovaSetting.json". Every key is
// optional; a value of the wrong type is ignored and its field keeps its value.
class ConfigManager {
 public:
  struct Environment {
    // The path of a resource file of the updater, or none.
    std::function<std::optional<std::string>(const std::string& name)> resourcePath;
    // The machine-wide folder standing for the local-domain Library; none when there is none.
    std::optional<std::string> localLibrary;
    static Environment process();
  };

  static constexpr int64_t kDefaultVidAudio = 0x2E8B;
  static constexpr int64_t kDefaultPidAudio = 0x5003;

  static ConfigManager& shared();
  explicit ConfigManager(Environment environment);

  void loadUpdaterConfig();
  // Uses the bundleName that loadUpdaterConfig() set: call it after that one.
  void loadCustomConfig();
  void loadKestovaSetting();

  // "<Library>/<bundleName>/config/Custom config.json"; empty without a Library folder.
  std::string studioCustomConfigPath() const;
  // "<Library>/Studio/config/KestovaSetting.json"; empty without a Library folder.
  std::string kestovaSettingPath() const;

  // The audio device for the firmware-update framework: by the camera's ids through the
  // video and audio id lists, else the single pair, else 0x2E8B / 0x5003.
  std::pair<int64_t, int64_t> audioIdsForCamera(const std::string& cameraVid,
                                                const std::string& cameraPid) const;

  std::string companyNo = "TOLMIR";
  std::string studioName = "Kestova Studio";
  std::string bundleName = "Kestova Studio";
  int64_t vidAudio = kDefaultVidAudio;
  int64_t pidAudio = kDefaultPidAudio;
  std::vector<int64_t> audioVids;
  std::vector<int64_t> audioPids;
  std::vector<std::string> videoVids;
  std::vector<std::string> videoPids;
  std::vector<std::string> cameraNames;
  std::vector<std::string> cameraVendorIds;
  std::vector<std::string> cameraProductIds;
  bool isStaging = false;
  // Base addresses of the cloud service ("cloud_base_url") and of its storage service
  // ("storage_base_url"), where relative download links live.
  std::string cloudBaseURL = "https://api.kestova.com";
  std::string storageBaseURL = "https://storage.kestova.com";

 private:
  Environment env_;
};

}  // namespace updater
