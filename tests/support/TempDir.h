#pragma once

#include <string>

namespace testsupport {

// A fresh folder under the temporary folder, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Points the XDG roots and the machine-wide folder at a temporary folder for a scope.
class ScopedHome {
 public:
  ScopedHome();
  ~ScopedHome();
  const std::string& root() const { return dir_.path(); }
  std::string caches() const { return dir_.path() + "/cache"; }
  std::string config() const { return dir_.path() + "/config"; }
  std::string localLibrary() const { return dir_.path() + "/library"; }

 private:
  TempDir dir_;
};

}  // namespace testsupport
