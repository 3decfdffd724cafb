// Where the framework's own lines go when no program has taken them.
#include <gtest/gtest.h>

#include "QD4718Log.h"

using qd4718::QD4718Log;

// The system log gets warnings and errors only; the running commentary stays on the console.
TEST(QD4718Log, InfoAndDebugLinesGoToStandardOutput) {
  testing::internal::CaptureStdout();
  QD4718Log::write(QD4718Log::Level::Info, "opened", "/src/fwupdate/HIDDriver.cpp", "open", 12);
  QD4718Log::write(QD4718Log::Level::Debug, "read 64 bytes", "HIDDriver.cpp", "read", 30);
  QD4718Log::write(QD4718Log::Level::Warning, "a short report", "HIDDriver.cpp", "read", 40);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "[Info] [HIDDriver.cpp:12], open(): opened\n"
            "[Debug] [HIDDriver.cpp:30], read(): read 64 bytes\n");
}
