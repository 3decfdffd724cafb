#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform {
class UserDefaults;
class Workspace;
}  // namespace platform

namespace corvane {

class LanguageManager;

// A confirmed change of language, whichever window it was chosen in: the table is stored and
// the program is started again (it then reads the table at its start); the caller ends this
// instance afterwards.
class LanguageRestart {
 public:
  // `table` none (the fallback item) stores nothing, and the program still starts again.
  // `arguments` gives what the new start is given; none: the arguments of this start.
  // When the choice cannot be stored, nothing changes and nothing starts: false, with the reason
  // in `error`, and this instance keeps running in the language in force.
  static bool apply(const std::optional<std::string>& table, platform::UserDefaults* defaults,
                    LanguageManager* languages, platform::Workspace* workspace,
                    const std::function<std::vector<std::string>()>& arguments,
                    std::string* error = nullptr);
  // Whether `chosen` (none: the fallback item) differs from the table in force: only a change
  // asks for the restart.
  static bool isChange(const std::optional<std::string>& chosen,
                       const std::optional<std::string>& current);
};

}  // namespace corvane
