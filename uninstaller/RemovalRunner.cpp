#include "RemovalRunner.h"

#include <iostream>

#include "Bundle.h"
#include "privileged/STPrivilegedTask.h"

namespace uninstaller {

namespace {

using Task = platform::STPrivilegedTask;

// pkexec's own status when the user may not run the tool (or the password was wrong).
constexpr int kNotAuthorized = 127;
// A tool ended by signal n reads as 128 + n.
constexpr int kSignalBase = 128;

std::string lastLine(const std::string& output) {
  size_t end = output.find_last_not_of(" \t\r\n");
  if (end == std::string::npos) return {};
  size_t start = output.find_last_of('\n', end);
  start = start == std::string::npos ? 0 : start + 1;
  return output.substr(start, end - start + 1);
}

}  // namespace

std::string RemovalRunner::command(bool removeEverything) {
  std::string resources = platform::Bundle::main().resourcesPath();
  return resources + (removeEverything ? "/script_all.sh" : "/script.sh");
}

std::string RemovalRunner::reason(int launchStatus, int terminationStatus,
                                  const std::string& output) {
  if (launchStatus == Task::kNotAvailable)
    return "pkexec, which asks for an administrator's password, is not installed (the package "
           "pkexec has it)";
  if (launchStatus == Task::kLaunchFailed) return "the removal could not be started";
  if (launchStatus != Task::kSuccess)
    return "the removal could not be started (status " + std::to_string(launchStatus) + ")";
  if (terminationStatus == Task::kUserCanceled) return "the password prompt was closed";
  if (terminationStatus == kNotAuthorized)
    return "the administrator's password was not accepted, or this user may not remove it";
  if (terminationStatus == Task::kUnknownOutcome)
    return "the end of the removal could not be seen; it may not be complete";
  std::string said = lastLine(output);
  std::string why =
      terminationStatus > kSignalBase
          ? "the removal was stopped by signal " + std::to_string(terminationStatus - kSignalBase)
          : "the removal ended with status " + std::to_string(terminationStatus);
  return said.empty() ? why : why + ": " + said;
}

RemovalRunner::Outcome RemovalRunner::run(bool removeEverything) {
  // The script itself is what pkexec runs: its installed path is what the polkit action names,
  // so the password prompt speaks of removing the suite, not of a shell.
  Task task(command(removeEverything), {}, platform::Bundle::main().resourcesPath());
  int status = task.launch();
  if (status != Task::kSuccess) {
    std::cout << "Something wrong : " << status << std::endl;
    return {false, reason(status, 0, {})};
  }
  task.waitUntilExit();
  const int exit = task.terminationStatus();
  if (exit == Task::kUserCanceled) {
    // The prompt is answered while the tool runs, so a cancel shows as its exit.
    std::cout << "User cancel" << std::endl;
    return {false, reason(status, exit, {})};
  }
  const std::string output = task.output();
  std::cout << "outputString: " << output << std::endl;
  std::cout << "outputString: "
            << "Exit status: " << exit << std::endl;
  if (exit == 0) return {true, {}};
  return {false, reason(status, exit, output)};
}

}  // namespace uninstaller
