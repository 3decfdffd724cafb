#include "FileSizeLimit.h"

#include <csignal>

namespace platform {

void FileSizeLimit::failWritesPastIt() { std::signal(SIGXFSZ, SIG_IGN); }

}  // namespace platform
