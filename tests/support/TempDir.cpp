#include "TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace testsupport {

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "corvane-test-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

ScopedHome::ScopedHome() {
  setenv("CORVANE_CACHES_DIR", caches().c_str(), 1);
  setenv("CORVANE_CONFIG_DIR", config().c_str(), 1);
  setenv("CORVANE_DATA_DIR", (root() + "/data").c_str(), 1);
  setenv("CORVANE_DOCUMENTS_DIR", (root() + "/documents").c_str(), 1);
  setenv("CORVANE_LOCAL_LIBRARY_DIR", localLibrary().c_str(), 1);
}

ScopedHome::~ScopedHome() {
  for (const char* n : {"CORVANE_CACHES_DIR", "CORVANE_CONFIG_DIR", "CORVANE_DATA_DIR",
                        "CORVANE_DOCUMENTS_DIR", "CORVANE_LOCAL_LIBRARY_DIR"}) {
    unsetenv(n);
  }
}

}  // namespace testsupport
