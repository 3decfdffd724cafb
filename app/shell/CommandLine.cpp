#include "shell/CommandLine.h"

namespace corvane {

namespace {

constexpr const char* kDeactivate = "-deactivateExt";

std::optional<CommandLine::Action> informationalOption(const std::string& argument) {
  if (argument == "--help" || argument == "-h") return CommandLine::Action::help;
  if (argument == "--version") return CommandLine::Action::version;
  return std::nullopt;
}

// A lone "-" is a name, as for most programs, not an option.
bool isOption(const std::string& argument) { return argument.size() > 1 && argument[0] == '-'; }

}  // namespace

std::optional<CommandLine::Action> CommandLine::informational(
    const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments)
    if (auto action = informationalOption(argument)) return action;
  return std::nullopt;
}

CommandLine::Decision CommandLine::decide(const std::vector<std::string>& arguments) {
  Decision decision;
  for (const std::string& argument : arguments) {
    // Asked for anywhere, help or version is the answer, whatever else is there.
    if (auto action = informationalOption(argument)) {
      Decision asked;
      asked.action = *action;
      return asked;
    }
    if (argument == kDeactivate) {
      decision.deactivate = true;
    } else if (isOption(argument)) {
      // The first one refused is named; nothing of the start runs.
      if (decision.action == Action::run) {
        decision.action = Action::unknownOption;
        decision.option = argument;
      }
    } else {
      decision.clip = argument;
    }
  }
  return decision;
}

std::string CommandLine::usage(const std::string& program) {
  return "Usage: " + program + " [video-file]\n" +  //
         "       " + program + " -deactivateExt\n" +
         "\n"
         "Shows the panorama of a Kestova Camera plugged in over USB, composes the output\n"
         "picture and feeds it to a virtual camera. With no camera plugged in, a video file\n"
         "named on the command line stands in for it; while the program runs, a later start\n"
         "hands its file to the running window and ends.\n"
         "\n"
         "Options:\n"
         "  -deactivateExt  remove the virtual camera's device (asking for an administrator's\n"
         "                  password through pkexec) and quit, without showing a window\n"
         "  -h, --help      show this help and quit\n"
         "  --version       show the version and quit\n"
         "\n"
         "See " +
         program + "(1) for the files it keeps.\n";
}

std::string CommandLine::version(const std::string& name, const std::string& version) {
  return name + " " + version + "\n";
}

std::string CommandLine::unknownOptionMessage(const std::string& program,
                                              const std::string& option) {
  return program + ": unknown option '" + option + "'\n" + "Try '" + program +
         " --help' for more information.\n";
}

}  // namespace corvane
