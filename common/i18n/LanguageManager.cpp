#include "i18n/LanguageManager.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "BoundedFile.h"
#include "Bundle.h"
#include "Paths.h"
#include "config/LenientJson.h"
#include "log/LogManager.h"
#include "qt/UserDefaults.h"

#define LANGUAGE_LOG_ERROR(msg) env_.logger->error((msg), __FILE__, __func__, __LINE__)
#define LANGUAGE_LOG_INFO(msg) env_.logger->info((msg), __FILE__, __func__, __LINE__)

namespace fs = std::filesystem;

namespace corvane {

namespace {

std::string lowerCased(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

bool isRegularFile(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::is_regular_file(path, ec);
}

// The language a table file is named after: its file name without the extension.
std::string baseName(const std::string& path) { return fs::path(path).stem().string(); }

// A tag carries a table's language when it is that language or a more specific form of it
// ("zh-Hans-CN" carries "zh-Hans" and "zh", not "zh-Hant").
bool carriesLanguage(const std::string& tag, const std::string& language) {
  if (language.empty()) return false;
  std::string t = lowerCased(tag), l = lowerCased(language);
  std::replace(t.begin(), t.end(), '_', '-');
  std::replace(l.begin(), l.end(), '_', '-');
  return t == l || (t.size() > l.size() && t.compare(0, l.size(), l) == 0 && t[l.size()] == '-');
}

std::string processLocaleName() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(name);
    if (v && *v) return v;
  }
  return {};
}

}  // namespace

LanguageManager::Environment LanguageManager::Environment::process() {
  Environment env;
  env.bundle = &platform::Bundle::main();
  env.defaults = &platform::UserDefaults::shared();
  env.logger = &LogManager::shared();
  env.localLibrary = platform::Paths::localLibrary();
  env.systemLanguage = systemLanguageTag(processLocaleName());
  return env;
}

LanguageManager& LanguageManager::shared() {
  static LanguageManager manager(Environment::process());
  return manager;
}

LanguageManager::LanguageManager(Environment environment) : env_(std::move(environment)) {
  if (!env_.bundle) env_.bundle = &platform::Bundle::main();
  if (!env_.defaults) env_.defaults = &platform::UserDefaults::shared();
  if (!env_.logger) env_.logger = &LogManager::shared();
  getLocalizableList();
  QVariant stored =
      env_.readsStoredLanguage ? env_.defaults->object("CurrentLanguage") : QVariant();
  if (stored.isValid() && stored.typeId() == QMetaType::QString) {
    collatorIdentifier_ = stored.toString().toStdString();
  } else if (!env_.systemLanguage.empty()) {
    collatorIdentifier_ = env_.systemLanguage;
  }
}

std::string LanguageManager::systemLanguageTag(const std::string& localeName) {
  std::string name = localeName.substr(0, localeName.find_first_of(".@"));
  if (name.empty() || name == "C" || name == "POSIX") return "en";
  std::replace(name.begin(), name.end(), '_', '-');
  auto dash = name.find('-');
  std::string language = name.substr(0, dash);
  std::string region = dash == std::string::npos ? "" : name.substr(dash + 1);
  if (language == "zh") {
    // Chinese tables are told apart by script; a region alone implies it.
    if (region.rfind("Hans", 0) == 0 || region.rfind("Hant", 0) == 0) return "zh-" + region;
    bool traditional = region == "TW" || region == "HK" || region == "MO";
    return std::string(traditional ? "zh-Hant" : "zh-Hans") + (region.empty() ? "" : "-" + region);
  }
  return name;
}

std::string LanguageManager::bundleName() const { return env_.bundle->bundleName().value_or(""); }

std::string LanguageManager::localizableFolder() const {
  return env_.localLibrary + "/" + bundleName() + "/localizable/";
}

std::string LanguageManager::englishTablePath() const {
  return env_.bundle->pathForResource("en.json").value_or("");
}

void LanguageManager::getLocalizableList() {
  localizableList.clear();
  if (env_.localLibrary.empty()) return;
  std::string folder = localizableFolder();
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  std::vector<std::string> names;
  for (; !ec && it != fs::directory_iterator(); it.increment(ec))
    names.push_back(it->path().filename().string());
  if (ec) {
    // The machine-wide tables are optional (the bundle's English table stands in): only a
    // folder that is there and cannot be listed is an error.
    bool missing = ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory;
    if (missing)
      LANGUAGE_LOG_INFO("No language tables at " + folder +
                        " (they are optional): the bundle's English table stands in");
    else
      LANGUAGE_LOG_ERROR("Error while enumerating files " + folder + ": " + ec.message());
    return;
  }
  // The folder's order is the file system's; sorted, the choice is the same everywhere.
  std::sort(names.begin(), names.end());
  for (const auto& name : names) {
    if (name == ".DS_Store") continue;
    localizableList.push_back(folder + "/" + name);
  }
}

