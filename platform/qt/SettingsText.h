#pragma once

#include <QVariantMap>
#include <cstddef>
#include <optional>
#include <string>

namespace platform {

// The text of a settings file: which of its lines a setting can be read from, and the settings
// the settings reader reads from a text.
class SettingsText {
 public:
  QVariantMap values;        // every key the reader found, with its value
  bool formatError = false;  // the reader's own verdict on the text

  // The reader takes any text: a line of stray bytes or a line that is no setting it passes
  // over or reads as it can, and says nothing (or only "format error", once). A line it reads a
  // setting or a group header from is sound whatever the name (an unknown key is only unused),
  // as are comments, blank lines, a byte-order mark and a last line without a line feed: what
  // a hand leaves in the file.
  struct Lines {
    std::string readable;  // the group headers and settings, each with its line feed
    std::string damage;    // the other lines, for a log line ("line 3 is not a setting")
    size_t damagedLines = 0;
  };
  static Lines sortLines(const std::string& text);

  // Readers of one file name share what was read within the process, and read a file again
  // only when its size or time changed: to learn what is on the disk, not what the process
  // believes it wrote, the text is read through a private copy of its own. None when no such
  // copy could be made.
  static std::optional<SettingsText> read(const std::string& text);
};

}  // namespace platform
