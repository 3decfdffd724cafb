#include "log/LogManager.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <syslog.h>
#include <unistd.h>
#include <zip.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string_view>
#include <vector>

#include "Bundle.h"
#include "Paths.h"

namespace fs = std::filesystem;

namespace corvane {

namespace {

constexpr auto kKeepSeconds = std::chrono::seconds(259200);  // three days

std::string fileName(const char* path) {
  std::string p = path ? path : "";
  auto slash = p.find_last_of('/');
  return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string osReleaseName() {
  std::ifstream in("/etc/os-release");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("PRETTY_NAME=", 0) == 0) {
      std::string v = line.substr(12);
      if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
      return v;
    }
  }
  return "Linux";
}

std::string languageTag() {
  const char* names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  for (const char* n : names) {
    const char* v = std::getenv(n);
    if (!v || !*v) continue;
    std::string s = v;
    s = s.substr(0, s.find_first_of(".@"));
    if (s == "C" || s == "POSIX") return "en-US";
    for (char& c : s)
      if (c == '_') c = '-';
    return s;
  }
  return "en-US";
}

// "yyyy_MM_dd.log" of a real calendar date: the names of the day files the logger writes.
// 2026_13_45.log is shaped like one, but no day of the logger's is named so.
bool isDayFileName(const std::string& name) {
  static constexpr std::string_view kPattern = "dddd_dd_dd.log";
  if (name.size() != kPattern.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    const bool digit = name[i] >= '0' && name[i] <= '9';
    if (kPattern[i] == 'd' ? !digit : name[i] != kPattern[i]) return false;
  }
  const auto number = [&](size_t from, size_t length) {
    return std::stoi(name.substr(from, length));
  };
  const std::chrono::year_month_day date{std::chrono::year(number(0, 4)),
                                         std::chrono::month(unsigned(number(5, 2))),
                                         std::chrono::day(unsigned(number(8, 2)))};
  return date.ok();
}

// The creation date of one of our day files; none for anything else in the folder (a folder, a
// link, a file of the user's), which is never ours to remove. Linux keeps no settable creation
// date; the modification time stands for it.
std::optional<platform::Clock::WallTime> dayFileDate(const fs::path& p) {
  if (!isDayFileName(p.filename().string())) return std::nullopt;
  struct stat st;
  if (lstat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return std::chrono::system_clock::from_time_t(st.st_mtim.tv_sec) +
         std::chrono::duration_cast<std::chrono::system_clock::duration>(
             std::chrono::nanoseconds(st.st_mtim.tv_nsec));
}

// What stands at a path, for a line that says why it is not written into.
const char* kindOf(mode_t mode) {
  if (S_ISLNK(mode)) return "a link";
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  return "not a regular file";
}

// The day file, opened for appending only as a regular file of the logger's own: a FIFO in its
// place would block every logging thread once its buffer is full (and with them the program), a
// link would send the log into its target, a device takes lines nobody keeps. The open itself
// never waits (a FIFO without a reader). None, with the reason in `why`, for anything else.
FILE* openDayFile(const std::string& path, std::string& why) {
  const int fd =
      ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
  struct stat st {};
  if (fd < 0) {
    const int error = errno;
    why = ::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)
              ? std::string("it is ") + kindOf(st.st_mode)
              : std::strerror(error);
    return nullptr;
  }
  if (::fstat(fd, &st) != 0) {
    why = std::strerror(errno);
  } else if (!S_ISREG(st.st_mode)) {
    why = std::string("it is ") + kindOf(st.st_mode);
  } else if (st.st_nlink > 1) {
    why = "it has other names (hard links) the log would reach";
  } else {
    // Regular files never block; the flag only kept the open from waiting.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (FILE* stream = ::fdopen(fd, "a+")) return stream;
    why = std::strerror(errno);
  }
  ::close(fd);
  return nullptr;
}

// The length of the well-formed UTF-8 sequence at `at`, or 0 when the bytes there are none.
size_t utf8Length(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  if (lead < 0xC2 || lead > 0xF4 || at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i)
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  const unsigned char second = byte(at + 1);
  // Overlong forms, UTF-16 surrogates and code points past U+10FFFF.
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
      (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F))
    return 0;
  return length;
}

