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

namespace {

// What one unpacking made, in the order it made it, so that a refusal half-way takes it back.
class MadeSoFar {
 public:
  // Creates the folder and those above it that are missing, noting each one made.
  bool makeFolders(const fs::path& folder, std::string* error) {
    std::vector<fs::path> missing;
    std::error_code ec;
    for (fs::path p = folder; !p.empty() && !fs::exists(fs::symlink_status(p, ec));
         p = p.parent_path()) {
      missing.push_back(p);
      if (p == p.parent_path()) break;
    }
    fs::create_directories(folder, ec);
    if (ec) {
      setError(error, "cannot create " + folder.string() + ": " + ec.message());
      return false;
    }
    folders_.insert(folders_.end(), missing.rbegin(), missing.rend());
    return true;
  }
  void madeFile(const fs::path& file) { files_.push_back(file); }
  // The files, then the folders deepest first; a folder that holds something else stays.
  void takeBack() {
    std::error_code ec;
    for (auto it = files_.rbegin(); it != files_.rend(); ++it) fs::remove(*it, ec);
    for (auto it = folders_.rbegin(); it != folders_.rend(); ++it) fs::remove(*it, ec);
    files_.clear();
    folders_.clear();
  }

 private:
  std::vector<fs::path> files_;
  std::vector<fs::path> folders_;
};

std::string inMegabytes(uint64_t bytes) { return std::to_string(bytes >> 20) + " MB"; }

}  // namespace

bool PackageArchive::extract(const std::string& zipPath, const std::string& destination,
                             const std::optional<std::string>& password, std::string* error) {
  return extract(zipPath, destination, password, error, Limits{});
}

bool PackageArchive::extract(const std::string& zipPath, const std::string& destination,
                             const std::optional<std::string>& password, std::string* error,
                             const Limits& limits) {
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
  if (count < 0) {
    setError(error, "cannot read the entries of " + zipPath);
    return false;
  }
  if (uint64_t(count) > limits.entries) {
    setError(error, "the archive holds " + std::to_string(count) + " entries, more than the " +
                        std::to_string(limits.entries) + " an update package may hold");
    return false;
  }
  // Names and declared sizes are all checked before anything is written.
  std::vector<std::string> names;
  uint64_t declared = 0;
  for (zip_int64_t i = 0; i < count; ++i) {
    const char* name = zip_get_name(archive.get(), zip_uint64_t(i), 0);
    if (!name || !isSafeEntryName(name)) {
      setError(error, std::string("unsafe entry name in the archive: ") + (name ? name : "?"));
      return false;
    }
    names.emplace_back(name);
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(archive.get(), zip_uint64_t(i), 0, &st) == 0 && (st.valid & ZIP_STAT_SIZE))
      declared += st.size;
    if (declared > limits.totalBytes) {
      setError(error, "the archive would unpack to more than the " +
                          inMegabytes(limits.totalBytes) + " an update package may hold");
      return false;
    }
  }
  MadeSoFar made;
  auto refuse = [&made, error](const std::string& text) {
    setError(error, text);
    made.takeBack();
    return false;
  };
  if (!made.makeFolders(destination, error)) return refuse(error ? *error : "");
  std::error_code ec;
  std::vector<char> buffer(1 << 16);
  // Counted as the bytes come: a declared size is only what the archive claims.
  uint64_t written = 0;
  for (zip_int64_t i = 0; i < count; ++i) {
    const std::string& name = names[size_t(i)];
    fs::path target = fs::path(destination) / fs::path(name).lexically_normal();
    if (name.back() == '/') {
      if (!made.makeFolders(target, error)) return refuse(error ? *error : "");
      continue;
    }
    if (!made.makeFolders(target.parent_path(), error)) return refuse(error ? *error : "");
    std::unique_ptr<zip_file_t, FileCloser> file(
        zip_fopen_index(archive.get(), zip_uint64_t(i), 0));
    if (!file) return refuse("cannot read " + name + ": " + zip_strerror(archive.get()));
    // Overwrite: a file, link or folder of that name goes first, so nothing is written through
    // a link that was already there.
    fs::remove_all(target, ec);
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    if (!out) return refuse("cannot write " + target.string());
    made.madeFile(target);
    for (;;) {
      zip_int64_t n = zip_fread(file.get(), buffer.data(), buffer.size());
      if (n < 0) return refuse("cannot read " + name + ": " + zip_file_strerror(file.get()));
      if (n == 0) break;
      written += uint64_t(n);
      if (written > limits.totalBytes)
        return refuse("the archive unpacks to more than the " + inMegabytes(limits.totalBytes) +
                      " an update package may hold");
      if (!out.write(buffer.data(), n)) return refuse("cannot write " + target.string());
    }
    out.close();
    if (!out) return refuse("cannot write " + target.string());
  }
  return true;
}

}  // namespace updater
