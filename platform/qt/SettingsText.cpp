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

bool isLineEnd(char c) { return c == '\n' || c == '\r'; }

// The length of the UTF-8 sequence at `at`, or 0 when the bytes there are none.
size_t utf8Length(std::string_view text, size_t at) {
  const unsigned char lead = static_cast<unsigned char>(text[at]);
  const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  if (at + length > text.size()) return 0;
  return QByteArrayView(text.data() + at, qsizetype(length)).isValidUtf8() ? length : 0;
}

// One line as the reader is to take it: an editor of another age writes "é" as the one Latin-1
// byte 0xE9, which the reader would drop or replace; taken as the Latin-1 character it is, the
// value keeps it when the file is written again (in UTF-8). Control bytes other than a tab (a
// line end only where the reader continues the line: after a "\" or inside quotes), DEL and
// bytes that are no character of either (0x80..0x9F) are stray binary bytes: none when the
// line holds any.
std::optional<std::string> asText(std::string_view line) {
  std::string out;
  out.reserve(line.size());
  for (size_t i = 0; i < line.size();) {
    const unsigned char c = static_cast<unsigned char>(line[i]);
    if (c < 0x80) {
      if ((c < 0x20 && c != '\t' && !isLineEnd(char(c))) || c == 0x7f) return std::nullopt;
      out.push_back(char(c));
      ++i;
    } else if (const size_t length = utf8Length(line, i)) {
      out.append(line.substr(i, length));
      i += length;
    } else if (c >= 0xA0) {
      out.push_back(char(0xC0 | (c >> 6)));
      out.push_back(char(0x80 | (c & 0x3F)));
      ++i;
    } else {
      return std::nullopt;
    }
  }
  return out;
}

// What is wrong with one line of settings; empty when the reader takes a setting or a group
// header from it, whatever its name (a key of a hand's is only unused). `equals` is where the
// reader splits it, if anywhere.
const char* faultOf(std::string_view line, size_t equals) {
  if (line.front() == '[') {
    // The reader takes the name up to the first "]".
    size_t close = line.find(']');
    return close != std::string_view::npos && !trimmed(line.substr(1, close - 1)).empty()
               ? ""
               : "is not a setting";
  }
  if (equals == std::string_view::npos || trimmed(line.substr(0, equals)).empty())
    return "is not a setting";
  return "";
}

}  // namespace

SettingsText::Lines SettingsText::sortLines(const std::string& text) {
  constexpr size_t kNamed = 3;  // lines named in full; the rest are counted
  Lines lines;
  size_t number = 1;  // of the line `at` is on
  const auto note = [&](size_t line, const char* fault) {
    if (++lines.damagedLines <= kNamed) {
      if (!lines.damage.empty()) lines.damage += ", ";
      lines.damage += "line " + std::to_string(line) + " " + fault;
    }
  };
  // Steps past one line end: "\n", "\r" (an editor of old Macs) or "\r\n".
  const auto lineEnd = [&](size_t at) {
    ++number;
    return at + (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n' ? 2 : 1);
  };
  // The reader passes over a UTF-8 byte-order mark that an editor put first.
  static constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  size_t at = std::string_view(text).substr(0, 3) == kByteOrderMark ? 3 : 0;
  // Lines are cut where the reader cuts them: at a line end of any system, except after a "\"
  // (the value goes on in the next line) or inside quotes; at a ";" outside quotes, where a
  // comment starts. The last line may end without a line feed, as an editor may leave it.
  while (at < text.size()) {
    const char first = text[at];
    if (first == ' ' || first == '\t') {
      ++at;
      continue;
    }
    if (isLineEnd(first)) {
      at = lineEnd(at);
      continue;
    }
    if (first == ';' || first == '#') {
      // A comment, to the end of its line. The reader knows only ";": it would take a "#" line
      // for a line that is no setting, a key named "# ...", or (with a quote in it) run on into
      // the settings below; a hand means a comment.
      while (at < text.size() && !isLineEnd(text[at])) ++at;
      continue;
    }
    const size_t start = at, startNumber = number;
    size_t equals = std::string_view::npos;
    bool quoted = false;
    while (at < text.size()) {
      const char c = text[at];
      if (c == '\\') {
        // The next character is the backslash's, a line end too (the value goes on in the next
        // line): "\n", "\r", "\r\n" or "\n\r", as the reader takes them there.
        if (++at < text.size() && isLineEnd(text[at])) {
          const char end = text[at++];
          ++number;
          if (at < text.size() && isLineEnd(text[at]) && text[at] != end) ++at;
        } else if (at < text.size()) {
          ++at;
        }
        continue;
      }
      if (c == '"') {
        quoted = !quoted;
      } else if (!quoted && (isLineEnd(c) || c == ';')) {
        break;
      } else if (c == '=' && !quoted && equals == std::string_view::npos) {
        equals = at - start;
      } else if (isLineEnd(c)) {
        at = lineEnd(at);
        continue;
      }
      ++at;
    }
    std::string_view line(text.data() + start, at - start);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    const std::optional<std::string> readable = asText(line);
    const char* fault = readable ? faultOf(line, equals) : "holds stray binary bytes";
    if (*fault)
      note(startNumber, fault);
    else
      lines.readable.append(*readable).push_back('\n');
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
