#pragma once

#include <QImage>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "i18n/Languages.h"

namespace platform {
class Bundle;
class UserDefaults;
}  // namespace platform

namespace corvane {

class LogManager;

// Knows the language tables (JSON files "<language>.json" in the machine-wide folder
// <Library>/<CFBundleName>/localizable/, with the resources' "en.json" as the fallback) and
// which one is current. A table is read and parsed once, the first time it is needed, and kept;
// lookups come from memory and may run on any thread. A table that cannot be used is logged
// once, with its path, and counts as empty.
class LanguageManager {
 public:
  struct Environment {
    platform::Bundle* bundle = nullptr;
    platform::UserDefaults* defaults = nullptr;
    LogManager* logger = nullptr;
    std::string localLibrary;    // the machine-wide Library folder
    std::string systemLanguage;  // the system's language identifier, as "zh-Hans-CN"
    // False: always follow the system's language, whatever choice the defaults hold.
    bool readsStoredLanguage = true;
    static Environment process();
  };

  static LanguageManager& shared();
  explicit LanguageManager(Environment environment);
  LanguageManager(const LanguageManager&) = delete;
  LanguageManager& operator=(const LanguageManager&) = delete;

  // The folder of the tables, "<Library>/<CFBundleName>/localizable/".
  std::string localizableFolder() const;
  void getLocalizableList();

  // The path of the current table: a stored choice that names an existing table, else the
  // folder's table whose language tag the system language carries (the most specific one),
  // else the folder's "en", else the resources' "en.json".
  std::optional<std::string> currentTablePath() const;
  // The current table; empty when it cannot be read.
  nlohmann::json getlocalizedJSON() const;
  // The text of `key` in the current table, else in the resources' English table, else `key`.
  std::string localized(const std::string& key) const;
  // Entry `index` of the current table's "presets_name", else `fallback`.
  std::string localizedPresetName(const std::string& fallback, int64_t index) const;
  // The language-specific picture "<Library>/<CFBundleName>/Resource/<base>_<language>" (.jpg,
  // .pdf or .png) when one exists.
  std::optional<std::string> localizedResourcePath(const std::string& baseName) const;
  // That picture, else the resources' picture of the plain base name (.png or .jpg).
  QImage localizedImage(const std::string& baseName) const;

  std::string collatorIdentifier() const;
  // The language pickers store the chosen table's path here just before the restart.
  void setCollatorIdentifier(std::string identifier);

  // "zh_CN.UTF-8" -> "zh-Hans-CN", "de_DE" -> "de-DE"; "C" and "" -> "en".
  static std::string systemLanguageTag(const std::string& localeName);

  Languages languages = Languages::system;
  std::vector<std::string> localizableList;

 private:
  std::string bundleName() const;
  std::string englishTablePath() const;
  // The parsed table at `path` (an empty object when it cannot be used), read on first use.
  std::shared_ptr<const nlohmann::json> table(const std::string& path) const;

  Environment env_;
  mutable std::mutex mutex_;
  mutable std::mutex tablesMutex_;
  mutable std::map<std::string, std::shared_ptr<const nlohmann::json>> tables_;
  std::string collatorIdentifier_ = "en";
};

}  // namespace corvane
