#pragma once

#include <cstddef>
#include <string>

namespace platform {

// Whether the settings file read at start can be used, from what reading it gave. The settings
// reader is lenient: garbage, binary bytes or a file cut short load as a store with no settings
// at all and no error, which would pass for a first start (and the tutorial would show again);
// a line of them in a good file it passes over or reads as it can. A file the program wrote,
// or a hand edited, holds at least one setting with a value, and no line the reader takes no
// setting from.
class SettingsFileCheck {
 public:
  struct Reading {
    bool exists = false;
    std::string refusal;  // the bounded reader's reason when it refused the file
    size_t bytes = 0;
    bool formatError = false;  // the settings reader's own verdict
    size_t settings = 0;       // keys holding a value, in the lines that can be read
    std::string damage;        // the lines no setting can be read from; empty when none
  };
  struct Verdict {
    bool damaged = false;
    bool keepAside = false;  // there is something to keep (an empty file holds nothing)
    std::string reason;
    bool inPart = false;  // the settings of the other lines can be used
  };

  static Verdict judge(const Reading& reading);
};

}  // namespace platform
