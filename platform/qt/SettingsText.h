#pragma once

#include <QVariantMap>
#include <optional>
#include <string>

namespace platform {

// The settings a settings file's text holds, as the settings reader reads them. Readers of one
// file name share what was read within the process, and read a file again only when its size
// or time changed: to learn what is on the disk, not what the process believes it wrote, the
// text is read through a private copy of its own.
class SettingsText {
 public:
  QVariantMap values;        // every key the reader found, with its value
  bool formatError = false;  // the reader's own verdict on the text

  // None when no private copy could be made.
  static std::optional<SettingsText> read(const std::string& text);
};

}  // namespace platform
