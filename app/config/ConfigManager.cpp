#include "config/ConfigManager.h"

#include <QMetaType>
#include <QVariant>
#include <filesystem>

#include "Bundle.h"
#include "KeptCopy.h"
#include "Paths.h"
#include "config/ConfigField.h"
#include "config/LenientJson.h"
#include "controlboard/ControlBoardViewModel.h"
#include "dispatch/Clock.h"
#include "i18n/LanguageManager.h"
#include "log/LogManager.h"
#include "qt/UserDefaults.h"
#include "util/AppExecutionMode.h"
#include "util/AtomicFile.h"

#define CONFIG_LOG_INFO(msg) env_.logger->info((msg), __FILE__, __func__, __LINE__)
#define CONFIG_LOG_WARNING(msg) env_.logger->warning((msg), __FILE__, __func__, __LINE__)
#define CONFIG_LOG_ERROR(msg) env_.logger->error((msg), __FILE__, __func__, __LINE__)

namespace corvane {

namespace {

using Json = nlohmann::json;

bool isFile(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::exists(path, ec);
}

std::string folderOf(const std::string& path) {
  return std::filesystem::path(path).parent_path().string();
}

bool isListOfObjects(const Json& value) {
  if (!value.is_array()) return false;
  for (const auto& element : value)
    if (!element.is_object()) return false;
  return true;
}

// The builds whose vendor hides the maker's mark, and the one without firmware updates.
void applyVendorTable(ConfigManager& config) {
  const std::string& v = config.vendor;
  bool oem =
      v == "Marlo" || v == "Marlo_NOOTA" || v == "Marlo_OBM" || v == "Tobrin" || v == "Velosk";
  config.enableOta = v != "Marlo_NOOTA";
  config.showPowerby = !oem;
}

bool processRunsTranslated() {
  return corvane::AppExecutionMode::current() == corvane::AppExecutionMode::emulated;
}

}  // namespace

ConfigManager::Environment ConfigManager::Environment::process() {
  Environment env;
  env.runsTranslated = processRunsTranslated;
  env.bundle = &platform::Bundle::main();
  env.defaults = &platform::UserDefaults::shared();
  env.logger = &LogManager::shared();
  env.languages = &LanguageManager::shared();
  env.viewModel = &ControlBoardViewModel::shared();
  env.cachesFolder = platform::Paths::caches();
  env.localLibrary = platform::Paths::localLibrary();
  return env;
}

ConfigManager& ConfigManager::shared() {
  static ConfigManager manager(Environment::process());
  return manager;
}

ConfigManager::ConfigManager(Environment environment) : env_(std::move(environment)) {
  if (!env_.bundle) env_.bundle = &platform::Bundle::main();
  if (!env_.defaults) env_.defaults = &platform::UserDefaults::shared();
  if (!env_.logger) env_.logger = &LogManager::shared();
  if (!env_.runsTranslated) env_.runsTranslated = processRunsTranslated;
  if (!env_.now) {
    env_.now = [] {
      auto since = platform::Clock::shared().wallNow().time_since_epoch();
      return std::chrono::duration<double>(since).count();
    };
  }

  startTimestamp = env_.now();
  if (!env_.cachesFolder) return;
  auto executable = env_.bundle->executableName();
  if (!executable) return;
  std::string folder =
      platform::Paths::join(platform::Paths::join(*env_.cachesFolder, *executable), "json");
  platform::Paths::makeFolders(folder);  // a failure shows later, when the files are used
  bundleName = env_.bundle->bundleName().value_or("");
  presetFileURL = platform::Paths::join(folder, "Presets.json");
  configFileURL = platform::Paths::join(folder, "Custom config.json");
  isRunningWithRosetta = env_.runsTranslated();
}

ConfigManager::VersionChange ConfigManager::settleVersion() {
  auto programVersion = env_.bundle->shortVersion();
  if (!programVersion) {
    CONFIG_LOG_WARNING("No program version in the bundle: the stored settings are kept");
    return VersionChange::same;
  }
  VersionChange change = VersionChange::same;
  QString current = QString::fromStdString(*programVersion);
  QVariant stored = env_.defaults->object("CurrentVersion");
  if (!stored.isValid() || stored.typeId() != QMetaType::QString) {
    env_.defaults->set("CurrentVersion", current);
    change = VersionChange::firstRun;
  } else if (stored.toString() != current) {
    env_.defaults->removeAll();
    removePresetFile();
    env_.defaults->set("CurrentVersion", current);
    change = VersionChange::upgrade;
  }
  env_.defaults->synchronize();
  return change;
}

void ConfigManager::setup() {
  settleVersion();
  loadKestovaSetting();
  loadConfig();
  loadCustomConfig();
  loadPresets();
  relabelRecordPresets();
  if (env_.viewModel) env_.viewModel->loadConfig(*this, *env_.logger);
}

void ConfigManager::relabelRecordPresets() {
  // The saved layouts' custom values are read before the preset list (whose flicker rule the
  // custom configuration sets): their shown name is taken from the list's "Custom" entry now.
  for (auto* preset : {&roiRecord1CustomPreset, &roiRecord2CustomPreset, &roiRecord3CustomPreset})
    if (*preset && !(*preset)->name.empty() && env_.languages)
      (*preset)->displayName =
          env_.languages->localizedPresetName((*preset)->name, customPresetIndex());
}

std::string ConfigManager::kestovaSettingPath() const {
  if (env_.localLibrary.empty()) return {};
  return env_.localLibrary + "/Studio/config/KestovaSetting.json";
}

void ConfigManager::loadKestovaSetting() {
  std::string path = kestovaSettingPath();
  if (!isFile(path)) {
    // Only the maker's test machines have one: its absence is the normal case.
    CONFIG_LOG_INFO("No setting file" + (path.empty() ? std::string() : " at " + path) +
                    ": the production service is used");
    return;
  }
  Json object;
  if (!readJsonFile(__func__, "Load kestova setting JSON error", "the setting file", path, object))
    return;
  if (!object.is_object()) return;
  for (const auto& field : ConfigField::all())
    if (field.file == ConfigField::File::setting) field.read(*this, object);
}

void ConfigManager::loadConfig() {
  auto path = env_.bundle->pathForResource("Config.json");
  if (!path) return;
  Json object;
  if (!readJsonFile(__func__, "ConfigManager load Config error", "the shipped copy", *path, object))
    return;
  if (!object.is_object()) return;
  for (const auto& field : ConfigField::all())
    if (field.file == ConfigField::File::bundle) field.read(*this, object);
  applyVendorTable(*this);
}

void ConfigManager::loadCustomConfig() {
  std::string resourcePath;
  if (auto path = env_.bundle->pathForResource("Custom config.json")) {
    CONFIG_LOG_INFO("loadCustomConfig from Bundle");
    resourcePath = *path;
  }
  Json resource;
  if (readJsonFile(__func__, "Load custom config JSON error", "the shipped copy", resourcePath,
                   resource) &&
      resource.is_object()) {
    for (const auto& field : ConfigField::all())
      if (field.copy == ConfigField::Copy::build) field.read(*this, resource);
    applyCustomRecords(resource);
  }

  // The user's copy carries only the view state over the build's values.
  std::string userPath = resourcePath;
  bool fromUser = configFileURL && isFile(*configFileURL);
  if (fromUser) {
    CONFIG_LOG_INFO("loadCustomConfig from cache folder");
    userPath = *configFileURL;
  }
  Json user;
  bool readable = readJsonFile(__func__, "Load custom config JSON error",
                               fromUser ? "the user's copy" : "the shipped copy", userPath, user);
  configCopyUnreadable_ = fromUser && (!readable || !user.is_object());
  if (!readable) return;
  if (user.is_object()) applyCustomRecords(user);
}

void ConfigManager::applyCustomRecords(const nlohmann::json& object) {
  // The rectangle form is told by each element's members, not by the file's "version": the
  // user copy keeps the version of the build that wrote it.
  for (const auto& field : ConfigField::all())
    if (field.copy == ConfigField::Copy::user) field.read(*this, object);
  const RectPoint fallback(0.32, 0.2, 0.68, 0.2, 0.68, 0.8, 0.32, 0.8, *env_.logger);
  if (manualFocusRect.empty()) manualFocusRect.push_back(fallback);
  if (presentRect.empty()) presentRect.push_back(fallback);
}

nlohmann::ordered_json ConfigManager::configDictionary() const {
  nlohmann::ordered_json out = nlohmann::ordered_json::object();
  for (const auto& field : ConfigField::all())
    if (field.file == ConfigField::File::custom && field.written) field.write(*this, out);
  return out;
}

bool ConfigManager::readJsonFile(const char* caller, const std::string& failure,
                                 const std::string& copy, const std::string& path,
                                 nlohmann::json& out) {
  std::string why;
  if (LenientJson::readFile(path, out, &why)) return true;
  std::error_code ec;
  if (path.empty() || !std::filesystem::exists(path, ec)) {
    why = "is missing";
  } else {
    // The reader's reason may start with the path, which the line names already.
    if (why.rfind(path + ": ", 0) == 0) why.erase(0, path.size() + 2);
    why = "cannot be used: " + why;
  }
  // Logged as the loader's own line.
  env_.logger->error(failure + ": " + copy + (path.empty() ? "" : " " + path) + " " + why, __FILE__,
                     caller, __LINE__);
  return false;
}

void ConfigManager::keepUnreadableCopy(const std::string& path, bool& unreadable) {
  if (!unreadable) return;
  unreadable = false;
  auto now = std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(
          std::chrono::duration<double>(env_.now())));
  platform::KeptCopy::Result kept = platform::KeptCopy::keepAside(path, now);
  if (!kept.kept) {
    CONFIG_LOG_ERROR("Cannot keep the unreadable " + path + ": " + kept.error);
    return;
  }
  CONFIG_LOG_WARNING("Kept the unreadable file as " + kept.path);
  for (const auto& old : kept.pruned) CONFIG_LOG_INFO("Removed the oldest kept copy " + old);
}

