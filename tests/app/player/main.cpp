#include <gtest/gtest.h>

#include <QApplication>

#include "TempDir.h"
#include "shell/ProgramInfo.h"

// The file chooser needs a widget application; the log goes to a temporary home.
int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  testsupport::ScopedHome home;
  corvane::configureMainBundle();
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
