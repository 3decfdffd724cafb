#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

#include "ResourceBundleClass.h"
#include "TempDir.h"

// The pages are real widgets: they need an application, headless when nobody chose a platform.
// The day log and every other per-user file live in a temporary home for the whole run.
int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  auto home = std::make_unique<testsupport::ScopedHome>();
  updater::ResourceBundleClass::configureBundle();
  setenv("CORVANE_RESOURCES_DIR", CORVANE_SHARE_DIR "/corvane-studio-updater", 1);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  int rc = RUN_ALL_TESTS();
  return rc;
}
