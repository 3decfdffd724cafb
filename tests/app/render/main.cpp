// The layout views are widgets: the tests run inside a (headless) application, with the
// program's folders (where the log goes) in a temporary home.
#include <gtest/gtest.h>

#include <QApplication>

#include "Bundle.h"
#include "TempDir.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("CORVANE_RESOURCES_DIR", CORVANE_SHARE_DIR "/corvane-studio");
  testsupport::ScopedHome home;
  platform::Bundle::main().configure({{"CFBundleExecutable", "corvane-studio"},
                                      {"CFBundleName", "Corvane Studio"},
                                      {"CFBundleShortVersionString", CORVANE_VERSION}},
                                     "corvane-studio");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
