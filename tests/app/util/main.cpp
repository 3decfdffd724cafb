#include "QtTestMain.h"

int main(int argc, char** argv) { return testsupport::runTestsInQApplication(argc, argv); }
