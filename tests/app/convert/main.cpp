#include <gtest/gtest.h>

#include <QGuiApplication>

#include "TempDir.h"
#include "shell/ProgramInfo.h"

// Pictures need a GUI application (fonts, image plugins); the log goes to a temporary home.
int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  testsupport::ScopedHome home;
  corvane::configureMainBundle();
  QGuiApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
