#include <gtest/gtest.h>

#include "TempDir.h"

namespace {

// The day-file logger the USB classes write to lives in a temporary home for the whole run.
class HomeEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { home_ = std::make_unique<testsupport::ScopedHome>(); }
  void TearDown() override { home_.reset(); }

 private:
  std::unique_ptr<testsupport::ScopedHome> home_;
};

const auto* const kHome = ::testing::AddGlobalTestEnvironment(new HomeEnvironment);

}  // namespace