std::string ConfigManager::writeUserCopy(const std::optional<std::string>& url,
                                         const std::string& text, const std::string& what,
                                         bool& unreadable) {
  if (!url) return "no folder for the user's copy";
  if (text.empty()) return what + " could not be serialised";
  platform::Paths::makeFolders(folderOf(*url));
  keepUnreadableCopy(*url, unreadable);
  std::string why;
  return AtomicFile::write(*url, text, &why) ? std::string() : why;
}

bool ConfigManager::saveConfigFile(std::string* error) {
  const std::string why =
      writeUserCopy(configFileURL, LenientJson::compact(configDictionary()), "the settings", configCopyUnreadable_);
  if (why.empty()) return true;
  CONFIG_LOG_ERROR("saveToJsonFile " + why);
  if (error) *error = why;
  return false;
}

void ConfigManager::loadPresets() {
  std::string bundlePath;
  if (auto path = env_.bundle->pathForResource("Presets.json")) {
    CONFIG_LOG_INFO("loadPresets from Bundle");
    bundlePath = *path;
  }
  std::string path = bundlePath;
  bool fromUser = presetFileURL && isFile(*presetFileURL);
  if (fromUser) {
    CONFIG_LOG_INFO("loadPresets from cache folder");
    path = *presetFileURL;
  }
  Json list;
  bool readable = readJsonFile(__func__, "Load presets JSON error",
                               fromUser ? "the user's copy" : "the shipped copy", path, list);
  bool usable = readable && isListOfObjects(list);
  presetCopyUnreadable_ = fromUser && !usable;
  if (presetCopyUnreadable_) {
    // An unusable user copy must not leave the list empty (and then be saved over empty).
    CONFIG_LOG_WARNING("The presets of the cache folder are unusable: the default list is used");
    readable =
        readJsonFile(__func__, "Load presets JSON error", "the shipped copy", bundlePath, list);
    usable = readable && isListOfObjects(list);
  }
  if (!usable) return;
  presets.clear();
  int64_t index = 0;
  for (const auto& element : list) presets.push_back(parsePreset(element, index++));
}

