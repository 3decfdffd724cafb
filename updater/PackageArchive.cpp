#include "PackageArchive.h"

#include <zip.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

namespace fs = std::filesystem;

namespace updater {

namespace {

void setError(std::string* error, const std::string& text) {
  if (error) *error = text;
}

struct ArchiveCloser {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct FileCloser {
  void operator()(zip_file_t* file) const { zip_fclose(file); }
};

}  // namespace

bool PackageArchive::isSafeEntryName(const std::string& name) {
  if (name.empty() || name.front() == '/' || name.find('\\') != std::string::npos) return false;
  if (name.find('\0') != std::string::npos) return false;
  bool folder = name.back() == '/';
  std::string body = folder ? name.substr(0, name.size() - 1) : name;
  // Every part must be a real name or ".": "..", and a name made of "." and empty parts only,
  // which is the destination itself (removing "dest/." before writing would empty it), are
  // refused. A file's last part must be a name too.
  bool named = false;
  std::string last;
  size_t start = 0;
  for (;;) {
    size_t end = body.find('/', start);
    std::string part = body.substr(start, end == std::string::npos ? end : end - start);
    if (part == "..") return false;
    if (!part.empty() && part != ".") named = true;
    last = part;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  if (!named) return false;
  if (!folder && (last.empty() || last == ".")) return false;
  return true;
}

bool PackageArchive::extract(const std::string& zipPath, const std::string& destination,
                             const std::optional<std::string>& password, std::string* error) {
  int code = 0;
  std::unique_ptr<zip_t, ArchiveCloser> archive(zip_open(zipPath.c_str(), ZIP_RDONLY, &code));
  if (!archive) {
    zip_error_t e;
    zip_error_init_with_code(&e, code);
    setError(error, "cannot open " + zipPath + ": " + zip_error_strerror(&e));
    zip_error_fini(&e);
    return false;
  }
  if (password && zip_set_default_password(archive.get(), password->c_str()) != 0) {
    setError(error, "cannot set the archive's password");
    return false;
  }
  zip_int64_t count = zip_get_num_entries(archive.get(), 0);
  std::vector<std::string> names;
  for (zip_int64_t i = 0; i < count; ++i) {
    const char* name = zip_get_name(archive.get(), zip_uint64_t(i), 0);
    if (!name || !isSafeEntryName(name)) {
      setError(error, std::string("unsafe entry name in the archive: ") + (name ? name : "?"));
      return false;
    }
    names.emplace_back(name);
  }
  std::error_code ec;
  fs::create_directories(destination, ec);
  if (ec) {
    setError(error, "cannot create " + destination + ": " + ec.message());
    return false;
  }
  std::vector<char> buffer(1 << 16);
  for (zip_int64_t i = 0; i < count; ++i) {
    const std::string& name = names[size_t(i)];
    fs::path target = fs::path(destination) / fs::path(name).lexically_normal();
    if (name.back() == '/') {
      fs::create_directories(target, ec);
      if (ec) {
        setError(error, "cannot create " + target.string() + ": " + ec.message());
        return false;
      }
      continue;
    }
    fs::create_directories(target.parent_path(), ec);
    if (ec) {
      setError(error, "cannot create " + target.parent_path().string() + ": " + ec.message());
      return false;
    }
    std::unique_ptr<zip_file_t, FileCloser> file(
        zip_fopen_index(archive.get(), zip_uint64_t(i), 0));
    if (!file) {
      setError(error, "cannot read " + name + ": " + zip_strerror(archive.get()));
      return false;
    }
    // Overwrite: a file, link or folder of that name goes first, so nothing is written through
    // a link that was already there.
    fs::remove_all(target, ec);
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    if (!out) {
      setError(error, "cannot write " + target.string());
      return false;
    }
    for (;;) {
      zip_int64_t n = zip_fread(file.get(), buffer.data(), buffer.size());
      if (n < 0) {
        setError(error, "cannot read " + name + ": " + zip_file_strerror(file.get()));
        return false;
      }
      if (n == 0) break;
      out.write(buffer.data(), n);
    }
    out.close();
    if (!out) {
      setError(error, "cannot write " + target.string());
      return false;
    }
  }
  return true;
}

}  // namespace updater