// The line as it may reach a file or a terminal: text from files and devices must not start a
// line of its own or drive the terminal of whoever reads the log, so control characters (C0,
// DEL and C1) and bytes that are no UTF-8 are written escaped, "\n", "\r" or "\x1b". UTF-8 text
// and tabs stay as they are. Escaping an escaped line changes nothing.
std::string printable(std::string_view line) {
  static const char* hex = "0123456789abcdef";
  std::string out;
  out.reserve(line.size());
  const auto escape = [&](unsigned char c) {
    out += "\\x";
    out += hex[c >> 4];
    out += hex[c & 15];
  };
  for (size_t i = 0; i < line.size();) {
    const unsigned char c = static_cast<unsigned char>(line[i]);
    if (c < 0x80) {
      if (c == '\n')
        out += "\\n";
      else if (c == '\r')
        out += "\\r";
      else if ((c < 0x20 && c != '\t') || c == 0x7f)
        escape(c);
      else
        out += char(c);
      ++i;
      continue;
    }
    const size_t length = utf8Length(line, i);
    if (length == 0) {
      escape(c);
      ++i;
    } else if (c == 0xC2 && static_cast<unsigned char>(line[i + 1]) < 0xA0) {
      escape(c);  // U+0080..U+009F: a terminal takes these as controls too
      escape(static_cast<unsigned char>(line[i + 1]));
      i += 2;
    } else {
      out.append(line.substr(i, length));
      i += length;
    }
  }
  return out;
}

}  // namespace

LogManager::Environment LogManager::Environment::process() {
  Environment env;
  env.cachesFolder = platform::Paths::caches();
  env.executableName = platform::Bundle::main().executableName();
  env.shortVersion = platform::Bundle::main().shortVersion();
  struct utsname u;
  std::string kernel = uname(&u) == 0 ? std::string(u.release) : std::string();
  env.osVersion = osReleaseName() + (kernel.empty() ? "" : " " + kernel);
  env.systemLanguage = languageTag();
  env.standardOutput = [](const std::string& line) { std::cout << line << '\n' << std::flush; };
  env.standardError = [](const std::string& line) { std::cerr << line << '\n' << std::flush; };
  env.priorityLog = [](int priority, const std::string& line) {
    syslog(priority, "%s", line.c_str());
  };
  const char* debug = std::getenv("CORVANE_DEBUG");
  env.frameDebug = debug && std::string(debug) == "1";
  // The terminal gets the warnings and errors (standard error); the running commentary of
  // Debug and Info lines only with the debug switch on.
  if (!env.frameDebug) env.standardOutput = nullptr;
  return env;
}

namespace {

std::mutex sharedEnvironmentMutex;
std::optional<LogManager::Environment> sharedEnvironment;
bool sharedMade = false;

LogManager::Environment takeSharedEnvironment() {
  std::lock_guard lock(sharedEnvironmentMutex);
  sharedMade = true;
  return sharedEnvironment ? std::move(*sharedEnvironment) : LogManager::Environment::process();
}

}  // namespace

bool LogManager::setSharedEnvironment(Environment environment) {
  std::lock_guard lock(sharedEnvironmentMutex);
  if (sharedMade) return false;
  sharedEnvironment = std::move(environment);
  return true;
}

LogManager& LogManager::shared() {
  static LogManager logger(takeSharedEnvironment());
  return logger;
}

std::string LogManager::fileURL(const std::string& path) {
  static const char* hex = "0123456789ABCDEF";
  std::string url = "file://";
  for (unsigned char c : path) {
    if (std::isalnum(c) || std::strchr("/-._~", c)) {
      url += char(c);
    } else {
      url += '%';
      url += hex[c >> 4];
      url += hex[c & 15];
    }
  }
  return url;
}

LogManager::LogManager(Environment environment) : env_(std::move(environment)) {
  frameDebug_ = env_.frameDebug;
  setUp();
}