bool ConfigManager::savePresetFile(std::string* error) {
  const std::string why =
      writeUserCopy(presetFileURL, LenientJson::compact(presetDictionaries()), "the presets", presetCopyUnreadable_);
  if (why.empty()) return true;
  CONFIG_LOG_ERROR("savePresetFile " + why);
  if (error) *error = why;
  return false;
}

void ConfigManager::removePresetFile() {
  if (!presetFileURL) {
    CONFIG_LOG_ERROR("removePresetFile error: no folder for the user's copy");
    return;
  }
  std::error_code ec;
  if (!std::filesystem::remove(*presetFileURL, ec)) {
    std::string why = ec ? ec.message() : std::string("No such file or directory");
    CONFIG_LOG_ERROR("removePresetFile error: " + why);
  }
}

PresetModel ConfigManager::parsePreset(const nlohmann::json& object, int64_t index) {
  PresetModel preset;
  if (auto name = LenientJson::string(object, "name")) {
    preset.name = *name;
    preset.displayName = env_.languages ? env_.languages->localizedPresetName(*name, index) : *name;
  }
  if (auto ev = LenientJson::number(object, "ev_value")) preset.ev = *ev;
  if (auto flickr = LenientJson::integer(object, "flickr_level")) {
    // Builds without the automatic choice read it as the first fixed one.
    preset.flickr = (*flickr == 0 && disableAutoFlicker) ? 1 : *flickr;
  }
  if (auto v = LenientJson::integer(object, "contrast_value")) preset.contrast = *v;
  if (auto v = LenientJson::integer(object, "lighting_value")) preset.lighting = *v;
  if (auto v = LenientJson::integer(object, "saturation_value")) preset.saturation = *v;
  if (auto v = LenientJson::integer(object, "sharpness_value")) preset.sharpness = *v;
  if (auto v = LenientJson::integer(object, "gamma_value")) preset.gamma = *v;
  if (auto v = LenientJson::integer(object, "nr_value")) preset.nr = *v;
  if (preset.name == "Custom") customPresetTitle = preset.displayName;
  return preset;
}

nlohmann::ordered_json ConfigManager::presetDictionary(const PresetModel& preset) {
  return nlohmann::ordered_json{{"name", preset.name},
                                {"ev_value", LenientJson::sixDecimals(preset.ev)},
                                {"flickr_level", preset.flickr},
                                {"contrast_value", preset.contrast},
                                {"lighting_value", preset.lighting},
                                {"saturation_value", preset.saturation},
                                {"sharpness_value", preset.sharpness},
                                {"gamma_value", preset.gamma},
                                {"nr_value", preset.nr}};
}

nlohmann::ordered_json ConfigManager::presetDictionaries() const {
  auto list = nlohmann::ordered_json::array();
  for (const auto& preset : presets) list.push_back(presetDictionary(preset));
  return list;
}

int64_t ConfigManager::customPresetIndex() const {
  for (size_t i = presets.size(); i-- > 0;)
    if (presets[i].name == "Custom") return static_cast<int64_t>(i);
  return -1;
}

std::vector<std::string> ConfigManager::fieldDump() const {
  std::vector<std::string> lines;
  for (const auto& field : ConfigField::all())
    lines.push_back(std::string(field.name) + " = " + field.describe(*this));
  return lines;
}

}  // namespace corvane
