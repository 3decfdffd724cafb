#pragma once

#include <map>
#include <optional>
#include <string>

namespace platform {

// The program's own description: its Info values (compiled in, set by each program's main)
// and its resources folder, share/<program> beside the executable's bin/ folder.
// CORVANE_RESOURCES_DIR moves the resources folder (tests).
class Bundle {
 public:
  static Bundle& main();

  // Sets the Info values and the name of the program's folder under share/.
  void configure(std::map<std::string, std::string> info, std::string shareName);

  std::optional<std::string> infoValue(const std::string& key) const;
  // CFBundleExecutable, CFBundleName, CFBundleShortVersionString, CFBundleVersion.
  std::optional<std::string> executableName() const { return infoValue("CFBundleExecutable"); }
  std::optional<std::string> bundleName() const { return infoValue("CFBundleName"); }
  std::optional<std::string> shortVersion() const { return infoValue("CFBundleShortVersionString"); }

  std::string resourcesPath() const;
  // The path of a resource file, or none when it is not there.
  std::optional<std::string> pathForResource(const std::string& name) const;
  // The running executable's path (/proc/self/exe).
  static std::string executablePath();

 private:
  std::map<std::string, std::string> info_;
  std::string shareName_;
};

}  // namespace platform
