#include "ResourceBundleClass.h"

#include "Bundle.h"

namespace updater {

void ResourceBundleClass::configureBundle() {
  platform::Bundle::main().configure(
      {
          {"CFBundleName", "Corvane Studio Updater"},
          {"CFBundleExecutable", "corvane-studio-updater"},
          {"CFBundleShortVersionString", CORVANE_VERSION},
      },
      "corvane-studio-updater");
}

}  // namespace updater
