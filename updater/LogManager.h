#pragma once

#include <string>

#include "log/LogManager.h"

namespace updater {

// The updater's day log: the suite's day-file logger writing under the updater's own caches
// folder (<caches>/corvane-studio-updater/log), announcing its file's URL on standard output
// before it opens it. The updater logs at three levels: debug, info and error.
class LogManager {
 public:
  static LogManager& shared();
  // The process's logger environment with the file URL announced.
  static corvane::LogManager::Environment environment();

  void debug(const std::string& message, const char* file, const char* function, int line);
  void info(const std::string& message, const char* file, const char* function, int line);
  void error(const std::string& message, const char* file, const char* function, int line);

  corvane::LogManager& dayLog() { return log_; }

  // The firmware-update framework's lines go into this day log too (from the first use of
  // shared()); released before the program ends, while the logger still lives.
  void takeFrameworkLines();
  static void releaseFrameworkLines();

 private:
  explicit LogManager(corvane::LogManager& log) : log_(log) {}
  corvane::LogManager& log_;
};

}  // namespace updater

#define UPDATER_LOG_DEBUG(msg) \
  ::updater::LogManager::shared().debug((msg), __FILE__, __func__, __LINE__)
#define UPDATER_LOG_INFO(msg) \
  ::updater::LogManager::shared().info((msg), __FILE__, __func__, __LINE__)
#define UPDATER_LOG_ERROR(msg) \
  ::updater::LogManager::shared().error((msg), __FILE__, __func__, __LINE__)
