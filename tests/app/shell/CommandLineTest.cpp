#include <gtest/gtest.h>

#include <csignal>
#include <sstream>
#include <string>
#include <vector>

#include "shell/StudioMain.h"
#include "util/CommandLine.h"

namespace corvane {
namespace {

using Action = CommandLine::Action;
using Names = std::vector<std::string>;

// What each command line asks of a start (the toolkit's own options taken out already), with
// the main program's one switch.
TEST(CommandLine, EachCommandLineIsDecidedBeforeAnythingStarts) {
  struct Row {
    Names arguments;
    Action action;
    std::string option;
    Names operands;
    bool deactivate;
  } rows[] = {
      {{}, Action::run, "", {}, false},
      {{"demo.mp4"}, Action::run, "", {"demo.mp4"}, false},
      {{"a.mp4", "b.mp4"}, Action::run, "", {"a.mp4", "b.mp4"}, false},
      {{"-"}, Action::run, "", {"-"}, false},  // a name, not an option
      {{"-deactivateExt"}, Action::run, "", {}, true},
      {{"demo.mp4", "-deactivateExt"}, Action::run, "", {"demo.mp4"}, true},
      {{"-deactivateExt", "-deactivateExt"}, Action::run, "", {}, true},
      {{"--help"}, Action::help, "", {}, false},
      {{"-h"}, Action::help, "", {}, false},
      {{"demo.mp4", "--help"}, Action::help, "", {}, false},  // nothing is played
      {{"--version"}, Action::version, "", {}, false},
      {{"--version", "--help"}, Action::version, "", {}, false},  // the first asked
      {{"--bogus"}, Action::unknownOption, "--bogus", {}, false},
      {{"-x", "demo.mp4", "-y"}, Action::unknownOption, "-x", {"demo.mp4"}, false},  // the first
      {{"--bogus", "--help"}, Action::help, "", {}, false},                          // help wins
      {{"-deactivateext"}, Action::unknownOption, "-deactivateext", {}, false},
      {{"--deactivateExt"}, Action::unknownOption, "--deactivateExt", {}, false},
      {{"-help"}, Action::unknownOption, "-help", {}, false},
      // "--" ends the options: what follows is a name, whatever it looks like.
      {{"--", "-dash.mp4"}, Action::run, "", {"-dash.mp4"}, false},
      {{"--"}, Action::run, "", {}, false},
      {{"--", "--help"}, Action::run, "", {"--help"}, false},
      {{"--", "--version", "-deactivateExt"},
       Action::run,
       "",
       {"--version", "-deactivateExt"},
       false},
      {{"--", "--"}, Action::run, "", {"--"}, false},  // only the first one ends the options
      {{"-deactivateExt", "--", "-x.mp4"}, Action::run, "", {"-x.mp4"}, true},
      {{"--bogus", "--", "a.mp4"}, Action::unknownOption, "--bogus", {"a.mp4"}, false},
      {{"a.mp4", "--", "-b.mp4"}, Action::run, "", {"a.mp4", "-b.mp4"}, false},
  };
  for (const Row& row : rows) {
    std::string line;
    for (const auto& a : row.arguments) line += a + " ";
    CommandLine::Decision d = CommandLine::decide(row.arguments, {"-deactivateExt"});
    EXPECT_EQ(d.action, row.action) << line;
    EXPECT_EQ(d.option, row.option) << line;
    EXPECT_EQ(d.operands, row.operands) << line;
    EXPECT_EQ(d.has("-deactivateExt"), row.deactivate) << line;
    // The main program plays the last name given.
    EXPECT_EQ(d.lastOperand(),
              row.operands.empty() ? std::nullopt : std::optional<std::string>(row.operands.back()))
        << line;
    // Help and version are told from the raw arguments as well, and nothing else is.
    std::optional<Action> early = CommandLine::informational(row.arguments);
    if (row.action == Action::help || row.action == Action::version)
      EXPECT_EQ(early, row.action) << line;
    else
      EXPECT_FALSE(early) << line;
  }
}

// A program with no switches of its own (the updater, the uninstaller) refuses the main
// program's, one that takes no names refuses a name, also one given after "--", and one that
// plays one file refuses a second instead of dropping one of them.
TEST(CommandLine, AProgramRefusesWhatItDoesNotTake) {
  struct Row {
    Names arguments;
    size_t namesTaken;
    std::optional<int> status;
    std::string said;
  } rows[] = {
      {{}, 0, std::nullopt, ""},
      {{"--"}, 0, std::nullopt, ""},
      {{"-deactivateExt"}, 0, 2, "p: unknown option '-deactivateExt'\n"},
      {{"x.mp4"}, 0, 2, "p: takes no file or other name, was given 'x.mp4'\n"},
      {{"--", "--help"}, 0, 2, "p: takes no file or other name, was given '--help'\n"},
      {{"--", "-dash.mp4"}, 1, std::nullopt, ""},
      {{"--bogus", "x"}, 1, 2, "p: unknown option '--bogus'\n"},
      {{}, 1, std::nullopt, ""},
      {{"a.mp4"}, 1, std::nullopt, ""},
      {{"a.mp4", "b.mp4"}, 1, 2, "p: takes one file, was given 'a.mp4' and also 'b.mp4'\n"},
      {{"a.mp4", "b.mp4", "c.mp4"},
       1,
       2,
       "p: takes one file, was given 'a.mp4' and also 'b.mp4'\n"},
      {{"a.mp4", "--", "-b.mp4"}, 1, 2, "p: takes one file, was given 'a.mp4' and also '-b.mp4'\n"},
      {{"--bogus", "a.mp4", "b.mp4"}, 1, 2, "p: unknown option '--bogus'\n"},  // the option first
  };
  for (const Row& row : rows) {
    std::string line;
    for (const auto& a : row.arguments) line += a + " ";
    std::ostringstream err;
    EXPECT_EQ(CommandLine::refusal(CommandLine::decide(row.arguments), "p", row.namesTaken, err),
              row.status)
        << line;
    if (row.status)
      EXPECT_EQ(err.str(), row.said + "Try 'p --help' for more information.\n") << line;
    else
      EXPECT_EQ(err.str(), "") << line;
  }
}

// The texts name the program, its name argument and every option it takes.
TEST(CommandLine, TheUsageNamesWhatTheProgramTakes) {
  const std::string usage = CommandLine::usage("corvane-studio", studioUsage());
  for (const char* part :
       {"Usage: corvane-studio [video-file]\n", "       corvane-studio -deactivateExt\n",
        "-h, --help", "--version", "  --  ", "corvane-studio(1)"})
    EXPECT_NE(usage.find(part), std::string::npos) << part;
  // A program that takes nothing has one plain synopsis.
  const std::string plain = CommandLine::usage("p", {{""}, "Does things.\n", ""});
  EXPECT_EQ(plain.rfind("Usage: p\n\nDoes things.\n\nOptions:\n  -h, --help", 0), 0u) << plain;
  EXPECT_EQ(CommandLine::version("Corvane Studio", "2.3.0"), "Corvane Studio 2.3.0\n");
  EXPECT_EQ(CommandLine::unknownOptionMessage("corvane-studio", "--bogus"),
            "corvane-studio: unknown option '--bogus'\n"
            "Try 'corvane-studio --help' for more information.\n");
}

// The program's own start answers help and version and ends, with no window and no toolkit
// (this test process has its application object already: a second one would be refused).
TEST(CommandLine, TheProgramAnswersHelpAndVersionWithoutStarting) {
  for (const char* option : {"--help", "--version", "-h"}) {
    char arg0[] = "corvane-studio";
    std::string copy = option;
    char* argv[] = {arg0, copy.data(), nullptr};
    bool started = false;
    testing::internal::CaptureStdout();
    int rc = studioMain(2, argv, [&](StudioRun&) { started = true; });
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(rc, 0) << option;
    EXPECT_FALSE(started) << option;
    if (std::string(option) == "--version")
      EXPECT_EQ(out, "Corvane Studio " CORVANE_VERSION "\n");
    else
      EXPECT_EQ(out, CommandLine::usage("corvane-studio", studioUsage())) << option;
  }
}

// A file-size limit (ulimit -f) met by any write of the program, help and version included,
// fails that write instead of ending the program: the start ignores SIGXFSZ first thing.
TEST(CommandLine, TheProgramsStartIgnoresTheFileSizeSignal) {
  auto before = std::signal(SIGXFSZ, SIG_DFL);
  char arg0[] = "corvane-studio";
  char option[] = "--version";
  char* argv[] = {arg0, option, nullptr};
  testing::internal::CaptureStdout();
  EXPECT_EQ(studioMain(2, argv), 0);
  testing::internal::GetCapturedStdout();
  struct sigaction action {};
  ASSERT_EQ(sigaction(SIGXFSZ, nullptr, &action), 0);
  EXPECT_EQ(action.sa_handler, SIG_IGN);
  std::signal(SIGXFSZ, before);
}

}  // namespace
}  // namespace corvane
