#include "cloud/UserManager.h"

namespace corvane {

UserManager& UserManager::shared() {
  static UserManager manager;
  return manager;
}

}  // namespace corvane
