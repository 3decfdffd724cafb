#pragma once

#include <functional>
#include <string>
#include <vector>

namespace platform {

// Opening programs and addresses for the user: a program started with an argument vector in a
// session of its own, an address handed to xdg-open. Tests give the launcher.
class Workspace {
 public:
  struct Environment {
    // Starts a program without waiting for it; false when it could not be started.
    std::function<bool(const std::vector<std::string>& argv)> spawn;
    static Environment process();
  };

  static Workspace& shared();
  explicit Workspace(Environment environment);

  // False when the file is not an executable or could not be started.
  bool openApplication(const std::string& path, const std::vector<std::string>& arguments = {});
  // A web address (http or https only) in the user's browser; false for anything else.
  bool openURL(const std::string& url);
  static bool isWebAddress(const std::string& url);

 private:
  Environment env_;
};

}  // namespace platform
