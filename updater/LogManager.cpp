#include "LogManager.h"

#include "QD4718Log.h"

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
    LogManager made(corvane::LogManager::shared());
    made.takeFrameworkLines();
    return made;
  }();
  return instance;
}

void LogManager::takeFrameworkLines() {
  // Why an audio update failed is said only by the framework: its lines, already in the day
  // file's form, go into the updater's day file (its own output to the console stays).
  corvane::LogManager* log = &log_;
  qd4718::QD4718Log::setDayLogSink(
      [log](qd4718::QD4718Log::Level, const std::string& line) { log->writeLine(line); });
}

void LogManager::releaseFrameworkLines() { qd4718::QD4718Log::setDayLogSink(nullptr); }

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
