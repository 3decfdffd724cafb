// Update packages from the network: whatever the archive holds, extraction writes nothing
// outside the target folder, makes no links, never removes the folder itself, and either
// succeeds or says why.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "FuzzCheck.h"
#include "PackageArchive.h"

namespace fs = std::filesystem;

namespace {

const char* kKept = "kept-before-extraction";

// A scratch folder of this process: the archive, the target folder and a file beside them.
const fs::path& scratch() {
  static const fs::path folder = [] {
    std::string pattern = (fs::temp_directory_path() / "corvane-fuzz-package-XXXXXX").string();
    char* made = mkdtemp(pattern.data());
    if (!made) std::abort();
    std::atexit([] { fs::remove_all(scratch()); });
    return fs::path(made);
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const fs::path& root = scratch();
  fs::path zip = root / "package.zip";
  fs::path target = root / "update";
  fs::path beside = root / "beside.txt";
  std::error_code ec;
  fs::remove_all(target, ec);
  fs::create_directories(target);
  std::ofstream(target / kKept) << "kept";
  std::ofstream(beside) << "beside";
  std::ofstream(zip, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), std::streamsize(size));

  std::string error;
  bool ok = updater::PackageArchive::extract(zip.string(), target.string(), std::nullopt, &error);
  if (!ok) FUZZ_CHECK(!error.empty());

  // The folder is still there, and holds only folders and plain files.
  FUZZ_CHECK(fs::is_directory(fs::symlink_status(target)));
  for (fs::recursive_directory_iterator it(target, fs::directory_options::none, ec), end;
       !ec && it != end; it.increment(ec)) {
    fs::file_status status = it->symlink_status();
    FUZZ_CHECK(fs::is_directory(status) || fs::is_regular_file(status));
  }
  FUZZ_CHECK(!ec);
  // Nothing beside it changed or appeared.
  size_t entries = 0;
  for (const auto& entry : fs::directory_iterator(root)) {
    ++entries;
    FUZZ_CHECK(entry.path() == zip || entry.path() == target || entry.path() == beside);
  }
  FUZZ_CHECK(entries == 3);
  std::ifstream in(beside);
  std::string text;
  std::getline(in, text);
  FUZZ_CHECK(text == "beside");
  // A file that was there before is still there (or was overwritten by an entry of that name):
  // never removed with its folder.
  FUZZ_CHECK(fs::exists(target / kKept));
  return 0;
}
