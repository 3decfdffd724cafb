#include <gtest/gtest.h>

#include "ProgramCommandLine.h"

// The uninstaller's own command line, as the built program answers it: nothing is removed.
TEST(UninstallerCommandLine, AnswersAsTheMainProgramDoes) {
  testsupport::expectTheSuitesCommandLine(CORVANE_UNINSTALLER_PROGRAM,
                                          "corvane-studio-uninstaller",
                                          "Corvane Studio Uninstaller " CORVANE_VERSION "\n");
}
