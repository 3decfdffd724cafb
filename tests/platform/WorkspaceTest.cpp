#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "Process.h"
#include "TempDir.h"
#include "Workspace.h"

namespace {

using Argv = std::vector<std::string>;

void writeExecutable(const std::string& path, const std::string& text) {
  std::ofstream(path) << text;
  chmod(path.c_str(), 0755);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(Workspace, OpensOnlyWebAddressesAndPassesThemWhole) {
  std::vector<std::vector<std::string>> spawned;
  platform::Workspace workspace{platform::Workspace::Environment{
      [&spawned](const std::vector<std::string>& argv) { return spawned.push_back(argv), true; }}};
  for (const char* refused :
       {"", "http://", "file:///etc/passwd", "javascript:alert(1)", "--help", "mailto:a@b.c",
        "https://k.example/a b", "https://k.example/\n-x", "ftp://k.example/f", "/usr/bin/xterm"})
    EXPECT_FALSE(workspace.openURL(refused)) << refused;
  EXPECT_TRUE(spawned.empty());
  EXPECT_TRUE(workspace.openURL("https://k.example/contact?customer=A%20B"));
  EXPECT_TRUE(workspace.openURL("HTTP://k.example"));
  EXPECT_EQ(spawned, (std::vector<std::vector<std::string>>{
                         {"xdg-open", "https://k.example/contact?customer=A%20B"},
                         {"xdg-open", "HTTP://k.example"}}));
}

TEST(Workspace, AFailedStartIsReported) {
  platform::Workspace workspace{
      platform::Workspace::Environment{[](const std::vector<std::string>&) { return false; }}};
  EXPECT_FALSE(workspace.openURL("https://k.example"));
  EXPECT_FALSE(workspace.openApplication("/nonexistent/program"));
}

TEST(Workspace, OpeningAnAddressLogsWhetherTheOpenerStarted) {
  std::vector<std::pair<bool, std::string>> lines;
  bool startable = true;
  platform::Workspace::Environment env;
  env.spawn = [&](const std::vector<std::string>&) { return startable; };
  env.log = [&](bool failed, const std::string& line) { lines.emplace_back(failed, line); };
  platform::Workspace workspace(env);
  EXPECT_TRUE(workspace.openURL("https://k.example/a"));
  startable = false;
  EXPECT_FALSE(workspace.openURL("https://k.example/b"));
  EXPECT_FALSE(workspace.openURL("file:///etc/passwd"));
  using Line = std::pair<bool, std::string>;
  EXPECT_EQ(lines,
            (std::vector<Line>{{false, "Started xdg-open for https://k.example/a"},
                               {true, "Could not start xdg-open for https://k.example/b"},
                               {true, "Not opened, not a web address: file:///etc/passwd"}}));
}

// The programs' own sink: a started opener is told on standard output, not in the system log.
TEST(Workspace, TheProgramsToldOfAStartedOpenerOnStandardOutput) {
  platform::Workspace::Environment env = platform::Workspace::Environment::process();
  ASSERT_TRUE(env.log);
  testing::internal::CaptureStdout();
  env.log(false, "Started xdg-open for https://k.example/a");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Started xdg-open for https://k.example/a\n");
}

// A path a shell command line would break on, or run code from.
const std::string kHostileName = "Corvane \"Studio\" $HOME `id` it's";

TEST(WorkspaceRelaunch, HandsTheProgramsPathToAConstantScriptAsItsOwnArgument) {
  std::vector<Argv> spawned;
  const std::string self = "/opt/" + kHostileName + "/bin/corvane-studio";
  platform::Workspace::Environment env;
  env.spawn = [&](const Argv& argv) { return spawned.push_back(argv), true; };
  env.executablePath = [&] { return self; };
  platform::Workspace workspace(env);
  ASSERT_TRUE(workspace.relaunchApplication());
  ASSERT_EQ(spawned.size(), 1u);
  EXPECT_EQ(spawned[0], (Argv{"/bin/sh", "-c", "sleep 2; exec \"$0\" \"$@\"", self}));
}

// The program comes back with what it was started with (the file it was playing).
TEST(WorkspaceRelaunch, KeepsTheProgramsArguments) {
  std::vector<Argv> spawned;
  platform::Workspace::Environment env;
  env.spawn = [&](const Argv& argv) { return spawned.push_back(argv), true; };
  env.executablePath = [] { return std::string("/usr/bin/corvane-studio"); };
  env.arguments = [] { return Argv{"-platform", "xcb", "clips/demo 360.mp4"}; };
  ASSERT_TRUE(platform::Workspace(env).relaunchApplication());
  ASSERT_EQ(spawned.size(), 1u);
  EXPECT_EQ(spawned[0],
            (Argv{"/bin/sh", "-c", platform::Workspace::kRelaunchScript, "/usr/bin/corvane-studio",
                  "-platform", "xcb", "clips/demo 360.mp4"}));
}

TEST(WorkspaceRelaunch, RefusesWithoutAnAbsolutePathOrALauncher) {
  int spawns = 0;
  platform::Workspace::Environment env;
  env.spawn = [&](const Argv&) { return ++spawns, true; };
  for (std::string self : {"", "corvane-studio", "bin/corvane-studio"}) {
    env.executablePath = [self] { return self; };
    EXPECT_FALSE(platform::Workspace(env).relaunchApplication()) << self;
  }
  EXPECT_EQ(spawns, 0);
  env.executablePath = [] { return std::string("/usr/bin/corvane-studio"); };
  env.spawn = [](const Argv&) { return false; };
  EXPECT_FALSE(platform::Workspace(env).relaunchApplication()) << "a failed start is reported";
}

// The script itself, run by the real shell with a `sleep` that returns at once: the program at
// a hostile path starts, exactly once, and no word of its path runs as a command.
TEST(WorkspaceRelaunch, TheShellStartsTheProgramAtAHostilePath) {
  testsupport::TempDir dir;
  const std::string tools = dir.file("tools");
  const std::string folder = dir.file(kHostileName);
  ASSERT_EQ(mkdir(tools.c_str(), 0755), 0);
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  writeExecutable(tools + "/sleep", "#!/bin/sh\nexit 0\n");
  const std::string marker = dir.file("started");
  const std::string program = folder + "/corvane-studio";
  writeExecutable(program, "#!/bin/sh\nprintf '%s|' \"$0\" \"$@\" >> '" + marker + "'\n");

  std::vector<Argv> spawned;
  platform::Workspace::Environment env;
  env.spawn = [&](const Argv& argv) { return spawned.push_back(argv), true; };
  env.executablePath = [&] { return program; };
  env.arguments = [] { return Argv{kHostileName, "--x=$(id)"}; };
  ASSERT_TRUE(platform::Workspace(env).relaunchApplication());
  ASSERT_EQ(spawned.size(), 1u);

  const char* oldPath = std::getenv("PATH");
  const std::string saved = oldPath ? oldPath : "";
  setenv("PATH", (tools + ":/usr/bin:/bin").c_str(), 1);
  const int status = platform::Process::run(spawned[0]);
  setenv("PATH", saved.c_str(), 1);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(readFile(marker), program + "|" + kHostileName + "|--x=$(id)|");
}

// An opener that starts and then finds no program for the address (a desktop with no browser
// set) is the only sign that nothing opened: its end is watched, logged with the address, and
// the caller hears why.
TEST(Workspace, AnOpenerThatEndsInFailureIsToldWithTheAddress) {
  std::vector<std::pair<bool, std::string>> lines;
  std::function<void(int)> ended;
  platform::Workspace::Environment env;
  std::vector<Argv> started;
  env.spawnWatched = [&](const Argv& argv, std::function<void(int)> watch) {
    started.push_back(argv);
    ended = std::move(watch);
    return true;
  };
  env.log = [&](bool failed, const std::string& line) { lines.emplace_back(failed, line); };
  platform::Workspace workspace(env);
  std::vector<std::string> heard;
  ASSERT_TRUE(workspace.openURL("https://k.example/contact",
                                [&](const std::string& why) { heard.push_back(why); }));
  ASSERT_TRUE(ended);
  EXPECT_EQ(started, (std::vector<Argv>{{"xdg-open", "https://k.example/contact"}}));
  ended(0);  // opened: nothing more is said
  EXPECT_TRUE(heard.empty());
  ended(3);
  EXPECT_EQ(heard, std::vector<std::string>{
                       "no program on this desktop opens web addresses (xdg-open found none)"});
  using Line = std::pair<bool, std::string>;
  EXPECT_EQ(lines,
            (std::vector<Line>{{false, "Started xdg-open for https://k.example/contact"},
                               {true,
                                "xdg-open did not open https://k.example/contact: no program on "
                                "this desktop opens web addresses (xdg-open found none)"}}));
  // No one to tell: the line alone.
  ASSERT_TRUE(workspace.openURL("https://k.example/b"));
  ended(4);
  EXPECT_EQ(lines.back().second,
            "xdg-open did not open https://k.example/b: the program that opens web addresses on "
            "this desktop failed (xdg-open status 4)");
}

TEST(Workspace, EachOpenerStatusHasItsReason) {
  struct Row {
    int status;
    const char* why;
  } rows[] = {
      {3, "no program on this desktop opens web addresses (xdg-open found none)"},
      {4, "the program that opens web addresses on this desktop failed (xdg-open status 4)"},
      {1, "xdg-open ended with status 1"},
      {2, "xdg-open ended with status 2"},
      {-1, "xdg-open did not end normally"},
  };
  for (const Row& row : rows)
    EXPECT_EQ(platform::Workspace::openerFailure(row.status), row.why) << row.status;
}

// The program's own launcher with a real opener on PATH that finds no handler: its status
// comes back from the thread that reaps it.
TEST(Workspace, TheProgramsOpenerIsWatchedToItsEnd) {
  testsupport::TempDir dir;
  writeExecutable(dir.file("xdg-open"), "#!/bin/sh\nexit 3\n");
  const char* oldPath = std::getenv("PATH");
  const std::string saved = oldPath ? oldPath : "";
  setenv("PATH", (dir.path() + ":/usr/bin:/bin").c_str(), 1);
  platform::Workspace::Environment env = platform::Workspace::Environment::process();
  env.log = nullptr;
  platform::Workspace workspace(env);
  std::promise<std::string> heard;
  const bool started = workspace.openURL(
      "https://k.example/", [&heard](const std::string& why) { heard.set_value(why); });
  setenv("PATH", saved.c_str(), 1);
  ASSERT_TRUE(started);
  std::future<std::string> why = heard.get_future();
  // A guard against a hung test, not a pause: the opener ends at once.
  ASSERT_EQ(why.wait_for(std::chrono::seconds(20)), std::future_status::ready);
  EXPECT_EQ(why.get(), platform::Workspace::openerFailure(3));
}

}  // namespace
