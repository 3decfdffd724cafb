#include <gtest/gtest.h>

#include "AppExecutionMode.h"
#include "CpuArchitecture.h"
#include "Printer.h"

// The framework's copy answers like the program's and has a printer switch of its own.
TEST(FrameworkCpuDetection, OwnCopyWithItsOwnPrinterSwitch) {
  orlith::GeneralPrinter::enabled = false;
  testing::internal::CaptureStdout();
  EXPECT_EQ(orlith::AppExecutionMode::current(), orlith::AppExecutionMode::native);
  EXPECT_TRUE(orlith::CpuArchitecture::current().has_value());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  orlith::GeneralPrinter::enabled = true;
  testing::internal::CaptureStdout();
  orlith::Printer::print("framework");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "[SwiftCPUDetect] framework\n");
}
