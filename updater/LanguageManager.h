#pragma once

#include <memory>
#include <string>
#include <vector>

#include "i18n/LanguageManager.h"
#include "i18n/Languages.h"

namespace updater {

// The updater's localisation: the suite's language tables and lookup, always following the
// system's language (the updater keeps no language choice of its own).
class LanguageManager {
 public:
  static LanguageManager& shared();
  explicit LanguageManager(corvane::LanguageManager::Environment environment);
  // The process's environment, with any stored language choice ignored.
  static corvane::LanguageManager::Environment environment();

  std::string localized(const std::string& key) const { return tables_->localized(key); }
  std::string collatorIdentifier() const { return tables_->collatorIdentifier(); }
  const std::vector<std::string>& localizableList() const { return tables_->localizableList; }

  corvane::Languages languages = corvane::Languages::system;

 private:
  std::unique_ptr<corvane::LanguageManager> tables_;
};

}  // namespace updater
