#include <cstdlib>

#include "QtTestMain.h"
#include "TempDir.h"
#include "log/LogManager.h"
#include "shell/ProgramInfo.h"

// The shell's windows are real widgets and the loopback cloud needs an event loop. The program's
// own log and folders go to a temporary home; the log is made now, on the system clock, as the
// tests put manual clocks in place for a while. Texts come from the source tree's English table.
int main(int argc, char** argv) {
  testsupport::ScopedHome home;
  setenv("CORVANE_RESOURCES_DIR", CORVANE_SOURCE_RESOURCES_DIR, 1);
  corvane::configureMainBundle();
  corvane::LogManager::shared();
  return testsupport::runTestsInQApplication(argc, argv);
}
