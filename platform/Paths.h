#pragma once

#include <optional>
#include <string>

namespace platform {

// The folders the programs keep their files in, after the XDG rules. Each root can be moved
// by an environment variable, so tests run in a temporary folder:
//   CORVANE_CACHES_DIR, CORVANE_CONFIG_DIR, CORVANE_DATA_DIR, CORVANE_DOCUMENTS_DIR,
//   CORVANE_LOCAL_LIBRARY_DIR (the machine-wide folder), then XDG_*_HOME, then $HOME.
// A root that cannot be had (no variable and no home) is none.
class Paths {
 public:
  // The user's caches folder (~/.cache).
  static std::optional<std::string> caches();
  // The user's configuration folder (~/.config).
  static std::optional<std::string> config();
  // The user's data folder (~/.local/share).
  static std::optional<std::string> data();
  // The user's documents folder (~/Documents).
  static std::optional<std::string> documents();
  // The machine-wide folder that plays the local-domain Library (/var/lib by default).
  static std::string localLibrary();
  // A temporary folder ($TMPDIR or /tmp).
  static std::string temporary();
  // The user's runtime folder, for sockets and locks that end with the session: the first of
  // $XDG_RUNTIME_DIR, /run/user/<uid> and "corvane-runtime-<uid>" in the temporary folder that
  // is private to the user (see Ownership). When that last one is taken (another user made it,
  // or it is a link or open to others) the first of "corvane-runtime-<uid>.1" to ".16" beside
  // it that is private to the user or can be made, in that order, so starts at the same
  // instant choose the same one; when all of those are taken, a private one beside them is
  // used or made ("corvane-runtime-<uid>.XXXXXX"). Never a shared folder: none when no private
  // one can be had. `refused`, when given, gets why each folder passed over was refused.
  static std::optional<std::string> runtime(std::string* refused = nullptr);

  // Creates the folder and any missing parents; true when it exists afterwards.
  static bool makeFolders(const std::string& path);
  static std::string join(const std::string& a, const std::string& b);
};

}  // namespace platform