platform::Clock& LogManager::clock() const {
  return env_.clock ? *env_.clock : platform::Clock::shared();
}

LogManager::~LogManager() {
  if (filePointer_) std::fclose(filePointer_);
}

std::optional<std::string> LogManager::logFolder() const {
  if (!env_.cachesFolder || !env_.executableName) return std::nullopt;
  return platform::Paths::join(platform::Paths::join(*env_.cachesFolder, *env_.executableName),
                               "log");
}

void LogManager::setUp() {
  auto folder = logFolder();
  if (!folder) return;
  platform::Paths::makeFolders(*folder);
  const std::vector<std::string> pruneReports = cleanUp(*folder);
  std::string day = formatTime(clock().wallNow(), "yyyy_MM_dd");
  std::string path = platform::Paths::join(*folder, day + ".log");
  if (env_.printsLogFileURL && env_.standardOutput)
    env_.standardOutput("@@ logFileURL:" + fileURL(path));
  bool opened = false;
  {
    std::lock_guard lock(mutex_);
    logDay_ = day;
    logFilePath_ = path;
    opened = openDayFileLocked();
  }
  if (!opened) {
    if (env_.standardOutput) env_.standardOutput("Create file pointer failed");
    reportOpenFailure();
  } else {
    writeBanner();
  }
  for (const std::string& report : pruneReports) reportPrune(report);
}

bool LogManager::openDayFileLocked() {
  std::string why;
  filePointer_ = openDayFile(logFilePath_, why);
  if (filePointer_) {
    openFailure_.clear();
    openFailureToTell_.clear();
    return true;
  }
  // Said once for each new reason: a FIFO that stays in place would otherwise say it with
  // every line.
  const std::string failure = "The day file " + logFilePath_ + " is not written: " + why +
                              "; the log reaches the console and the system log only";
  if (failure != openFailure_) openFailureToTell_ = failure;
  openFailure_ = failure;
  return false;
}

void LogManager::reportOpenFailure() {
  std::string failure;
  {
    std::lock_guard lock(mutex_);
    failure.swap(openFailureToTell_);
  }
  if (failure.empty()) return;
  const std::string report = eventLine("Error", failure, __FILE__, __func__, __LINE__);
  toSystemLog("Error", report);
  if (env_.standardError) env_.standardError(printable(report));
}

// An old day file left in place: the day file (when there is one), the system log and the
// console say so; the other files were pruned.
void LogManager::reportPrune(const std::string& report) {
  toSystemLog("Error", report);
  if (env_.standardError) env_.standardError(printable(report));
  writeLine(report);
}

std::vector<std::string> LogManager::cleanUp(const std::string& folder) {
  auto limit = clock().wallNow() - kKeepSeconds;
  std::vector<std::string> reports;
  // The logger is not set up yet (or holds its own lock): the caller reports, never ourselves.
  const auto report = [&](const std::string& failure) {
    reports.push_back(eventLine("Error", "Cannot cleanup the old files: " + failure, __FILE__,
                                "cleanUp", __LINE__));
  };
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    auto created = dayFileDate(it->path());
    if (!created || *created >= limit) continue;
    // One file that cannot go (a mount on it, a folder that takes no removals) keeps only
    // itself: the other old files go all the same.
    std::error_code removal;
    fs::remove(it->path(), removal);
    if (removal) report(it->path().filename().string() + ": " + removal.message());
  }
  if (ec) report(ec.message());
  return reports;
}

std::string LogManager::formatTime(platform::Clock::WallTime time, const char* pattern) {
  std::time_t t = std::chrono::system_clock::to_time_t(time);
  std::tm tm{};
  localtime_r(&t, &tm);
  std::string p = pattern;
  std::string out;
  char buf[16];
  for (size_t i = 0; i < p.size();) {
    auto take = [&](const char* token) {
      size_t n = std::strlen(token);
      if (p.compare(i, n, token) == 0) {
        i += n;
        return true;
      }
      return false;
    };
    if (take("yyyy")) {
      std::snprintf(buf, sizeof buf, "%04d", tm.tm_year + 1900);
    } else if (take("MM")) {
      std::snprintf(buf, sizeof buf, "%02d", tm.tm_mon + 1);
    } else if (take("dd")) {
      std::snprintf(buf, sizeof buf, "%02d", tm.tm_mday);
    } else if (take("HH")) {
      std::snprintf(buf, sizeof buf, "%02d", tm.tm_hour);
    } else if (take("mm")) {
      std::snprintf(buf, sizeof buf, "%02d", tm.tm_min);
    } else if (take("ss")) {
      std::snprintf(buf, sizeof buf, "%02d", tm.tm_sec);
    } else {
      buf[0] = p[i++];
      buf[1] = 0;
    }
    out += buf;
  }
  return out;
}

