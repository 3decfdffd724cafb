#include <gtest/gtest.h>

#include <QApplication>

#include "TempDir.h"
#include "log/LogManager.h"
#include "shell/ProgramInfo.h"

// The windows need a widget application; the program's log goes to a temporary home.
int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  testsupport::ScopedHome home;
  corvane::configureMainBundle();
  // Made now, on the system clock: the tests put manual clocks in place for a while.
  corvane::LogManager::shared();
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
