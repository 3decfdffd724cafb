#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>

namespace platform {

// Whether a place in the file system is the user's own, decided from its lstat (or fstat)
// result alone, so the rule can be tried with any owner and mode. A lock or a socket in a
// folder another user can write to, or in a file another user made, is theirs to hold.
class Ownership {
 public:
  // Empty when `st` is a folder private to `user`: a real folder (not a symbolic link), owned
  // by the user, open to nobody else; otherwise why it is not, for a log line.
  static std::string folderProblem(const struct stat& st, uid_t user);
  // Empty when `st` is a regular file owned by `user`; otherwise why it is not.
  static std::string fileProblem(const struct stat& st, uid_t user);
};

}  // namespace platform
