#pragma once

#include <QColor>
#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "config/PresetModel.h"
#include "config/RectPoint.h"

namespace platform {
class Bundle;
class UserDefaults;
}  // namespace platform

namespace corvane {

class ControlBoardViewModel;
class LanguageManager;
class LogManager;

// The main program's settings: every value of the bundle configuration, the custom
// configuration, the presets and the machine-wide setting file, the saved ROI layouts, and a
// few facts gathered at start. Other parts read and write the fields directly. The loaders and
// savers run on the main thread and take no lock.
class ConfigManager {
 public:
  // What the store reads besides its files; the shared instance takes the process's own.
  struct Environment {
    platform::Bundle* bundle = nullptr;
    platform::UserDefaults* defaults = nullptr;
    LogManager* logger = nullptr;
    LanguageManager* languages = nullptr;
    ControlBoardViewModel* viewModel = nullptr;
    std::optional<std::string> cachesFolder;  // the user's caches folder
    std::string localLibrary;                 // the machine-wide Library folder
    std::function<bool()> runsTranslated;     // the process runs under binary translation
    std::function<double()> now;              // seconds since 1970
    static Environment process();
  };

  static ConfigManager& shared();
  explicit ConfigManager(Environment environment);
  ConfigManager(const ConfigManager&) = delete;
  ConfigManager& operator=(const ConfigManager&) = delete;

  enum class VersionChange { firstRun, same, upgrade };
  // Compares the program's version with the stored "CurrentVersion": a first run stores it; a
  // different one wipes every user default and the user's presets, then stores it.
  VersionChange settleVersion();
  // Version check, then every loader in order, then the control board's dump.
  void setup();
  void loadKestovaSetting();
  void loadConfig();
  void loadCustomConfig();
  void applyCustomRecords(const nlohmann::json& object);
  nlohmann::ordered_json configDictionary() const;
  // False when the file was not written, with the reason the log line gives in `error`.
  bool saveConfigFile(std::string* error = nullptr);
  void loadPresets();
  bool savePresetFile(std::string* error = nullptr);
  void removePresetFile();
  PresetModel parsePreset(const nlohmann::json& object, int64_t index);
  static nlohmann::ordered_json presetDictionary(const PresetModel& preset);
  nlohmann::ordered_json presetDictionaries() const;

  // "<name> = <value>" for every stored field, in declaration order.
  std::vector<std::string> fieldDump() const;

  // The machine-wide setting file.
  std::string kestovaSettingPath() const;
  // Position of the last preset named "Custom", or -1.
  int64_t customPresetIndex() const;

  LogManager& logger() const { return *env_.logger; }

