// The settings files a user (or a broken disk) can hand the program: the user's copies of the
// custom configuration and the presets, and the machine-wide setting file. Loading never fails
// but by logging, and a user's copy the program cannot use survives the save that follows:
// kept beside the new file, byte for byte.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "Bundle.h"
#include "FuzzCheck.h"
#include "KeptCopy.h"
#include "TestFiles.h"
#include "config/ConfigManager.h"
#include "config/LenientJson.h"
#include "controlboard/ControlBoardViewModel.h"
#include "dispatch/MainQueue.h"
#include "i18n/LanguageManager.h"
#include "log/LogManager.h"
#include "qt/UserDefaults.h"

namespace fs = std::filesystem;
using corvane::LenientJson;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

// The program's surroundings, made once: a home in a scratch folder, the shipped resources,
// the bundle's values, user defaults and a logger that keeps nothing.
struct Home {
  Home() {
    std::string pattern = (fs::temp_directory_path() / "corvane-fuzz-settings-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    root = pattern;
    setenv("CORVANE_RESOURCES_DIR", CORVANE_SOURCE_RESOURCES_DIR, 1);
    bundle.configure({{"CFBundleName", "Corvane Studio"},
                      {"CFBundleExecutable", "corvane-studio"},
                      {"CFBundleShortVersionString", "2.3.0"}},
                     "corvane-studio");
    defaults = std::make_unique<platform::UserDefaults>(
        QString::fromStdString((root / "config/test.conf").string()));
    corvane::LogManager::Environment log;
    log.cachesFolder = (root / "caches").string();
    log.executableName = "corvane-studio";
    log.shortVersion = "2.3.0";
    log.standardOutput = [](const std::string&) {};
    log.systemLog = [](const std::string&) {};
    logger = std::make_unique<corvane::LogManager>(std::move(log));
    corvane::LanguageManager::Environment languageEnv;
    languageEnv.bundle = &bundle;
    languageEnv.defaults = defaults.get();
    languageEnv.logger = logger.get();
    languageEnv.localLibrary = (root / "library").string();
    languageEnv.systemLanguage = "en-US";
    languages = std::make_unique<corvane::LanguageManager>(std::move(languageEnv));
  }
  std::unique_ptr<corvane::ConfigManager> config() {
    corvane::ConfigManager::Environment e;
    e.bundle = &bundle;
    e.defaults = defaults.get();
    e.logger = logger.get();
    e.languages = languages.get();
    e.viewModel = &viewModel;
    e.cachesFolder = (root / "caches").string();
    e.localLibrary = (root / "library").string();
    e.runsTranslated = [] { return false; };
    e.now = [] { return 1700000000.5; };
    return std::make_unique<corvane::ConfigManager>(std::move(e));
  }
  fs::path json(const char* name) const { return root / "caches/corvane-studio/json" / name; }

  fs::path root;
  platform::Bundle bundle;
  std::unique_ptr<platform::UserDefaults> defaults;
  std::unique_ptr<corvane::LogManager> logger;
  std::unique_ptr<corvane::LanguageManager> languages;
  corvane::ControlBoardViewModel viewModel;
};

Home& home() {
  static Home* made = new Home;  // ends with the process; its folder with atexit below
  static bool registered = [] { return std::atexit([] { fs::remove_all(made->root); }) == 0; }();
  (void)registered;
  return *made;
}

bool isObject(const std::string& bytes) {
  LenientJson::Json value;
  return LenientJson::parse(bytes, value) && value.is_object();
}

bool isListOfObjects(const std::string& bytes) {
  LenientJson::Json value;
  if (!LenientJson::parse(bytes, value) || !value.is_array()) return false;
  for (const auto& element : value)
    if (!element.is_object()) return false;
  return true;
}

// Loads a user's copy of these bytes and saves: the file then holds what the reader calls
// usable, and an unusable copy is kept aside under a name of its own, byte for byte.
void loadAndSave(const fs::path& file, const std::string& bytes, bool (*usable)(const std::string&),
                 const std::function<void()>& load, const std::function<void()>& save) {
  writeFile(file.string(), bytes);
  load();
  save();
  FUZZ_CHECK(usable(readFile(file.string())));
  if (usable(bytes)) return;
  auto copies = platform::KeptCopy::copiesOf(file.string());
  FUZZ_CHECK(copies.size() == 1);
  FUZZ_CHECK(readFile(copies.back()) == bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  Home& h = home();
  std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  fs::remove_all(h.root / "caches/corvane-studio/json");
  fs::remove_all(h.root / "library/Studio");
  auto config = h.config();
  switch (data[0] % 3) {
    case 0:
      loadAndSave(
          h.json("Custom config.json"), bytes, isObject, [&] { config->loadCustomConfig(); },
          [&] { config->saveConfigFile(); });
      break;
    case 1:
      loadAndSave(
          h.json("Presets.json"), bytes, isListOfObjects, [&] { config->loadPresets(); },
          [&] { config->savePresetFile(); });
      break;
    default:
      writeFile((h.root / "library/Studio/config/KestovaSetting.json").string(), bytes);
      config->loadKestovaSetting();
      break;
  }
  platform::MainQueue::shared().drain();
  return 0;
}
