#include "LanguageManager.h"

#include "LogManager.h"

namespace updater {

corvane::LanguageManager::Environment LanguageManager::environment() {
  // The day log first, so that the suite's logger is made as the updater's.
  corvane::LogManager* log = &LogManager::shared().dayLog();
  corvane::LanguageManager::Environment env = corvane::LanguageManager::Environment::process();
  env.logger = log;
  env.readsStoredLanguage = false;
  return env;
}

LanguageManager& LanguageManager::shared() {
  static LanguageManager manager(environment());
  return manager;
}

LanguageManager::LanguageManager(corvane::LanguageManager::Environment environment)
    : tables_(std::make_unique<corvane::LanguageManager>(std::move(environment))) {}

}  // namespace updater
