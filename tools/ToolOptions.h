#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

// What the simulated-device tools share of their command lines.
namespace tools {

// The value after the option argv[i], moving i on to it; a missing value ends the program with
// status 2, saying so.
inline std::string optionValue(int argc, char** argv, int& i) {
  if (i + 1 >= argc) {
    std::cerr << argv[i] << " needs a value\n";
    std::exit(2);
  }
  return argv[++i];
}

// The FIFO at `path` (made when missing), opened to read and write so it never reads as ended
// between two writers; -1, with the reason on standard error, when it cannot be had.
inline int openCommandFifo(const std::string& path) {
  if (::access(path.c_str(), F_OK) != 0 && ::mkfifo(path.c_str(), 0600) != 0) {
    std::cerr << "cannot make " << path << ": " << std::strerror(errno) << "\n";
    return -1;
  }
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) std::cerr << "cannot open " << path << ": " << std::strerror(errno) << "\n";
  return fd;
}

}  // namespace tools
