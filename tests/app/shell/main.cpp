#include <cstdlib>
#include <string>

#include "QtTestMain.h"

// The shell's windows are real widgets and the loopback cloud needs an event loop. Their texts
// come from the source tree's English table, never from a machine-wide language folder, and
// nothing reads or writes the user's own folders.
int main(int argc, char** argv) {
  std::string home = "/tmp/corvane-shell-tests-XXXXXX";
  if (mkdtemp(home.data())) {
    setenv("CORVANE_CONFIG_DIR", (home + "/config").c_str(), 1);
    setenv("CORVANE_CACHES_DIR", (home + "/caches").c_str(), 1);
  }
  setenv("CORVANE_RESOURCES_DIR", CORVANE_SOURCE_RESOURCES_DIR, 1);
  setenv("CORVANE_LOCAL_LIBRARY_DIR", "/nonexistent-corvane-library", 1);
  return testsupport::runTestsInQApplication(argc, argv);
}
