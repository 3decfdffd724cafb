#pragma once

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace corvane {

// What a program's command line asks of a start, decided before anything starts: run (with the
// names given and the program's own switches, such as the main program's "-deactivateExt"),
// print the usage or the version, or refuse an option the program does not know. The same rule
// for every program of the suite; "--" ends the options, so that a name may begin with "-".
// Pure: the caller prints and exits.
class CommandLine {
 public:
  enum class Action { run, help, version, unknownOption };

  struct Decision {
    Action action = Action::run;
    // The option refused, for unknownOption.
    std::string option;
    // The names given (no options), in order, as given.
    std::vector<std::string> operands;
    // The program's own switches given, each once, in the order first given.
    std::vector<std::string> switches;

    bool has(const std::string& option) const;
    // The last name given: the one a program that takes one name uses.
    std::optional<std::string> lastOperand() const;
  };

  // What a program says of itself in its usage.
  struct Usage {
    std::vector<std::string> synopses;  // each after the program's name, e.g. "[video-file]"
    std::string description;            // lines ending in "\n"
    // The program's own options, lines ending in "\n", listed before help and version.
    std::string options;
  };

  // The exit status of a start refused for its arguments.
  static constexpr int kUsageStatus = 2;

  // The arguments after the program path. After the toolkit's application object was made
  // with argc and argv, the toolkit's own options are out of them.
  static std::vector<std::string> arguments(int argc, char** argv);
  // Help or version, when one is asked for before "--" (the first of them): answered from the
  // raw arguments, before the window system is reached, so that they work without a display.
  static std::optional<Action> informational(const std::vector<std::string>& arguments);
  // The whole decision, from the arguments without the program path once the toolkit has taken
  // its own options (-platform, -display, -style ...) out of them. `switches` are the options
  // the program takes besides help and version.
  static Decision decide(const std::vector<std::string>& arguments,
                         const std::vector<std::string>& switches = {});

  static std::string usage(const std::string& program, const Usage& usage);
  static std::string version(const std::string& name, const std::string& version);
  static std::string unknownOptionMessage(const std::string& program, const std::string& option);
  // For a program that takes no names.
  static std::string unexpectedOperandMessage(const std::string& program,
                                              const std::string& operand);
  // For a program that takes one name, given another after it.
  static std::string extraOperandMessage(const std::string& program, const std::string& first,
                                         const std::string& extra);

  // A start's own answer to help or version, printed on `out`: the exit status when the
  // arguments asked for one (the start then ends), none when they did not.
  static std::optional<int> answerInformational(const std::vector<std::string>& arguments,
                                                const std::string& program, const std::string& name,
                                                const std::string& versionText, const Usage& usage,
                                                std::ostream& out);
  // A decision the start refuses, said on `err`: an unknown option, or more names than the
  // program takes (`namesTaken`: 0, or 1 for a program that plays one file). The exit status
  // when refused.
  static std::optional<int> refusal(const Decision& decision, const std::string& program,
                                    size_t namesTaken, std::ostream& err);
};

}  // namespace corvane
