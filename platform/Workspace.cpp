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

bool Workspace::openURL(const std::string& url) {
  if (!isWebAddress(url)) {
    if (env_.log) env_.log(true, "Not opened, not a web address: " + url);
    return false;
  }
  bool started = env_.spawn && env_.spawn({"xdg-open", url});
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
