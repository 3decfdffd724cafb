#include "RemovalRunner.h"

#include <iostream>

#include "Bundle.h"
#include "privileged/STPrivilegedTask.h"

namespace uninstaller {

std::string RemovalRunner::command(bool removeEverything) {
  std::string resources = platform::Bundle::main().resourcesPath();
  return resources + (removeEverything ? "/script_all.sh" : "/script.sh");
}

bool RemovalRunner::run(bool removeEverything) {
  // The script itself is what pkexec runs: its installed path is what the polkit action names,
  // so the password prompt speaks of removing the suite, not of a shell.
  platform::STPrivilegedTask task(command(removeEverything), {},
                                  platform::Bundle::main().resourcesPath());
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
