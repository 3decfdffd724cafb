#pragma once

#include <cstddef>
#include <string>

namespace platform {

// Whether the settings file read at start can be used, from what reading it gave. The settings
// reader is lenient: garbage, binary bytes or a file cut short load as a store with no settings
// at all and no error, which would pass for a first start (and the tutorial would show again).
// A file the program wrote always holds at least one setting with a value.
class SettingsFileCheck {
 public:
  struct Reading {
    bool exists = false;
    std::string refusal;  // the bounded reader's reason when it refused the file
    size_t bytes = 0;
    bool formatError = false;  // the settings reader's own verdict
    size_t settings = 0;       // keys holding a value
  };
  struct Verdict {
    bool damaged = false;
    bool keepAside = false;  // there is something to keep (an empty file holds nothing)
    std::string reason;
  };

  static Verdict judge(const Reading& reading);
};

}  // namespace platform
