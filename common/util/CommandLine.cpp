#include "util/CommandLine.h"

#include <algorithm>

namespace corvane {

namespace {

constexpr const char* kEndOfOptions = "--";

std::optional<CommandLine::Action> informationalOption(const std::string& argument) {
  if (argument == "--help" || argument == "-h") return CommandLine::Action::help;
  if (argument == "--version") return CommandLine::Action::version;
  return std::nullopt;
}

// A lone "-" is a name, as for most programs, not an option.
bool isOption(const std::string& argument) { return argument.size() > 1 && argument[0] == '-'; }

std::string tryHelp(const std::string& program) {
  return "Try '" + program + " --help' for more information.\n";
}

}  // namespace

bool CommandLine::Decision::has(const std::string& option) const {
  return std::find(switches.begin(), switches.end(), option) != switches.end();
}

std::optional<std::string> CommandLine::Decision::lastOperand() const {
  if (operands.empty()) return std::nullopt;
  return operands.back();
}

std::vector<std::string> CommandLine::arguments(int argc, char** argv) {
  if (argc < 1 || !argv) return {};
  return std::vector<std::string>(argv + 1, argv + argc);
}

std::optional<CommandLine::Action> CommandLine::informational(
    const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments) {
    if (argument == kEndOfOptions) break;
    if (auto action = informationalOption(argument)) return action;
  }
  return std::nullopt;
}

CommandLine::Decision CommandLine::decide(const std::vector<std::string>& arguments,
                                          const std::vector<std::string>& switches) {
  Decision decision;
  bool options = true;
  for (const std::string& argument : arguments) {
    if (options && argument == kEndOfOptions) {
      options = false;
      continue;
    }
    if (!options || !isOption(argument)) {
      decision.operands.push_back(argument);
      continue;
    }
    // Asked for anywhere before "--", help or version is the answer, whatever else is there.
    if (auto action = informationalOption(argument)) {
      Decision asked;
      asked.action = *action;
      return asked;
    }
    if (std::find(switches.begin(), switches.end(), argument) != switches.end()) {
      if (!decision.has(argument)) decision.switches.push_back(argument);
    } else if (decision.action == Action::run) {
      // The first one refused is named; nothing of the start runs.
      decision.action = Action::unknownOption;
      decision.option = argument;
    }
  }
  return decision;
}

std::string CommandLine::usage(const std::string& program, const Usage& usage) {
  std::string text;
  for (size_t i = 0; i < usage.synopses.size(); ++i)
    text += std::string(i == 0 ? "Usage: " : "       ") + program +
            (usage.synopses[i].empty() ? "" : " " + usage.synopses[i]) + "\n";
  if (usage.synopses.empty()) text += "Usage: " + program + "\n";
  return text + "\n" + usage.description +
         "\n"
         "Options:\n" +
         usage.options +
         "  -h, --help      show this help and quit\n"
         "  --version       show the version and quit\n"
         "  --              end of the options: what follows is a name, even if it starts\n"
         "                  with '-'\n"
         "\n"
         "See " +
         program + "(1) for the files it keeps.\n";
}

std::string CommandLine::version(const std::string& name, const std::string& version) {
  return name + " " + version + "\n";
}

std::string CommandLine::unknownOptionMessage(const std::string& program,
                                              const std::string& option) {
  return program + ": unknown option '" + option + "'\n" + tryHelp(program);
}

std::string CommandLine::unexpectedOperandMessage(const std::string& program,
                                                  const std::string& operand) {
  return program + ": takes no file or other name, was given '" + operand + "'\n" +
         tryHelp(program);
}

std::string CommandLine::extraOperandMessage(const std::string& program, const std::string& first,
                                             const std::string& extra) {
  return program + ": takes one file, was given '" + first + "' and also '" + extra + "'\n" +
         tryHelp(program);
}

std::optional<int> CommandLine::answerInformational(const std::vector<std::string>& arguments,
                                                    const std::string& program,
                                                    const std::string& name,
                                                    const std::string& versionText,
                                                    const Usage& usage, std::ostream& out) {
  auto asked = informational(arguments);
  if (!asked) return std::nullopt;
  out << (*asked == Action::help ? CommandLine::usage(program, usage) : version(name, versionText))
      << std::flush;
  return 0;
}

std::optional<int> CommandLine::refusal(const Decision& decision, const std::string& program,
                                        size_t namesTaken, std::ostream& err) {
  if (decision.action == Action::unknownOption) {
    err << unknownOptionMessage(program, decision.option) << std::flush;
    return kUsageStatus;
  }
  if (decision.operands.size() <= namesTaken) return std::nullopt;
  // A name beyond those taken would be dropped without a word: the first one too many is named.
  err << (namesTaken == 0 ? unexpectedOperandMessage(program, decision.operands.front())
                          : extraOperandMessage(program, decision.operands[namesTaken - 1],
                                                decision.operands[namesTaken]))
      << std::flush;
  return kUsageStatus;
}

}  // namespace corvane
