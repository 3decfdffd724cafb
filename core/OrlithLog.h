#pragma once

#include <functional>
#include <string>

namespace orlith {

// The framework's own log: it writes the program's day file only through the sink the program
// sets for lines about the user's data. Debug and Info lines go to standard output (while the
// console commentary is on), the others to the system log, each as "[Level] [file:line],
// function(): message".
class OrlithLog {
 public:
  enum class Level { Debug, Info, Warning, Error };
  using Sink = std::function<void(Level, const std::string&)>;

  // `dayLog`: a line about the user's own data (the face store), which also goes to the sink
  // the program set with setDayLogSink, so the user finds it in the program's day file.
  static void write(Level level, const std::string& message, const char* file, const char* function,
                    int line, bool dayLog = false);
  // Tests catch the lines; nullptr restores standard output and the system log.
  static void setSink(Sink sink);
  // Lines written for every frame (or every rectangle of every frame) are Debug lines written
  // only while this is on; the program turns it on with its own debug switch.
  static void setFrameDebug(bool on);
  static bool isFrameDebug();
  // Whether Debug and Info lines reach standard output (on until a program says otherwise; the
  // main program keeps its terminal to warnings and errors unless its debug switch is on).
  static void setConsoleCommentary(bool on);
  // Where the program keeps the day-log lines (its own logger); nullptr: nowhere else.
  static void setDayLogSink(Sink sink);
};

}  // namespace orlith

#define ORLITH_LOG_DEBUG(msg) \
  ::orlith::OrlithLog::write(::orlith::OrlithLog::Level::Debug, (msg), __FILE__, __func__, __LINE__)
#define ORLITH_LOG_FRAME_DEBUG(msg)                                                            \
  do {                                                                                         \
    if (::orlith::OrlithLog::isFrameDebug())                                                   \
      ::orlith::OrlithLog::write(::orlith::OrlithLog::Level::Debug, (msg), __FILE__, __func__, \
                                 __LINE__);                                                    \
  } while (false)
#define ORLITH_LOG_INFO(msg) \
  ::orlith::OrlithLog::write(::orlith::OrlithLog::Level::Info, (msg), __FILE__, __func__, __LINE__)
#define ORLITH_LOG_WARNING(msg)                                                              \
  ::orlith::OrlithLog::write(::orlith::OrlithLog::Level::Warning, (msg), __FILE__, __func__, \
                             __LINE__)
#define ORLITH_LOG_ERROR(msg) \
  ::orlith::OrlithLog::write(::orlith::OrlithLog::Level::Error, (msg), __FILE__, __func__, __LINE__)
