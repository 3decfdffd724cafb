#pragma once

#include <functional>
#include <string>
#include <vector>

namespace platform {

// Opening programs and addresses for the user: a program started with an argument vector in a
// session of its own, an address handed to xdg-open. Tests give the launcher.
class Workspace {
 public:
  struct Environment {
    // Starts a program without waiting for it; false when it could not be started.
    std::function<bool(const std::vector<std::string>& argv)> spawn;
    // The running program's absolute path.
    std::function<std::string()> executablePath = nullptr;
    // Where a line about an opened address goes: in the programs a failure (`failed`) to the
    // system log, a report that the opener started to standard output.
    std::function<void(bool failed, const std::string& line)> log = nullptr;
    // The arguments the running program was started with, its own name left out.
    std::function<std::vector<std::string>()> arguments = nullptr;
    // As `spawn`, telling `ended` the program's exit status once it has ended (on a thread of
    // its own). Without it the opener's end is not watched.
    std::function<bool(const std::vector<std::string>& argv, std::function<void(int status)> ended)>
        spawnWatched = nullptr;
    static Environment process();
  };

  static Workspace& shared();
  explicit Workspace(Environment environment);

  // False when the file is not an executable or could not be started.
  bool openApplication(const std::string& path, const std::vector<std::string>& arguments = {});
  // Why an address was not opened, once the opener has ended.
  using Failed = std::function<void(const std::string& why)>;
  // A web address (http or https only) in the user's browser; false for anything else. True
  // means that the opener started: the log says so, or says that it could not start. An opener
  // that then ends in failure (a desktop with no program for web addresses) is logged with the
  // address, and `failed` hears why, on the thread that watched the opener.
  bool openURL(const std::string& url, Failed failed = nullptr);
  static bool isWebAddress(const std::string& url);
  // Why xdg-open did not open an address, from its exit status (not 0).
  static std::string openerFailure(int status);
  // Starts this program again two seconds from now, with the arguments it was started with,
  // from a detached shell that outlives it, so the caller can quit meanwhile. The path and the
  // arguments reach the shell as its own arguments ($0, $@), never as part of its script. False
  // when the shell could not be started.
  bool relaunchApplication();
  // The same with these arguments in place of those it was started with.
  bool relaunchApplication(const std::vector<std::string>& arguments);

  // The shell script of the relaunch; the program's path is its $0, its arguments the rest.
  static constexpr const char* kRelaunchScript = "sleep 2; exec \"$0\" \"$@\"";
  // The arguments of this process (from /proc/self/cmdline), its own name left out.
  static std::vector<std::string> processArguments();

 private:
  Environment env_;
};

}  // namespace platform
