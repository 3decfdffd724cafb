#pragma once

#include <optional>
#include <string>

namespace corvane {

// Whether a save of the presets that failed is told to the user: the first failure, with its
// reason, then nothing until a save goes through again. On a full disk every slider released
// fails the same way (each time through a temporary file of another name); the user is told
// once, and again only when a failure follows a save that worked.
class PresetSaveNotice {
 public:
  // After a save: the reason to tell, or none (saved, or told already).
  std::optional<std::string> after(bool saved, const std::string& reason);

 private:
  bool told_ = false;
};

}  // namespace corvane
