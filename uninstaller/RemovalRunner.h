#pragma once

#include <string>

namespace uninstaller {

// Runs the removal script with administrator rights from the program's resources:
// "script_all.sh" when everything goes (the user's settings and logs too), else "script.sh".
class RemovalRunner {
 public:
  // True when the script ran and exited with status 0.
  static bool run(bool removeEverything);
  // The absolute path of the script that runs.
  static std::string command(bool removeEverything);
};

}  // namespace uninstaller
