#include "QtTestMain.h"
#include "TempDir.h"
#include "log/LogManager.h"
#include "shell/ProgramInfo.h"

// The shell's windows are real widgets and the loopback cloud needs an event loop. The program's
// own log goes to a temporary home; it is made now, on the system clock, as the tests put manual
// clocks in place for a while.
int main(int argc, char** argv) {
  testsupport::ScopedHome home;
  corvane::configureMainBundle();
  corvane::LogManager::shared();
  return testsupport::runTestsInQApplication(argc, argv);
}
