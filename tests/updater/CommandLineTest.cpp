#include <gtest/gtest.h>

#include "ProgramCommandLine.h"

// The updater's own command line, as the built program answers it.
TEST(UpdaterCommandLine, AnswersAsTheMainProgramDoes) {
  testsupport::expectTheSuitesCommandLine(CORVANE_UPDATER_PROGRAM, "corvane-studio-updater",
                                          "Corvane Studio Updater " CORVANE_VERSION "\n");
}