std::string LanguageManager::collatorIdentifier() const {
  std::lock_guard lock(mutex_);
  return collatorIdentifier_;
}

void LanguageManager::setCollatorIdentifier(std::string identifier) {
  std::lock_guard lock(mutex_);
  collatorIdentifier_ = std::move(identifier);
}

std::optional<std::string> LanguageManager::currentTablePath() const {
  std::string identifier = collatorIdentifier();
  if (identifier.find('/') != std::string::npos) {
    // A stored choice: exactly that table while it exists, else the system's language.
    if (isRegularFile(identifier)) return identifier;
    identifier = env_.systemLanguage;
  }
  std::string best;
  size_t bestLength = 0;
  for (const auto& entry : localizableList) {
    std::string language = baseName(entry);
    if (carriesLanguage(identifier, language) && language.size() > bestLength) {
      best = entry;
      bestLength = language.size();
    }
  }
  if (!best.empty()) return best;
  for (const auto& entry : localizableList)
    if (baseName(entry) == "en") return entry;
  std::string english = englishTablePath();
  if (english.empty()) return std::nullopt;
  return english;
}

std::shared_ptr<const nlohmann::json> LanguageManager::table(const std::string& path) const {
  std::lock_guard lock(tablesMutex_);
  if (auto it = tables_.find(path); it != tables_.end()) return it->second;
  auto parsed = std::make_shared<nlohmann::json>(nlohmann::json::object());
  std::string text, error;
  if (!LenientJson::readText(path, text, &error, platform::BoundedFile::kLanguageTableBytes)) {
    LANGUAGE_LOG_ERROR("Get string file error: " + error);
  } else if (!LenientJson::parse(text, *parsed, &error)) {
    LANGUAGE_LOG_ERROR("String to JSON error: " + path + ": " + error);
    *parsed = nlohmann::json::object();
  } else if (!parsed->is_object()) {
    LANGUAGE_LOG_ERROR("String to JSON error: " + path + ": not a JSON object");
    *parsed = nlohmann::json::object();
  }
  tables_.emplace(path, parsed);
  return parsed;
}

nlohmann::json LanguageManager::getlocalizedJSON() const {
  return *table(currentTablePath().value_or(""));
}

std::string LanguageManager::localized(const std::string& key) const {
  if (auto text = LenientJson::string(*table(currentTablePath().value_or("")), key.c_str()))
    return *text;
  return LenientJson::string(*table(englishTablePath()), key.c_str()).value_or(key);
}

std::string LanguageManager::localizedPresetName(const std::string& fallback, int64_t index) const {
  auto names = LenientJson::stringList(*table(currentTablePath().value_or("")), "presets_name");
  if (!names || index < 0 || index >= static_cast<int64_t>(names->size())) return fallback;
  return (*names)[static_cast<size_t>(index)];
}

std::optional<std::string> LanguageManager::localizedResourcePath(
    const std::string& baseName) const {
  std::string identifier = collatorIdentifier();
  std::string suffix;
  if (identifier.find("zh-Hans") != std::string::npos) {
    suffix = "zh-Hans";
  } else if (identifier.find("zh-Hant") != std::string::npos) {
    suffix = "zh-Hant";
  } else {
    std::string stem = fs::path(identifier).stem().string();
    size_t start = stem.find_first_not_of('-');
    if (start != std::string::npos) suffix = stem.substr(start, stem.find('-', start) - start);
  }
  if (suffix.empty() || env_.localLibrary.empty()) return std::nullopt;
  std::string candidate =
      env_.localLibrary + "/" + bundleName() + "/Resource/" + baseName + "_" + suffix;
  for (const char* extension : {".jpg", ".pdf", ".png"})
    if (isRegularFile(candidate + extension)) return candidate + extension;
  return std::nullopt;
}

QImage LanguageManager::localizedImage(const std::string& baseName) const {
  if (auto path = localizedResourcePath(baseName)) {
    QImage image(QString::fromStdString(*path));
    if (!image.isNull()) return image;
  }
  for (const char* extension : {".png", ".jpg"}) {
    if (auto path = env_.bundle->pathForResource(baseName + extension)) {
      QImage image(QString::fromStdString(*path));
      if (!image.isNull()) return image;
    }
  }
  return QImage();
}

}  // namespace corvane
