#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include "shell/CommandLine.h"
#include "shell/StudioMain.h"

namespace corvane {
namespace {

using Action = CommandLine::Action;

// What each command line asks of a start (the toolkit's own options taken out already).
TEST(CommandLine, EachCommandLineIsDecidedBeforeAnythingStarts) {
  struct Row {
    std::vector<std::string> arguments;
    Action action;
    std::string option;
    std::optional<std::string> clip;
    bool deactivate;
  } rows[] = {
      {{}, Action::run, "", std::nullopt, false},
      {{"demo.mp4"}, Action::run, "", "demo.mp4", false},
      {{"a.mp4", "b.mp4"}, Action::run, "", "b.mp4", false},  // the last one
      {{"-"}, Action::run, "", "-", false},                   // a name, not an option
      {{"-deactivateExt"}, Action::run, "", std::nullopt, true},
      {{"demo.mp4", "-deactivateExt"}, Action::run, "", "demo.mp4", true},
      {{"--help"}, Action::help, "", std::nullopt, false},
      {{"-h"}, Action::help, "", std::nullopt, false},
      {{"demo.mp4", "--help"}, Action::help, "", std::nullopt, false},  // nothing is played
      {{"--version"}, Action::version, "", std::nullopt, false},
      {{"--version", "--help"}, Action::version, "", std::nullopt, false},  // the first asked
      {{"--bogus"}, Action::unknownOption, "--bogus", std::nullopt, false},
      {{"-x", "demo.mp4", "-y"}, Action::unknownOption, "-x", "demo.mp4", false},  // the first
      {{"--bogus", "--help"}, Action::help, "", std::nullopt, false},              // help wins
      {{"-deactivateext"}, Action::unknownOption, "-deactivateext", std::nullopt, false},
      {{"--deactivateExt"}, Action::unknownOption, "--deactivateExt", std::nullopt, false},
      {{"-help"}, Action::unknownOption, "-help", std::nullopt, false},
  };
  for (const Row& row : rows) {
    std::string line;
    for (const auto& a : row.arguments) line += a + " ";
    CommandLine::Decision d = CommandLine::decide(row.arguments);
    EXPECT_EQ(d.action, row.action) << line;
    EXPECT_EQ(d.option, row.option) << line;
    EXPECT_EQ(d.clip, row.clip) << line;
    EXPECT_EQ(d.deactivate, row.deactivate) << line;
    // Help and version are told from the raw arguments as well, and nothing else is.
    std::optional<Action> early = CommandLine::informational(row.arguments);
    if (row.action == Action::help || row.action == Action::version)
      EXPECT_EQ(early, row.action) << line;
    else
      EXPECT_FALSE(early) << line;
  }
}

// The texts name the program, its clip argument and every option it takes.
TEST(CommandLine, TheUsageNamesWhatTheProgramTakes) {
  const std::string usage = CommandLine::usage("corvane-studio");
  for (const char* part : {"Usage: corvane-studio [video-file]", "corvane-studio -deactivateExt",
                           "-h, --help", "--version", "corvane-studio(1)"})
    EXPECT_NE(usage.find(part), std::string::npos) << part;
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
      EXPECT_EQ(out, CommandLine::usage("corvane-studio")) << option;
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
