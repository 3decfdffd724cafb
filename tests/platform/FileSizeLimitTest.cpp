// A write past the process's file-size limit (ulimit -f) fails with a reason instead of ending
// the program. Each case runs in a child process: the limit and the signal's handling are the
// process's own.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

#include "FileSizeLimit.h"
#include "TempDir.h"
#include "WholeWrite.h"

namespace {

// How a child that writes 4096 bytes into `path` under a limit of 1024 ended: its exit status is
// the errno that stopped the write (0: all written); a signal that ended it, as such.
struct Ending {
  bool exited = false;
  int status = 0;  // the exit status, or the signal
};

Ending writePastTheLimit(const std::string& path, bool failWrites) {
  const pid_t child = ::fork();
  if (child == 0) {
    // Only async-signal-safe calls from here on: the test process may have threads.
    std::signal(SIGXFSZ, SIG_DFL);
    if (failWrites) platform::FileSizeLimit::failWritesPastIt();
    struct rlimit limit {};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = 1024;
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(100);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) ::_exit(101);
    static char bytes[4096];
    ::_exit(platform::WholeWrite::to(fd, bytes, sizeof bytes));
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child) return {};
  if (WIFEXITED(status)) return {true, WEXITSTATUS(status)};
  return {false, WIFSIGNALED(status) ? WTERMSIG(status) : 0};
}

}  // namespace

TEST(FileSizeLimit, AWritePastTheLimitIsRefusedWithItsReason) {
  testsupport::TempDir dir;
  const Ending ending = writePastTheLimit(dir.file("big.bin"), true);
  ASSERT_TRUE(ending.exited) << "ended by signal " << ending.status;
  EXPECT_EQ(ending.status, EFBIG);
  EXPECT_STREQ(std::strerror(ending.status), "File too large");
}
