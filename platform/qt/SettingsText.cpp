#include "qt/SettingsText.h"

#include <QByteArrayView>
#include <QDir>
#include <QSettings>
#include <QTemporaryFile>
#include <string_view>

namespace platform {

namespace {

// A name as the writer writes keys and groups: letters, digits, "_", "-", ".", "\" between
// groups and "%" escapes for anything else.
bool isWrittenName(std::string_view name) {
  if (name.empty()) return false;
  for (unsigned char c : name)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
          c == '-' || c == '.' || c == '\\' || c == '%'))
      return false;
  return true;
}

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

// What is wrong with one line; empty when a setting or a group header can be read from it,
// or it is a comment or blank.
const char* faultOf(std::string_view line, bool ended) {
  if (holdsStrayBytes(line)) return "holds stray binary bytes";
  if (!ended) return "is cut short";
  std::string_view text = trimmed(line);
  if (text.empty() || text.front() == ';' || text.front() == '#') return "";
  if (text.front() == '[')
    return text.back() == ']' && isWrittenName(text.substr(1, text.size() - 2))
               ? ""
               : "is not a setting";
  size_t equals = text.find('=');
  if (equals == std::string_view::npos || !isWrittenName(trimmed(text.substr(0, equals))))
    return "is not a setting";
  return "";
}

}  // namespace

SettingsText::Lines SettingsText::sortLines(const std::string& text) {
  constexpr size_t kNamed = 3;  // lines named in full; the rest are counted
  Lines lines;
  size_t number = 0;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    const bool ended = end != std::string::npos;
    if (!ended) end = text.size();
    std::string_view line(text.data() + start, end - start);
    ++number;
    start = end + 1;
    if (ended && !line.empty() && line.back() == '\r') line.remove_suffix(1);
    const char* fault = faultOf(line, ended);
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
  QTemporaryFile copy(QDir::tempPath() + QStringLiteral("/corvane-settings-XXXXXX.conf"));
  if (!copy.open() || copy.write(text.data(), qint64(text.size())) != qint64(text.size()) ||
      !copy.flush())
    return std::nullopt;
  SettingsText result;
  QSettings reader(copy.fileName(), QSettings::IniFormat);
  // The reader parses lazily: its verdict is known once every key was asked for.
  const QStringList keys = reader.allKeys();
  for (const QString& key : keys) result.values.insert(key, reader.value(key));
  result.formatError = reader.status() == QSettings::FormatError;
  return result;
}

}  // namespace platform
