#include "Workspace.h"

#include <syslog.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <string_view>

#include "Bundle.h"
#include "Process.h"

namespace platform {

Workspace::Environment Workspace::Environment::process() {
  Environment env;
  env.spawn = [](const std::vector<std::string>& argv) { return Process::spawnDetached(argv); };
  env.spawnWatched = [](const std::vector<std::string>& argv, std::function<void(int)> ended) {
    return Process::spawnDetached(argv, std::move(ended));
  };
  env.executablePath = [] { return Bundle::executablePath(); };
  // The system log gets what needs a look, not the running commentary.
  env.log = [](bool failed, const std::string& line) {
    if (failed) {
      syslog(LOG_ERR, "%s", line.c_str());
    } else {
      std::fprintf(stdout, "%s\n", line.c_str());
      std::fflush(stdout);
    }
  };
  env.arguments = [] { return processArguments(); };
  return env;
}

Workspace& Workspace::shared() {
  static Workspace workspace(Environment::process());
  return workspace;
}

Workspace::Workspace(Environment environment) : env_(std::move(environment)) {}

bool Workspace::openApplication(const std::string& path,
                                const std::vector<std::string>& arguments) {
  if (path.empty() || access(path.c_str(), X_OK) != 0 || !env_.spawn) return false;
  std::vector<std::string> argv{path};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return env_.spawn(argv);
}

bool Workspace::isWebAddress(const std::string& url) {
  auto starts = [&url](std::string_view prefix) {
    if (url.size() <= prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
      if (std::tolower(static_cast<unsigned char>(url[i])) != prefix[i]) return false;
    return true;
  };
  if (!starts("http://") && !starts("https://")) return false;
  // A control character or blank would let the address mean something else to the opener.
  for (unsigned char c : url)
    if (c <= 0x20 || c == 0x7f) return false;
  return true;
}

std::string Workspace::openerFailure(int status) {
  // xdg-open's own statuses (xdg-utils): 3 when no program for the address could be found,
  // 4 when the one found failed.
  switch (status) {
    case 3:
      return "no program on this desktop opens web addresses (xdg-open found none)";
    case 4:
      return "the program that opens web addresses on this desktop failed (xdg-open status 4)";
    case -1:
      return "xdg-open did not end normally";
    default:
      return "xdg-open ended with status " + std::to_string(status);
  }
}

bool Workspace::openURL(const std::string& url, Failed failed) {
  if (!isWebAddress(url)) {
    if (env_.log) env_.log(true, "Not opened, not a web address: " + url);
    return false;
  }
  const std::vector<std::string> argv{"xdg-open", url};
  bool started = false;
  if (env_.spawnWatched) {
    // The opener's end is the only sign that nothing opened the address.
    auto log = env_.log;
    started = env_.spawnWatched(argv, [log, url, failed = std::move(failed)](int status) {
      if (status == 0) return;
      const std::string why = openerFailure(status);
      if (log) log(true, "xdg-open did not open " + url + ": " + why);
      if (failed) failed(why);
    });
  } else {
    started = env_.spawn && env_.spawn(argv);
  }
  if (env_.log)
    env_.log(!started,
             started ? "Started xdg-open for " + url : "Could not start xdg-open for " + url);
  return started;
}

std::vector<std::string> Workspace::processArguments() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::vector<std::string> arguments;
  std::string argument;
  bool first = true;
  while (std::getline(in, argument, '\0')) {
    if (!first) arguments.push_back(argument);
    first = false;
  }
  return arguments;
}

bool Workspace::relaunchApplication() {
  return relaunchApplication(env_.arguments ? env_.arguments() : std::vector<std::string>());
}

bool Workspace::relaunchApplication(const std::vector<std::string>& arguments) {
  std::string self = env_.executablePath ? env_.executablePath() : std::string();
  if (self.empty() || self.front() != '/' || !env_.spawn) return false;
  std::vector<std::string> argv{"/bin/sh", "-c", kRelaunchScript, self};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return env_.spawn(argv);
}

}  // namespace platform
