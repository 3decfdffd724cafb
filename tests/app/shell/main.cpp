#include "QtTestMain.h"

// The shell's windows are real widgets and the loopback cloud needs an event loop.
int main(int argc, char** argv) { return testsupport::runTestsInQApplication(argc, argv); }
