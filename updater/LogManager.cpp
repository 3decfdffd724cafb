#include "LogManager.h"

namespace updater {

corvane::LogManager::Environment LogManager::environment() {
  corvane::LogManager::Environment env = corvane::LogManager::Environment::process();
  env.printsLogFileURL = true;
  return env;
}

LogManager& LogManager::shared() {
  // The suite's shared logger is the one the common classes write to: made here with the
  // updater's environment unless something logged before (then it stays as it was made).
  static LogManager instance = [] {
    corvane::LogManager::setSharedEnvironment(environment());
    return LogManager(corvane::LogManager::shared());
  }();
  return instance;
}

void LogManager::debug(const std::string& message, const char* file, const char* function,
                       int line) {
  log_.debug(message, file, function, line);
}

void LogManager::info(const std::string& message, const char* file, const char* function,
                      int line) {
  log_.info(message, file, function, line);
}

void LogManager::error(const std::string& message, const char* file, const char* function,
                       int line) {
  log_.error(message, file, function, line);
}

}  // namespace updater