std::string LogManager::eventLine(const char* level, const std::string& message, const char* file,
                                  const char* function, int line) {
  return std::string("[") + level + "] [" + fileName(file) + ":" + std::to_string(line) + "], " +
         (function ? function : "") + "(): " + message;
}

void LogManager::writeLine(const std::string& eventLine) {
  std::vector<std::string> pruneReports;
  {
    std::lock_guard lock(mutex_);
    if (logFilePath_.empty()) return;
    auto now = clock().wallNow();
    std::string day = formatTime(now, "yyyy_MM_dd");
    struct stat st;
    if (day != logDay_) {
      // A new day (the program ran past midnight): its lines go to the file of that day, and
      // the files that have grown too old since the start go.
      if (filePointer_) std::fclose(filePointer_);
      std::string folder = fs::path(logFilePath_).parent_path().string();
      pruneReports = cleanUp(folder);
      logDay_ = day;
      logFilePath_ = platform::Paths::join(folder, day + ".log");
      openDayFileLocked();
    } else if (::lstat(logFilePath_.c_str(), &st) != 0) {
      // The day file was removed while we run: start it again (without a banner).
      if (filePointer_) std::fclose(filePointer_);
      openDayFileLocked();
    }
    appendLocked(now, eventLine);
  }
  reportOpenFailure();
  for (const std::string& report : pruneReports) reportPrune(report);
}

void LogManager::appendLocked(platform::Clock::WallTime now, const std::string& eventLine) {
  if (!filePointer_) return;
  std::string text = formatTime(now, "yyyy_MM_dd HH:mm:ss") + " " + printable(eventLine) + "\n";
  const bool written = std::fwrite(text.data(), 1, text.size(), filePointer_) == text.size() &&
                       std::fflush(filePointer_) == 0;
  if (written) {
    writeFailure_.clear();
    return;
  }
  // A full disk or a file-size limit: the day file cannot say so, the system log and the
  // console can, once until a line goes through again.
  const std::string why = std::strerror(errno);
  std::clearerr(filePointer_);
  if (why == writeFailure_) return;
  writeFailure_ = why;
  const std::string report =
      LogManager::eventLine("Error", "Cannot write the day file " + logFilePath_ + ": " + why,
                            __FILE__, __func__, __LINE__);
  toSystemLog("Error", report);
  if (env_.standardError) env_.standardError(printable(report));
}

void LogManager::writeBanner() {
  writeLine("");
  writeLine("******************** Log Start: " +
            formatTime(clock().wallNow(), "yyyy_MM_dd HH:mm:ss") + "********************");
  writeLine("Mac OS: " + env_.osVersion);
  writeLine("Studio version: " + env_.shortVersion.value_or(""));
  writeLine("Current system language: " + env_.systemLanguage);
}

int LogManager::syslogPriority(const char* level) {
  std::string_view l = level ? level : "";
  if (l == "Error") return LOG_ERR;
  if (l == "Warning") return LOG_WARNING;
  if (l == "Debug") return LOG_DEBUG;
  return LOG_INFO;
}

void LogManager::toSystemLog(const char* level, const std::string& line) {
  if (env_.priorityLog)
    env_.priorityLog(syslogPriority(level), printable(line));
  else if (env_.systemLog)
    env_.systemLog(printable(line));
}

void LogManager::log(const std::string& message) {
  std::string line = "[Info] " + printable(message);
  writeLine(line);
  if (env_.standardOutput) env_.standardOutput(line);
}

