// The one loop every file write of the suite goes through: a write that takes only part of its
// bytes goes on with the rest, and one that stops says why.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>

#include "TempDir.h"
#include "WholeWrite.h"

using platform::WholeWrite;

namespace {

off_t sizeOf(const std::string& file) {
  struct stat st {};
  return ::stat(file.c_str(), &st) == 0 ? st.st_size : -1;
}

}  // namespace

TEST(WholeWrite, EveryByteIsWrittenOrTheSystemsReasonGiven) {
  testsupport::TempDir dir;
  const std::string bytes(3 << 20, 'x');

  const std::string whole = dir.file("whole.bin");
  int fd = ::open(whole.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(WholeWrite::to(fd, bytes.data(), bytes.size()), 0);
  ::close(fd);
  EXPECT_EQ(sizeOf(whole), off_t(bytes.size()));

  // A disk that fills up in the middle of the bytes (a file-size limit, for this process): the
  // first write takes part of them, the next one fails, and its reason is the one given.
  const std::string cut = dir.file("cut.bin");
  fd = ::open(cut.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0);
  struct rlimit before {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = before;
  small.rlim_cur = (rlim_t(1) << 20) + 4321;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  errno = 0;
  int error = WholeWrite::to(fd, bytes.data(), bytes.size());
  int left = errno;
  ::setrlimit(RLIMIT_FSIZE, &before);
  std::signal(SIGXFSZ, oldHandler);
  ::close(fd);
  EXPECT_EQ(error, EFBIG);
  EXPECT_EQ(left, EFBIG) << "errno is left for callers that read it";
  EXPECT_EQ(sizeOf(cut), off_t(small.rlim_cur)) << "the part that fitted was written";

  // A descriptor that is no longer open.
  EXPECT_EQ(WholeWrite::to(fd, bytes.data(), 1), EBADF);

  // Nothing to write is no failure.
  EXPECT_EQ(WholeWrite::to(-1, bytes.data(), 0), 0);
}
