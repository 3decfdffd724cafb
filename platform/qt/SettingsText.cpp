#include "qt/SettingsText.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArrayView>
#include <QSettings>
#include <atomic>
#include <ctime>
#include <string_view>

#include "WholeWrite.h"

namespace platform {

namespace {

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Control bytes other than a tab, or bytes that are no UTF-8: the writer escapes every one.
bool holdsStrayBytes(std::string_view line) {
  for (unsigned char c : line)
    if ((c < 0x20 && c != '\t') || c == 0x7f) return true;
  return !QByteArrayView(line.data(), qsizetype(line.size())).isValidUtf8();
}

// What is wrong with one line; empty when the reader takes a setting or a group header from it
// (whatever its name: a key of a hand's is only unused), or it is a comment or blank.
const char* faultOf(std::string_view line) {
  if (holdsStrayBytes(line)) return "holds stray binary bytes";
  std::string_view text = trimmed(line);
  if (text.empty() || text.front() == ';' || text.front() == '#') return "";
  if (text.front() == '[') {
    // The reader takes the name up to the first "]".
    size_t close = text.find(']');
    return close != std::string_view::npos && !trimmed(text.substr(1, close - 1)).empty()
               ? ""
               : "is not a setting";
  }
  size_t equals = text.find('=');
  if (equals == std::string_view::npos || trimmed(text.substr(0, equals)).empty())
    return "is not a setting";
  return "";
}

}  // namespace

SettingsText::Lines SettingsText::sortLines(const std::string& text) {
  constexpr size_t kNamed = 3;  // lines named in full; the rest are counted
  Lines lines;
  size_t number = 0;
  // The reader passes over a UTF-8 byte-order mark that an editor put first.
  static constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  const size_t first = std::string_view(text).substr(0, 3) == kByteOrderMark ? 3 : 0;
  for (size_t start = first; start < text.size();) {
    size_t end = text.find('\n', start);
    // The last line may end without a line feed, as an editor may leave it: read whole.
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + start, end - start);
    ++number;
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const char* fault = faultOf(line);
    if (!*fault) {
      std::string_view text = trimmed(line);
      if (!text.empty() && text.front() != ';' && text.front() != '#')
        lines.readable.append(line).push_back('\n');
      continue;
    }
    if (++lines.damagedLines <= kNamed) {
      if (!lines.damage.empty()) lines.damage += ", ";
      lines.damage += "line " + std::to_string(number) + " " + fault;
    }
  }
  if (lines.damagedLines > kNamed)
    lines.damage += " and " + std::to_string(lines.damagedLines - kNamed) + " more lines";
  return lines;
}

std::optional<SettingsText> SettingsText::read(const std::string& text) {
  // The copy lives in memory and is read by its name under /proc: no folder is needed, neither
  // the temporary one (missing or read-only for some) nor the settings file's own.
  const int fd = ::memfd_create("corvane-settings", MFD_CLOEXEC);
  if (fd < 0) return std::nullopt;
  // Every copy of the process is named "/proc/self/fd/<n>" with the same few numbers, and the
  // reader reads a name again only when its size or modification time changed: each copy gets
  // a time of its own, so that none is taken for the one read before it.
  static std::atomic<time_t> lastStamp{0};
  const struct timespec times[2] = {{0, UTIME_OMIT}, {++lastStamp, 0}};
  if (WholeWrite::to(fd, text.data(), text.size()) != 0 || ::futimens(fd, times) != 0) {
    ::close(fd);
    return std::nullopt;
  }
  SettingsText result;
  {
    QSettings reader(QStringLiteral("/proc/self/fd/%1").arg(fd), QSettings::IniFormat);
    // The reader parses lazily: its verdict is known once every key was asked for.
    const QStringList keys = reader.allKeys();
    for (const QString& key : keys) result.values.insert(key, reader.value(key));
    result.formatError = reader.status() == QSettings::FormatError;
  }
  ::close(fd);
  return result;
}

}  // namespace platform
