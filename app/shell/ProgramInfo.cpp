#include "shell/ProgramInfo.h"

#include "Bundle.h"

namespace corvane {

void configureMainBundle() {
  platform::Bundle::main().configure(
      {
          {"CFBundleName", "Corvane Studio"},
          {"CFBundleExecutable", "corvane-studio"},
          {"CFBundleShortVersionString", CORVANE_VERSION},
          {"CFBundleVersion", CORVANE_VERSION},
          {"CFBundleIdentifier", "com.kestova.corvane-studio"},
      },
      "corvane-studio");
}

}  // namespace corvane
