#include <gtest/gtest.h>

#include "TempDir.h"
#include "qt/UserDefaults.h"

TEST(UserDefaults, ValuesSurviveANewStoreOverTheSameFile) {
  testsupport::TempDir dir;
  QString path = QString::fromStdString(dir.file("conf/app.conf"));
  {
    platform::UserDefaults d(path);
    d.set("CurrentVersion", "2.3.0");
    d.set("WindowWidth", 1280);
    d.set("AutoTracking", true);
    d.set("Scale", 0.75);
    EXPECT_TRUE(d.synchronize());
  }
  platform::UserDefaults d(path);
  EXPECT_EQ(d.string("CurrentVersion"), "2.3.0");
  EXPECT_EQ(d.integer("WindowWidth"), 1280);
  EXPECT_TRUE(d.boolean("AutoTracking"));
  EXPECT_DOUBLE_EQ(d.doubleValue("Scale"), 0.75);
  EXPECT_EQ(d.integer("Missing", 7), 7);
  EXPECT_FALSE(d.contains("Missing"));
  d.removeAll();
  EXPECT_TRUE(d.keys().isEmpty());
}
