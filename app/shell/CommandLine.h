#pragma once

#include <optional>
#include <string>
#include <vector>

namespace corvane {

// What the main program's command line asks of a start, decided before anything starts: run
// (with the clip named, or the one-shot "-deactivateExt"), print the usage or the version, or
// refuse an option it does not know. Pure: the caller prints and exits.
class CommandLine {
 public:
  enum class Action { run, help, version, unknownOption };

  struct Decision {
    Action action = Action::run;
    // The option refused, for unknownOption.
    std::string option;
    // The clip named: the last argument that is no option, as given.
    std::optional<std::string> clip;
    bool deactivate = false;
  };

  // The exit status of a start refused for its arguments.
  static constexpr int kUsageStatus = 2;

  // Help or version, when one is asked for (the first of them): answered from the raw
  // arguments, before the window system is reached, so that they work without a display.
  static std::optional<Action> informational(const std::vector<std::string>& arguments);
  // The whole decision, from the arguments without the program path once the toolkit has taken
  // its own options (-platform, -display, -style ...) out of them.
  static Decision decide(const std::vector<std::string>& arguments);

  static std::string usage(const std::string& program);
  static std::string version(const std::string& name, const std::string& version);
  static std::string unknownOptionMessage(const std::string& program, const std::string& option);
};

}  // namespace corvane
