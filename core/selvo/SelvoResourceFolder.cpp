#include <mutex>
#include <string>

#include "SelvoFactory.h"

namespace selvo {

namespace {
std::mutex folderMutex;
std::string& folder() {
  static std::string f;
  return f;
}
}  // namespace

void SetSelvoResourceFolder(const char* path) {
  std::lock_guard lock(folderMutex);
  folder() = path ? path : "";
}

const char* GetSelvoResourceFolder() {
  std::lock_guard lock(folderMutex);
  return folder().c_str();
}

}  // namespace selvo
