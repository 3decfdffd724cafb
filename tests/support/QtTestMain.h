#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

namespace testsupport {

// The body of a test folder's main when its tests need a QApplication (pixmaps, widgets,
// dialogs). Headless unless told otherwise, also when CTest lists the tests.
inline int runTestsInQApplication(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

}  // namespace testsupport
