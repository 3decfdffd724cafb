#include "OrlithLog.h"

#include <syslog.h>

#include <atomic>
#include <cstdio>
#include <mutex>

namespace orlith {

namespace {
std::mutex sinkMutex;
OrlithLog::Sink& sink() {
  static OrlithLog::Sink s;
  return s;
}
OrlithLog::Sink& dayLogSink() {
  static OrlithLog::Sink s;
  return s;
}
const char* levelName(OrlithLog::Level level) {
  switch (level) {
    case OrlithLog::Level::Debug:
      return "Debug";
    case OrlithLog::Level::Info:
      return "Info";
    case OrlithLog::Level::Warning:
      return "Warning";
    case OrlithLog::Level::Error:
      return "Error";
  }
  return "Info";
}
}  // namespace

namespace {
std::atomic<bool> consoleCommentary{true};
}  // namespace

void OrlithLog::setConsoleCommentary(bool on) { consoleCommentary = on; }

void OrlithLog::write(Level level, const std::string& message, const char* file,
                      const char* function, int line, bool dayLog) {
  std::string path = file ? file : "";
  auto slash = path.find_last_of('/');
  if (slash != std::string::npos) path = path.substr(slash + 1);
  std::string text = std::string("[") + levelName(level) + "] [" + path + ":" +
                     std::to_string(line) + "], " + (function ? function : "") + "(): " + message;
  {
    std::lock_guard lock(sinkMutex);
    if (dayLog && dayLogSink()) dayLogSink()(level, message);
    if (sink()) {
      sink()(level, text);
      return;
    }
  }
  // The system log gets what needs a look: warnings and errors, not the running commentary.
  if (level == Level::Debug || level == Level::Info) {
    if (!consoleCommentary) return;
    std::fprintf(stdout, "%s\n", text.c_str());
    std::fflush(stdout);
  } else {
    syslog(level == Level::Error ? LOG_ERR : LOG_WARNING, "%s", text.c_str());
  }
}

namespace {
std::atomic<bool> frameDebug{false};
}  // namespace

void OrlithLog::setFrameDebug(bool on) { frameDebug = on; }

bool OrlithLog::isFrameDebug() { return frameDebug; }

void OrlithLog::setSink(Sink s) {
  std::lock_guard lock(sinkMutex);
  sink() = std::move(s);
}

void OrlithLog::setDayLogSink(Sink s) {
  std::lock_guard lock(sinkMutex);
  dayLogSink() = std::move(s);
}

}  // namespace orlith
