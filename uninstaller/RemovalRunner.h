#pragma once

#include <string>

namespace uninstaller {

// Runs the removal script with administrator rights from the program's resources:
// "script_all.sh" when everything goes (the user's settings and logs too), else "script.sh".
class RemovalRunner {
 public:
  struct Outcome {
    bool removed = false;
    // Why it was not, for the page ("the password prompt was closed"); empty when removed.
    std::string reason;
  };

  // Removed when the script ran and exited with status 0.
  static Outcome run(bool removeEverything);
  // The absolute path of the script that runs.
  static std::string command(bool removeEverything);
  // Why a removal did not complete: from the task's launch status, or, once launched, from the
  // tool's exit status and what it wrote (its last line says what the script stopped at).
  static std::string reason(int launchStatus, int terminationStatus, const std::string& output);
};

}  // namespace uninstaller
