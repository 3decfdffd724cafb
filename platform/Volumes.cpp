#include "Volumes.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "Process.h"
#include "dispatch/Clock.h"

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

// Where a link of the label or id folders points (they are relative, "../../sdb1"), without
// asking whether the device is there.
fs::path linkTarget(const fs::path& link) {
  std::error_code ec;
  if (!fs::is_symlink(fs::symlink_status(link, ec))) return link.lexically_normal();
  fs::path target = fs::read_symlink(link, ec);
  if (ec) return link.lexically_normal();
  if (target.is_relative()) target = link.parent_path() / target;
  return target.lexically_normal();
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
  // The link names the device node; compared as written too, for a node not (yet) there.
  fs::path named = linkTarget(device);
  for (fs::directory_iterator it(env_.byLabelFolder, ec); !ec && it != fs::directory_iterator();
       it.increment(ec)) {
    std::error_code linkError;
    fs::path linked = fs::weakly_canonical(it->path(), linkError);
    if ((!linkError && linked == target) || linkTarget(it->path()) == named)
      return unescape(it->path().filename().string());
  }
  return {};
}

std::vector<Volume> Volumes::mountedVolumes() const {
  std::vector<Volume> volumes = parseMountInfo(env_.mountInfo ? env_.mountInfo() : std::string());
  for (Volume& v : volumes) v.label = labelOf(v.device);
  return volumes;
}

std::string Volumes::udisks() const {
  return env_.findProgram ? env_.findProgram("udisksctl") : std::string();
}

bool Volumes::isOnUsb(const std::string& device) const {
  std::error_code ec;
  fs::path entry = fs::canonical(fs::path(env_.sysBlockFolder) / fs::path(device).filename(), ec);
  return !ec && entry.string().find("/usb") != std::string::npos;
}

std::string Volumes::usbDeviceFolder(const std::string& device) const {
  std::error_code ec;
  fs::path p = fs::canonical(fs::path(env_.sysBlockFolder) / fs::path(device).filename(), ec);
  if (ec) return {};
  // A partition sits a few levels below its USB device: block/sdc/sdc1 under the SCSI host,
  // under the interface, under the device that carries idVendor.
  for (int depth = 0; depth < 12 && !p.empty() && p != p.root_path(); ++depth) {
    if (fs::exists(p / "idVendor", ec) && fs::exists(p / "idProduct", ec)) return p.string();
    p = p.parent_path();
  }
  return {};
}

BlockDevice Volumes::describe(const std::string& device) const {
  BlockDevice d;
  d.device = device;
  d.label = labelOf(device);
  std::string usb = usbDeviceFolder(device);
  if (!usb.empty()) {
    d.usbVendor = VolumeCandidates::parseUsbId(readAll(usb + "/idVendor"));
    d.usbProduct = VolumeCandidates::parseUsbId(readAll(usb + "/idProduct"));
  }
  return d;
}

bool Volumes::isOnDiskOf(const std::string& device, const VolumeCandidates::Rule& rule) const {
  return VolumeCandidates::isCandidate(describe(device), rule);
}

std::vector<std::string> Volumes::unmountedDevices() const {
  std::set<std::string> mounted;
  for (const Volume& v : parseMountInfo(env_.mountInfo ? env_.mountInfo() : std::string()))
    mounted.insert(linkTarget(v.device).string());
  std::set<std::string> devices;
  for (const std::string& folder : {env_.byUuidFolder, env_.byLabelFolder}) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
      std::string device = linkTarget(it->path()).string();
      if (!mounted.count(device) && isOnUsb(device)) devices.insert(device);
    }
  }
  return {devices.begin(), devices.end()};
}

std::string Volumes::mount(const std::string& device, Access access, std::string* why) {
  auto fail = [why](const std::string& reason) {
    if (why) *why = reason;
    return std::string();
  };
  std::string tool = udisks();
  if (tool.empty())
    return fail("udisksctl (udisks2) is not installed, so " + device +
                " cannot be mounted; mount it by hand");
  if (!env_.run) return fail("no way to run udisksctl");
  std::vector<std::string> argv = {tool, "mount", "--block-device", device,
                                   "--no-user-interaction"};
  if (access == Access::readOnly) argv.insert(argv.end(), {"--options", "ro"});
  int status = env_.run(argv);
  if (status != 0)
    return fail("udisksctl could not mount " + device + " (status " + std::to_string(status) + ")");
  // udisksctl returns once the mount is made; the table may show it a moment later.
  for (int look = 0; look < kMountLooks; ++look) {
    if (look > 0) Clock::sleepFor(kMountLookInterval);
    for (const Volume& v : parseMountInfo(env_.mountInfo ? env_.mountInfo() : std::string())) {
      if (v.device == device || linkTarget(v.device).string() == device) {
        std::lock_guard lock(mountedMutex_);
        mountedByUs_[device] = access;
        return v.path;
      }
    }
  }
  return fail("udisksctl mounted " + device + " but the mount table does not show it");
}

