#include "RemovalRunner.h"

#include <iostream>
#include <sstream>
#include <vector>

#include "Bundle.h"
#include "privileged/STPrivilegedTask.h"

namespace uninstaller {

std::string RemovalRunner::command(bool removeEverything) {
  return removeEverything ? "/bin/sh script_all.sh" : "/bin/sh script.sh";
}

bool RemovalRunner::run(bool removeEverything) {
  std::istringstream words(command(removeEverything));
  std::vector<std::string> parts;
  for (std::string w; words >> w;) parts.push_back(w);
  std::string launchPath = parts.front();
  std::vector<std::string> arguments(parts.begin() + 1, parts.end());

  platform::STPrivilegedTask task(launchPath, arguments, platform::Bundle::main().resourcesPath());
  int status = task.launch();
  if (status != platform::STPrivilegedTask::kSuccess) {
    std::cout << "Somethine wrong : " << status << std::endl;
    return false;
  }
  task.waitUntilExit();
  if (task.terminationStatus() == platform::STPrivilegedTask::kUserCanceled) {
    // The prompt is answered while the tool runs, so a cancel shows as its exit.
    std::cout << "User cancel" << std::endl;
    return false;
  }
  std::cout << "outputString: " << task.output() << std::endl;
  std::cout << "outputString: " << "Exit status: " << task.terminationStatus() << std::endl;
  return task.terminationStatus() == 0;
}

}  // namespace uninstaller
