#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "AppExecutionMode.h"
#include "CpuArchitecture.h"
#include "SystemInfo.h"
#include "UtilNamespace.h"

namespace CORVANE_UTIL_NAMESPACE {

// The findings behind AppExecutionMode::current() and CpuArchitecture::current() and their
// caches. The shared instance asks the system; tests make one over a source of their own.
class CpuDetection {
 public:
  struct Source {
    std::function<std::optional<platform::SystemInfo::ExecutableHeader>()> executableHeader;
    std::function<std::string()> kernelMachine;
    std::function<std::optional<int64_t>()> cpu64bitCapable;
    static Source system();
  };

  static CpuDetection& shared();
  explicit CpuDetection(Source source);

  AppExecutionMode executionMode();
  std::optional<CpuArchitecture> architecture();
  std::optional<std::string> architectureRaw();
  std::optional<CpuArchitecture> machineArchitecture();
  std::vector<CpuArchitecture> executableArchitectures();

 private:
  Source source_;
  // Filled by the first successful finding and kept. Two first callers at once may both look
  // the value up and print; both store the same result.
  std::mutex mutex_;
  std::optional<AppExecutionMode> mode_;
  std::optional<CpuArchitecture> architecture_;
  std::optional<std::vector<CpuArchitecture>> executableArchitectures_;
};

}  // namespace CORVANE_UTIL_NAMESPACE
