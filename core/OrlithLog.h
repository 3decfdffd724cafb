#pragma once

#include <functional>
#include <string>

namespace orlith {

// The framework's own log: it never writes the program's day file. Debug lines go to standard
// output, the others to the system log, each as "[Level] [file:line], function(): message".
class OrlithLog {
 public:
  enum class Level { Debug, Info, Warning, Error };
  using Sink = std::function<void(Level, const std::string&)>;

  static void write(Level level, const std::string& message, const char* file,
                    const char* function, int line);
  // Tests catch the lines; nullptr restores standard output and the system log.
  static void setSink(Sink sink);
  // Lines written for every frame (or every rectangle of every frame) are Debug lines written
  // only while this is on; the program turns it on with its own debug switch.
  static void setFrameDebug(bool on);
  static bool isFrameDebug();
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
#define ORLITH_LOG_WARNING(msg) \
  ::orlith::OrlithLog::write(::orlith::OrlithLog::Level::Warning, (msg), __FILE__, __func__, __LINE__)
#define ORLITH_LOG_ERROR(msg) \
  ::orlith::OrlithLog::write(::orlith::OrlithLog::Level::Error, (msg), __FILE__, __func__, __LINE__)
