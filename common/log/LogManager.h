#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dispatch/Clock.h"
#include "ipc/LogRateLimiter.h"

namespace corvane {

// The main program's diagnostic log: one line per event into the day file
// <caches>/<executable>/log/<yyyy_MM_dd>.log of the day the line is written on and, by level,
// to standard output (Debug, Info) or the system log and standard error (Warning, Error).
class LogManager {
 public:
  // Where the logger gets what it needs; the shared instance takes the process's own.
  struct Environment {
    std::optional<std::string> cachesFolder;
    std::optional<std::string> executableName;
    std::optional<std::string> shortVersion;
    std::string osVersion;       // shown after "Mac OS: "
    std::string systemLanguage;  // e.g. "en-US"
    // None: the process's clock of the moment (a test may put its own in place for a while,
    // and the shared logger outlives it), asked at each use.
    platform::Clock* clock = nullptr;
    std::function<void(const std::string&)> standardOutput;
    // Warnings and errors, for whoever watches the program's console.
    std::function<void(const std::string&)> standardError;
    // The system log, with the line's syslog priority; when absent, `systemLog` gets the line.
    std::function<void(int priority, const std::string&)> priorityLog;
    std::function<void(const std::string&)> systemLog;
    // Lines written for every frame go to the day file and standard output only when on (the
    // environment variable CORVANE_DEBUG set to 1 in the process's own environment).
    bool frameDebug = false;
    // Print "@@ logFileURL:" and the day file's URL to standard output before opening it.
    bool printsLogFileURL = false;
    static Environment process();
  };

  // Warnings and errors written for every frame: at most kFrameLineBurst lines from one writer
  // every kFrameLineInterval (CV_LOG_FRAME_WARNING, CV_LOG_FRAME_ERROR).
  static constexpr size_t kFrameLineBurst = 5;
  static constexpr std::chrono::seconds kFrameLineInterval{30};

  static LogManager& shared();
  // What the shared instance is made with, instead of the process's own. Only before the first
  // use of shared(); false (and nothing changes) after it.
  static bool setSharedEnvironment(Environment environment);
  explicit LogManager(Environment environment);
  ~LogManager();
  LogManager(const LogManager&) = delete;
  LogManager& operator=(const LogManager&) = delete;

  void log(const std::string& message);
  void debug(const std::string& message, const char* file, const char* function, int line);
  void info(const std::string& message, const char* file, const char* function, int line);
  void warning(const std::string& message, const char* file, const char* function, int line);
  void error(const std::string& message, const char* file, const char* function, int line);
  static void verbose(const std::string& message, const char* file, const char* function, int line);
  // A Debug line written for every frame: only while the debug switch is on.
  void frameDebug(const std::string& message, const char* file, const char* function, int line);
  void setFrameDebug(bool on);
  bool isFrameDebug() const;

  // The syslog priority of a level ("Error", "Warning", "Info", "Debug").
  static int syslogPriority(const char* level);

  void writeBanner();
  void writeLine(const std::string& eventLine);
  // Packs the whole log folder, as the archive's top entry "log/", stored, into `destination`.
  // False (and "Something went wrong" with the reason in the day file) when it could not be
  // written; `reason`, when given, gets the reason.
  bool exportLogs(const std::string& destination, std::string* reason = nullptr);

  std::string logFilePath() const;
  std::optional<std::string> logFolder() const;
  bool hasFile() const;

  // The text as the log writes it: control characters and bytes that are no UTF-8 escaped
  // ("\n", "\x1b"); escaping it again changes nothing.
  static std::string printable(std::string_view text);
  // "[Level] [file:line], function: message"
  static std::string eventLine(const char* level, const std::string& message, const char* file,
                               const char* function, int line);
  static std::string formatTime(platform::Clock::WallTime time, const char* pattern);
  // "file://" and the path, percent-encoded where a URL needs it.
  static std::string fileURL(const std::string& path);

 private:
  void setUp();
  // Removes the day files older than three days; the lines that say which could not go.
  std::vector<std::string> cleanUp(const std::string& folder);
  // Opens logFilePath_ (mutex_ held); false when there is no day file to write into.
  bool openDayFileLocked();
  void reportOpenFailure();
  void reportPrune(const std::string& report);
  void appendLocked(platform::Clock::WallTime now, const std::string& eventLine);
  void toSystemLog(const char* level, const std::string& line);
  platform::Clock& clock() const;

  Environment env_;
  mutable std::mutex mutex_;
  FILE* filePointer_ = nullptr;
  std::string logFilePath_;
  std::string logDay_;             // "yyyy_MM_dd" of the open day file
  std::string writeFailure_;       // why the last line could not be written; empty when it was
  std::string openFailure_;        // why the day file is not open; empty when it is
  std::string openFailureToTell_;  // a new reason, for the console and the system log
  std::atomic<bool> frameDebug_{false};
};

}  // namespace corvane

#define CV_LOG_DEBUG(msg) ::corvane::LogManager::shared().debug((msg), __FILE__, __func__, __LINE__)
#define CV_LOG_INFO(msg) ::corvane::LogManager::shared().info((msg), __FILE__, __func__, __LINE__)
#define CV_LOG_WARNING(msg) \
  ::corvane::LogManager::shared().warning((msg), __FILE__, __func__, __LINE__)
#define CV_LOG_ERROR(msg) ::corvane::LogManager::shared().error((msg), __FILE__, __func__, __LINE__)
// For lines written on every frame: they would drown everything else.
#define CV_LOG_FRAME_DEBUG(msg) \
  ::corvane::LogManager::shared().frameDebug((msg), __FILE__, __func__, __LINE__)
// For warnings and errors written on every frame, through a limiter of the writer's own (made
// with kFrameLineBurst and kFrameLineInterval): a failure that repeats with each frame writes a
// few lines, then one line every while that says how many were left out.
#define CV_LOG_FRAME_WARNING(limiter, msg)                                             \
  do {                                                                                 \
    if (auto cvLine_ = (limiter).admit(msg))                                           \
      ::corvane::LogManager::shared().warning(*cvLine_, __FILE__, __func__, __LINE__); \
  } while (false)
#define CV_LOG_FRAME_ERROR(limiter, msg)                                             \
  do {                                                                               \
    if (auto cvLine_ = (limiter).admit(msg))                                         \
      ::corvane::LogManager::shared().error(*cvLine_, __FILE__, __func__, __LINE__); \
  } while (false)
#define CV_LOG_VERBOSE(msg) ::corvane::LogManager::verbose((msg), __FILE__, __func__, __LINE__)
