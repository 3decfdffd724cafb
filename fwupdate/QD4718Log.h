#pragma once

#include <functional>
#include <string>

namespace qd4718 {

// The firmware-update framework's own log: debug and info lines go to standard output, warnings
// and errors to the system log, each as "[Level] [file:line], function(): text", and every line
// also to the program's day log when the program gave one (the library knows no logger of its
// own that a user could find).
class QD4718Log {
 public:
  enum class Level { Debug, Info, Warning, Error };
  using Sink = std::function<void(Level, const std::string&)>;

  static void write(Level level, const std::string& message, const char* file, const char* function,
                    int line);
  // Tests catch the lines; nullptr restores standard output and the system log.
  static void setSink(Sink sink);
  // Where the program keeps its day log: every line, whole, goes there too; nullptr: nowhere
  // else. Called on whichever thread wrote the line.
  static void setDayLogSink(Sink sink);
};

}  // namespace qd4718

#define QD4718_LOG(level, msg) \
  ::qd4718::QD4718Log::write(::qd4718::QD4718Log::Level::level, (msg), __FILE__, __func__, __LINE__)
#define QD4718_LOG_DEBUG(msg) QD4718_LOG(Debug, msg)
#define QD4718_LOG_INFO(msg) QD4718_LOG(Info, msg)
#define QD4718_LOG_WARNING(msg) QD4718_LOG(Warning, msg)
#define QD4718_LOG_ERROR(msg) QD4718_LOG(Error, msg)