void LogManager::debug(const std::string& message, const char* file, const char* function,
                       int line) {
  std::string text = printable(eventLine("Debug", message, file, function, line));
  writeLine(text);
  if (env_.standardOutput) env_.standardOutput(text);
}

void LogManager::frameDebug(const std::string& message, const char* file, const char* function,
                            int line) {
  if (frameDebug_) debug(message, file, function, line);
}

void LogManager::setFrameDebug(bool on) { frameDebug_ = on; }

bool LogManager::isFrameDebug() const { return frameDebug_; }

// Info lines are the program's running commentary: the system log gets only what needs a look.
void LogManager::info(const std::string& message, const char* file, const char* function,
                      int line) {
  std::string text = printable(eventLine("Info", message, file, function, line));
  writeLine(text);
  if (env_.standardOutput) env_.standardOutput(text);
}

// Warnings and errors also reach whoever watches the program's console.
void LogManager::warning(const std::string& message, const char* file, const char* function,
                         int line) {
  std::string text = printable(eventLine("Warning", message, file, function, line));
  writeLine(text);
  toSystemLog("Warning", text);
  if (env_.standardError) env_.standardError(text);
}

void LogManager::error(const std::string& message, const char* file, const char* function,
                       int line) {
  std::string text = printable(eventLine("Error", message, file, function, line));
  writeLine(text);
  toSystemLog("Error", text);
  if (env_.standardError) env_.standardError(text);
}

void LogManager::verbose(const std::string& message, const char* file, const char* function,
                         int line) {
  std::string text =
      "[verbose] " + printable(eventLine("", message, file, function, line).substr(3));
  std::cout << text << '\n' << std::flush;
}

std::string LogManager::printable(std::string_view text) { return corvane::printable(text); }

std::string LogManager::logFilePath() const {
  std::lock_guard lock(mutex_);
  return logFilePath_;
}

bool LogManager::hasFile() const {
  std::lock_guard lock(mutex_);
  return filePointer_ != nullptr;
}

bool LogManager::exportLogs(const std::string& destination, std::string* reason) {
  std::string why;
  auto folder = logFolder();
  if (!folder) {
    why = "there is no log folder";
  } else {
    int err = 0;
    zip_t* archive = zip_open(destination.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    if (!archive) {
      zip_error_t error;
      zip_error_init_with_code(&error, err);
      why = zip_error_strerror(&error);
      zip_error_fini(&error);
    } else {
      std::error_code ec;
      bool ok = zip_dir_add(archive, "log", ZIP_FL_ENC_UTF_8) >= 0;
      for (fs::recursive_directory_iterator it(*folder, ec), end; ok && !ec && it != end;
           it.increment(ec)) {
        std::string rel = "log/" + fs::relative(it->path(), *folder, ec).string();
        if (it->is_directory(ec)) {
          ok = zip_dir_add(archive, rel.c_str(), ZIP_FL_ENC_UTF_8) >= 0;
          continue;
        }
        // A FIFO (or a link to one, or a device) would keep the read waiting or never end.
        if (!it->is_regular_file(ec)) continue;
        zip_source_t* src = zip_source_file(archive, it->path().c_str(), 0, -1);
        zip_int64_t index = src ? zip_file_add(archive, rel.c_str(), src, ZIP_FL_ENC_UTF_8) : -1;
        if (index < 0) {
          if (src) zip_source_free(src);
          ok = false;
          break;
        }
        zip_set_file_compression(archive, zip_uint64_t(index), ZIP_CM_STORE, 0);
      }
      if (ec) why = "cannot read the log folder (" + ec.message() + ")";
      // zip_close writes a temporary file beside the destination and renames it into place.
      if (ok && !ec && zip_close(archive) == 0) {
        archive = nullptr;
      } else if (why.empty()) {
        why = zip_strerror(archive);
      }
      if (archive) zip_discard(archive);
    }
  }
  if (why.empty()) return true;
  writeLine("Something went wrong: " + why);
  if (reason) *reason = why;
  return false;
}

}  // namespace corvane
