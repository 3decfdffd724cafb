#include "Ownership.h"

#include <cstdio>

namespace platform {

namespace {

std::string octal(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", unsigned(mode & 07777));
  return text;
}

std::string ownerProblem(const struct stat& st, uid_t user) {
  if (st.st_uid == user) return {};
  return "owned by user " + std::to_string(st.st_uid) + ", not by user " + std::to_string(user);
}

}  // namespace

std::string Ownership::folderProblem(const struct stat& st, uid_t user) {
  if (S_ISLNK(st.st_mode)) return "a symbolic link, not a folder";
  if (!S_ISDIR(st.st_mode)) return "not a folder";
  if (std::string owner = ownerProblem(st, user); !owner.empty()) return owner;
  if ((st.st_mode & 077) != 0) return "open to other users (mode " + octal(st.st_mode) + ")";
  return {};
}

std::string Ownership::fileProblem(const struct stat& st, uid_t user) {
  if (S_ISLNK(st.st_mode)) return "a symbolic link, not a file";
  if (!S_ISREG(st.st_mode)) return "not a regular file";
  return ownerProblem(st, user);
}

}  // namespace platform
