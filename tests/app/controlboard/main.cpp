#include <gtest/gtest.h>

#include <QApplication>

// The boards are real widgets over the program's own pictures (from the source tree), headless
// when nobody chose a platform.
int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("CORVANE_RESOURCES_DIR", CORVANE_SOURCE_RESOURCES_DIR);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
