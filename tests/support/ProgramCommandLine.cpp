#include "ProgramCommandLine.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

extern char** environ;

namespace testsupport {

namespace {

// The environment of this process without a display, on the offscreen platform.
std::vector<std::string> environmentWithoutDisplay() {
  std::vector<std::string> out;
  const char* dropped[] = {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="};
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    if (std::none_of(std::begin(dropped), std::end(dropped),
                     [&](const char* name) { return entry.rfind(name, 0) == 0; }))
      out.push_back(entry);
  }
  out.push_back("QT_QPA_PLATFORM=offscreen");
  return out;
}

}  // namespace

// posix_spawn rather than QProcess: the sanitizers' runtimes cannot follow the toolkit's own
// fork in a process that already runs threads.
ProgramRun runProgram(const std::string& path, const std::vector<std::string>& arguments) {
  ProgramRun run;
  int out[2], err[2];
  if (pipe(out) != 0) return run;
  if (pipe(err) != 0) {
    close(out[0]);
    close(out[1]);
    return run;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  for (int fd : {out[0], out[1], err[0], err[1]}) posix_spawn_file_actions_addclose(&actions, fd);
  std::vector<std::string> argvText{path};
  argvText.insert(argvText.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& a : argvText) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> envText = environmentWithoutDisplay();
  std::vector<char*> envp;
  for (auto& e : envText) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(err[1]);
  // Both pipes read as they fill, so that neither side waits on the other.
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* into[2] = {&run.out, &run.err};
  int open = spawned == 0 ? 2 : 0;
  while (open > 0) {
    if (poll(fds, 2, -1) < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buffer[4096];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        into[i]->append(buffer, static_cast<size_t>(n));
      } else {
        fds[i].fd = -1;
        --open;
      }
    }
  }
  close(out[0]);
  close(err[0]);
  if (spawned != 0) return run;
  int status = 0;
  if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) run.status = WEXITSTATUS(status);
  return run;
}

void expectTheSuitesCommandLine(const std::string& path, const std::string& program,
                                const std::string& versionLine) {
  const std::string tryHelp = "Try '" + program + " --help' for more information.\n";
  for (const char* help : {"--help", "-h"}) {
    ProgramRun run = runProgram(path, {help});
    EXPECT_EQ(run.status, 0) << help;
    EXPECT_EQ(run.out.rfind("Usage: " + program + "\n", 0), 0u) << run.out;
    for (const char* part : {"-h, --help", "--version", "  --  ", "(1)"})
      EXPECT_NE(run.out.find(part), std::string::npos) << part;
    EXPECT_EQ(run.err, "");
  }
  ProgramRun version = runProgram(path, {"--version", "--bogus"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, versionLine);
  struct Refused {
    std::vector<std::string> arguments;
    std::string said;
  } refused[] = {
      {{"--bogus"}, program + ": unknown option '--bogus'\n"},
      // The main program's switch is not theirs.
      {{"-deactivateExt"}, program + ": unknown option '-deactivateExt'\n"},
      {{"--", "--help"}, program + ": takes no file or other name, was given '--help'\n"},
      {{"update.zip"}, program + ": takes no file or other name, was given 'update.zip'\n"},
  };
  for (const Refused& r : refused) {
    ProgramRun run = runProgram(path, r.arguments);
    EXPECT_EQ(run.status, 2) << r.arguments.front();
    // After whatever the toolkit says of the environment (a runtime folder missing, say).
    const std::string said = r.said + tryHelp;
    EXPECT_TRUE(run.err.size() >= said.size() &&
                run.err.compare(run.err.size() - said.size(), said.size(), said) == 0)
        << run.err;
    EXPECT_EQ(run.err.find(r.said), run.err.rfind(r.said)) << run.err;
    EXPECT_EQ(run.out, "") << r.arguments.front();
  }
}

}  // namespace testsupport
