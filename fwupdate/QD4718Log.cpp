#include "QD4718Log.h"

#include <syslog.h>

#include <cstdio>
#include <mutex>

namespace qd4718 {

namespace {

std::mutex& sinkMutex() {
  static std::mutex m;
  return m;
}

QD4718Log::Sink& sink() {
  static QD4718Log::Sink s;
  return s;
}

QD4718Log::Sink& dayLogSink() {
  static QD4718Log::Sink s;
  return s;
}

constexpr const char* kLevelNames[] = {"Debug", "Info", "Warning", "Error"};
constexpr int kSyslogPriorities[] = {LOG_DEBUG, LOG_INFO, LOG_WARNING, LOG_ERR};

}  // namespace

void QD4718Log::write(Level level, const std::string& message, const char* file,
                      const char* function, int line) {
  std::string path = file ? file : "";
  if (auto slash = path.find_last_of('/'); slash != std::string::npos) path.erase(0, slash + 1);
  const auto index = static_cast<size_t>(level);
  std::string text = std::string("[") + kLevelNames[index] + "] [" + path + ":" +
                     std::to_string(line) + "], " + (function ? function : "") + "(): " + message;
  {
    std::lock_guard lock(sinkMutex());
    if (dayLogSink()) dayLogSink()(level, text);
    if (sink()) {
      sink()(level, text);
      return;
    }
  }
  // The system log gets what needs a look: warnings and errors, not the running commentary.
  if (level == Level::Debug || level == Level::Info) {
    std::fprintf(stdout, "%s\n", text.c_str());
    std::fflush(stdout);
  } else {
    syslog(kSyslogPriorities[index], "%s", text.c_str());
  }
}

void QD4718Log::setSink(Sink s) {
  std::lock_guard lock(sinkMutex());
  sink() = std::move(s);
}

void QD4718Log::setDayLogSink(Sink s) {
  std::lock_guard lock(sinkMutex());
  dayLogSink() = std::move(s);
}

}  // namespace qd4718