  // Stored fields, in declaration order (the field dump keeps this order).
  bool isRunningWithRosetta = false;
  std::optional<std::string> configFileURL;
  std::optional<std::string> presetFileURL;
  bool isStaging = false;
  std::string vendor;
  bool showPowerby = true;
  bool darkLogo = false;
  bool enableOta = true;
  std::optional<QColor> mainColor;
  std::optional<QColor> rectColor;
  std::optional<QColor> trackColor;
  std::optional<QColor> speakColor;
  std::optional<QColor> focusColor;
  std::optional<QColor> ignoreColor;
  std::optional<QColor> launchBarColor;
  double version = 1.0;
  int64_t doaOffset = 0;
  bool gridComposeMode = false;
  bool groupComposeMode = false;
  bool panoramaMode = false;
  bool focusMode = false;
  bool bodyFitMode = false;
  bool audioFitMode = false;
  bool gridMode = false;
  bool presentationMode = false;
  bool speakerMode = false;
  bool singleSpeakerMode = false;
  bool isSingleSpeakerMode = false;
  bool topdownMode = false;
  int64_t stableRoiMin = 0;
  int64_t stableRoiMax = 0;
  int64_t beamformingLastingMs = 0;
  int64_t speakerLastingMs = 0;
  double minRectRatio = 0;
  int64_t autoFitRectWidthPixels = 0;
  int64_t beamformingTolerance = 0;
  double detectOverlapRatio = 0;
  int64_t detectInterval = 0;
  int64_t detectRemoveThreshold = 0;
  int64_t fov1Value = 0;
  int64_t fov2Value = 0;
  int64_t fov3Value = 0;
  bool defaultAutoDetect = true;
  double maxStretchRatio = 0;
  std::vector<std::string> cameraNames;
  std::vector<std::string> cameraProductIds;
  std::vector<std::string> cameraVendorIds;
  int64_t defaultDisplayMode = 0;
  bool defaultSimple = false;
  int64_t defaultTrackType = 0;
  int64_t minRectSideLength = 0;
  bool enableFlipDoa = false;
  bool enableStatisticsDoa = false;
  int64_t statisticsDoaThreshold = 0;
  int64_t gridModeMaxCount = 0;
  int64_t connectRetryTime = 0;
  bool enableButtonTips = false;
  bool defaultLargeNavigator = false;
  double faceEnlargeRatio = 0;
  double detectConfThreshold = 0;
  double videoPanWeight = 0;
  int64_t transitionFrameCount = 0;
  int64_t displayModesPerRow = 0;
  bool disableAutoFlicker = false;
  bool gridModeRoiMerge = false;
  int64_t presentationModePresenterSizeLevel = 0;
  bool enableNewDetectLayout = false;
  int64_t maxDetectRectSideLength = 0;
  bool alwaysDoTransitionInSpeakerMode = false;
  double minSrcHeightScale = 0;
  int64_t gridComposeModeMaxCount = 0;
  bool enableTutorial = true;
  int64_t tutorialCount = 0;
  std::vector<PresetModel> presets;
  std::vector<RectPoint> manualFocusRect;
  std::vector<RectPoint> presentRect;
  std::vector<RectPoint> roiRecord1;
  std::vector<RectPoint> roiRecord2;
  std::vector<RectPoint> roiRecord3;
  std::vector<RectPoint> ignoreRoiRecord1;
  std::vector<RectPoint> ignoreRoiRecord2;
  std::vector<RectPoint> ignoreRoiRecord3;
  int64_t roiRecord1Fov = 0;
  int64_t roiRecord2Fov = 0;
  int64_t roiRecord3Fov = 0;
  bool roiRecord1Mirror = false;
  bool roiRecord2Mirror = false;
  bool roiRecord3Mirror = false;
  double roiRecord1BasePos = 0;
  double roiRecord2BasePos = 0;
  double roiRecord3BasePos = 0;
  double roiRecord1180CropY = 0;
  double roiRecord2180CropY = 0;
  double roiRecord3180CropY = 0;
  bool roiRecord1DoTracking = false;
  bool roiRecord2DoTracking = false;
  bool roiRecord3DoTracking = false;
  int64_t roiRecord1DisplayMode = 10;
  int64_t roiRecord2DisplayMode = 10;
  int64_t roiRecord3DisplayMode = 10;
  std::vector<RectPoint> roiRecord1FixRect;
  std::vector<RectPoint> roiRecord2FixRect;
  std::vector<RectPoint> roiRecord3FixRect;
  int64_t roiRecord1ForcusedPreset = 0;
  int64_t roiRecord2ForcusedPreset = 0;
  int64_t roiRecord3ForcusedPreset = 0;
  std::optional<PresetModel> roiRecord1CustomPreset;
  std::optional<PresetModel> roiRecord2CustomPreset;
  std::optional<PresetModel> roiRecord3CustomPreset;
  int64_t roiRecordIndex = 0;
  bool enableLaunchDetect = true;
  bool enablePerspectiveProjection = true;
  bool enableReport = true;
  std::string customPresetTitle;
  double startTimestamp = 0;
  std::string bundleName;

 private:
  // Gives the saved layouts' custom presets the shown name of the loaded list's "Custom".
  void relabelRecordPresets();
  // Moves an unreadable user copy aside before it is replaced, so bad input never costs the
  // user the file.
  void keepUnreadableCopy(const std::string& path, bool& unreadable);
  // Writes the user's copy at `url`; empty when written, else why not.
  std::string writeUserCopy(const std::optional<std::string>& url, const std::string& text,
                            const std::string& what, bool& unreadable);
  // Reads a settings file; on failure logs one line: `failure`, which copy, its path, and
  // whether it is missing or why it cannot be used.
  bool readJsonFile(const char* caller, const std::string& failure, const std::string& copy,
                    const std::string& path, nlohmann::json& out);

  Environment env_;
  bool configCopyUnreadable_ = false;
  bool presetCopyUnreadable_ = false;
};

}  // namespace corvane
