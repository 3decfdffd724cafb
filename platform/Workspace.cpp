#include "Workspace.h"

#include <unistd.h>

#include "Bundle.h"
#include "Process.h"

namespace platform {

Workspace::Environment Workspace::Environment::process() {
  Environment env;
  env.spawn = [](const std::vector<std::string>& argv) { return Process::spawnDetached(argv); };
  env.executablePath = [] { return Bundle::executablePath(); };
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

bool Workspace::openURL(const std::string& url) {
  if (url.empty() || !env_.spawn) return false;
  return env_.spawn({"xdg-open", url});
}

bool Workspace::relaunchApplication() {
  std::string self = env_.executablePath ? env_.executablePath() : std::string();
  if (self.empty() || self.front() != '/' || !env_.spawn) return false;
  return env_.spawn({"/bin/sh", "-c", kRelaunchScript, self});
}

}  // namespace platform
