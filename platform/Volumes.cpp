#include "Volumes.h"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "Process.h"

namespace fs = std::filesystem;

namespace platform {

namespace {

// The kernel writes blanks, tabs, newlines and backslashes in paths as "\ooo"; udev writes
// unsafe characters of labels as "\xhh".
std::string unescape(const std::string& text) {
  auto isOctal = [](char c) { return c >= '0' && c <= '7'; };
  auto isHex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    size_t rest = text.size() - i - 1;
    if (text[i] == '\\' && rest >= 3) {
      if (text[i + 1] == 'x' && isHex(text[i + 2]) && isHex(text[i + 3])) {
        out += char(std::stoi(text.substr(i + 2, 2), nullptr, 16));
        i += 3;
        continue;
      }
      if (isOctal(text[i + 1]) && isOctal(text[i + 2]) && isOctal(text[i + 3])) {
        out += char(std::stoi(text.substr(i + 1, 3), nullptr, 8));
        i += 3;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

std::string readAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

Volumes::Environment Volumes::Environment::process() {
  Environment env;
  env.mountInfo = [] { return readAll("/proc/self/mountinfo"); };
  env.run = [](const std::vector<std::string>& argv) { return Process::run(argv); };
  env.findProgram = [](const std::string& name) { return Process::findProgram(name); };
  return env;
}

Volumes& Volumes::shared() {
  static Volumes volumes(Environment::process());
  return volumes;
}

Volumes::Volumes(Environment environment) : env_(std::move(environment)) {}

std::vector<Volume> Volumes::parseMountInfo(const std::string& text) {
  std::vector<Volume> volumes;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    // id parent major:minor root mount-point options [optional fields...] - type source super
    std::istringstream fields(line);
    std::vector<std::string> f;
    for (std::string word; fields >> word;) f.push_back(word);
    if (f.size() < 7) continue;
    size_t dash = 6;
    while (dash < f.size() && f[dash] != "-") ++dash;
    if (dash + 2 >= f.size()) continue;
    Volume v;
    v.path = unescape(f[4]);
    v.fileSystem = f[dash + 1];
    v.device = unescape(f[dash + 2]);
    if (v.device.rfind("/dev/", 0) != 0) continue;
    volumes.push_back(std::move(v));
  }
  return volumes;
}

std::string Volumes::labelOf(const std::string& device) const {
  std::error_code ec;
  fs::path target = fs::weakly_canonical(device, ec);
  if (ec) return {};
  for (fs::directory_iterator it(env_.byLabelFolder, ec); !ec && it != fs::directory_iterator();
       it.increment(ec)) {
    std::error_code linkError;
    fs::path linked = fs::weakly_canonical(it->path(), linkError);
    if (!linkError && linked == target) return unescape(it->path().filename().string());
  }
  return {};
}

std::vector<Volume> Volumes::mountedVolumes() const {
  std::vector<Volume> volumes = parseMountInfo(env_.mountInfo ? env_.mountInfo() : std::string());
  for (Volume& v : volumes) v.label = labelOf(v.device);
  return volumes;
}

bool Volumes::unmountAndEject(const std::string& path) const {
  std::error_code ec;
  fs::path wanted = fs::weakly_canonical(path, ec);
  const Volume* found = nullptr;
  std::vector<Volume> volumes = parseMountInfo(env_.mountInfo ? env_.mountInfo() : std::string());
  for (const Volume& v : volumes) {
    std::error_code e;
    if (v.path == path || fs::weakly_canonical(v.path, e) == wanted) found = &v;
  }
  if (!found || !env_.run) return false;
  std::string udisks = env_.findProgram ? env_.findProgram("udisksctl") : std::string();
  if (!udisks.empty())
    return env_.run(
               {udisks, "unmount", "--block-device", found->device, "--no-user-interaction"}) == 0;
  return env_.run({"umount", found->path}) == 0;
}

}  // namespace platform