bool Volumes::mountedReadOnlyByUs(const std::string& device) {
  std::lock_guard lock(mountedMutex_);
  auto it = mountedByUs_.find(device);
  return it != mountedByUs_.end() && it->second == Access::readOnly;
}

std::string Volumes::mountAgainWritable(const std::string& device, const std::string& path,
                                        std::string* why) {
  if (!unmountDevice(device, path)) {
    if (why) *why = "cannot unmount " + device + " to mount it again for writing";
    return {};
  }
  {
    std::lock_guard lock(mountedMutex_);
    mountedByUs_.erase(device);
  }
  return mount(device, Access::readWrite, why);
}

std::string Volumes::writable(const std::string& path, std::string* why) {
  std::error_code ec;
  fs::path wanted = fs::weakly_canonical(path, ec);
  for (const Volume& v : parseMountInfo(env_.mountInfo ? env_.mountInfo() : std::string())) {
    std::error_code e;
    if (v.path != path && fs::weakly_canonical(v.path, e) != wanted) continue;
    return mountedReadOnlyByUs(v.device) ? mountAgainWritable(v.device, v.path, why) : v.path;
  }
  // Not a volume of the mount table (a folder): as it is.
  return path;
}

std::vector<std::string> Volumes::findVolumes(
    const std::function<bool(const std::string& root)>& matches,
    const VolumeCandidates::Rule& candidates, Access access, std::string* missing) {
  std::vector<std::string> found;
  std::string problems;
  auto note = [&problems](const std::string& why) {
    problems += (problems.empty() ? "" : "; ") + why;
  };
  // Given to the step as it needs it: a volume mounted read-only for a look-up is mounted again
  // for a step that writes.
  auto forTheStep = [&](const std::string& device, const std::string& root) {
    if (access == Access::readOnly || !mountedReadOnlyByUs(device)) return root;
    std::string why;
    std::string again = mountAgainWritable(device, root, &why);
    if (again.empty()) {
      note(why);
    } else if (!matches(again)) {
      note(device + " mounted again for writing no longer holds what was looked for");
      again.clear();
    }
    return again;
  };
  for (const Volume& v : mountedVolumes()) {
    if (!matches(v.path)) continue;
    std::string root = forTheStep(v.device, v.path);
    if (!root.empty()) found.push_back(root);
  }
  if (!found.empty()) return found;
  std::vector<BlockDevice> attached;
  for (const std::string& device : unmountedDevices()) attached.push_back(describe(device));
  // Chosen before anything is mounted: a disk that is not the device's is never touched.
  std::vector<std::string> devices = VolumeCandidates::choose(attached, candidates);
  const size_t others = attached.size() - devices.size();
  for (const std::string& device : devices) {
    std::string why;
    // The look-up only reads: a disk is mounted read-only to see whether it is the one.
    std::string root = mount(device, Access::readOnly, &why);
    if (root.empty()) {
      note(why);
      continue;
    }
    if (!matches(root)) {
      // Not the one looked for: leave it as it was.
      if (unmountDevice(device, root)) {
        std::lock_guard lock(mountedMutex_);
        mountedByUs_.erase(device);
      }
      continue;
    }
    root = forTheStep(device, root);
    if (!root.empty()) found.push_back(root);
  }
  if (found.empty() && missing) {
    std::string leftAlone = others == 0 ? std::string()
                                        : " (" + std::to_string(others) + " other attached disk" +
                                              (others == 1 ? " is" : "s are") +
                                              " not the device's and left alone)";
    if (devices.empty() && problems.empty())
      *missing = attached.empty()
                     ? "no mounted volume matched and no unmounted volume is attached"
                     : "no mounted volume matched and no unmounted volume of the device is "
                       "attached" +
                           leftAlone;
    else
      *missing = "no volume matched" + (problems.empty() ? "" : ": " + problems) + leftAlone;
  }
  return found;
}

void Volumes::unmountWhatWeMounted() {
  std::map<std::string, Access> devices;
  {
    std::lock_guard lock(mountedMutex_);
    devices.swap(mountedByUs_);
  }
  for (const Volume& v : parseMountInfo(env_.mountInfo ? env_.mountInfo() : std::string()))
    if (devices.count(v.device)) unmountDevice(v.device, v.path);
}

bool Volumes::unmountDevice(const std::string& device, const std::string& path) const {
  if (!env_.run) return false;
  std::string tool = udisks();
  if (!tool.empty())
    return env_.run({tool, "unmount", "--block-device", device, "--no-user-interaction"}) == 0;
  return env_.run({"umount", path}) == 0;
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
  if (!found) return false;
  return unmountDevice(found->device, found->path);
}

}  // namespace platform
