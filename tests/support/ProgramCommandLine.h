#pragma once

#include <string>
#include <vector>

namespace testsupport {

// What a built program did with a command line: its exit status and what it printed.
struct ProgramRun {
  int status = -1;
  std::string out, err;
};

// Runs `path` with `arguments` and no display, and waits for its end (bounded by the test's
// own timeout).
ProgramRun runProgram(const std::string& path, const std::vector<std::string>& arguments);

// The command line every program of the suite that takes no names answers as the main
// program does: --help and --version printed with status 0 and no window, an unknown option
// or a name (also one after "--") refused on standard error with status 2. `versionLine` is
// what --version prints.
void expectTheSuitesCommandLine(const std::string& path, const std::string& program,
                                const std::string& versionLine);

}  // namespace testsupport
